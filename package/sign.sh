#!/usr/bin/env bash
# Signs Windows files in place with osslsigncode (Authenticode, SHA-256) when a code-signing
# certificate is named, then verifies each signature; does nothing when none is.
#   TELMAR_SIGNING_PKCS12     the certificate and its private key, a PKCS#12 (.p12/.pfx) file
#   TELMAR_SIGNING_PASSWORD   its password (never put on a command line)
#   TELMAR_SIGNING_TIMESTAMP  optional: the address of an RFC 3161 time-stamping service
#   TELMAR_SIGNING_CAFILE     optional: the certificates that verification trusts beyond the
#                             system's and those in the PKCS#12 file (an organisation's own CA)
# Usage: package/sign.sh FILE...
set -euo pipefail
[ -n "${TELMAR_SIGNING_PKCS12:-}" ] || exit 0
command -v osslsigncode >/dev/null ||
  { echo "osslsigncode is needed to sign: scripts/install-deps.sh windows" >&2; exit 1; }
password() { printf '%s' "${TELMAR_SIGNING_PASSWORD:-}"; }
trusted=$(mktemp)
trap 'rm -f "$trusted"' EXIT
openssl pkcs12 -in "$TELMAR_SIGNING_PKCS12" -nokeys -passin fd:3 3< <(password) >"$trusted"
cat /etc/ssl/certs/ca-certificates.crt ${TELMAR_SIGNING_CAFILE:+"$TELMAR_SIGNING_CAFILE"} \
  >>"$trusted" 2>/dev/null || true
timestamp=()
[ -z "${TELMAR_SIGNING_TIMESTAMP:-}" ] || timestamp=(-ts "$TELMAR_SIGNING_TIMESTAMP")
for file; do
  rm -f "$file.signed"
  osslsigncode sign -pkcs12 "$TELMAR_SIGNING_PKCS12" -readpass <(password) -h sha256 \
    -n "TELMAR first-installation configuration generator" "${timestamp[@]}" \
    -in "$file" -out "$file.signed" >/dev/null
  if ! osslsigncode verify -in "$file.signed" -CAfile "$trusted" >/dev/null; then
    rm -f "$file.signed"
    echo "the signature of $file does not verify" >&2
    exit 1
  fi
  mv -f "$file.signed" "$file"
done
