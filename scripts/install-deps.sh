#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing the program needs.
# Usage: scripts/install-deps.sh [native|windows|all]   (default: all)
#   native:  the Linux build, its tests and the simulated workstation (pcscd, virtual readers),
#            strace for the fault sweep, and acl and attr to read back what a replaced file keeps
#   windows: also the Windows cross-compilers and Wine, wixl and msitools for the Windows
#            Installer package, and osslsigncode (with openssl) for signing
#   all:     also clang for the fuzz targets, and the 32-bit x86 Linux build (g++ -m32) with
#            qemu-i386 to run it where the kernel cannot
#
# The archive does not always answer well: a list may be mid-sync, a source may be unreachable.
# A failed `apt-get update` is tried again, then passed over with the lists at hand; a failed
# installation is tried again, then at the release's own versions (`-t <codename>`), which keeps
# 32-bit packages matched with their 64-bit counterparts when one suite's lists are missing or
# stale. The exit status is non-zero only when a package is still not installed, and it is named.
# TELMAR_INSTALL_PAUSE sets the seconds between tries (15).
set -uo pipefail

scope=${1:-all}
pause=${TELMAR_INSTALL_PAUSE:-15}
packages=(cmake g++ make libgtest-dev libgmock-dev pcscd libpcsclite1 vsmartcard-vpcd strace acl attr)
if [ "$scope" = windows ] || [ "$scope" = all ]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 wine32:i386
    wixl msitools osslsigncode openssl)
fi
if [ "$scope" = all ]; then
  packages+=(clang libclang-rt-14-dev g++-multilib qemu-user)
fi

missing=()
find_missing() {
  local package
  missing=()
  for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
}
find_missing
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
answer=$(mktemp /tmp/telmar-apt.XXXXXX)
trap 'rm -f "$answer"' EXIT

tries=3
for try in $(seq $tries); do
  "${sudo_cmd[@]}" apt-get update -qq >"$answer" 2>&1 && break
  echo "apt-get update failed (try $try of $tries):"
  grep -E '^(E|W): ' "$answer" | grep -v 'Some index files failed' | sort -u | sed 's/^/  /'
  if [ "$try" -eq $tries ]; then echo "going on with the package lists at hand"; else sleep "$pause"; fi
done

install() {
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$@" "${missing[@]}" \
    >"$answer" 2>&1 && return 0
  echo "apt-get install${*:+ $*} failed:"
  grep -E '^(E|W): ' "$answer" | sort -u | sed 's/^/  /'
  return 1
}
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
install || { sleep "$pause"; install; } ||
  { [ -n "$codename" ] && echo "trying again at $codename's own versions" && install -t "$codename"; }

find_missing
[ ${#missing[@]} -eq 0 ] && exit 0
echo "not installed: ${missing[*]}"
exit 1
