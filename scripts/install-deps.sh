#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing the program needs.
# Usage: scripts/install-deps.sh [native|windows|all]   (default: all)
#   native:  the Linux build, its tests and the simulated workstation (pcscd, virtual readers),
#            and strace for the fault sweep
#   windows: also the Windows cross-compilers and Wine, wixl and msitools for the Windows
#            Installer package, and osslsigncode (with openssl) for signing
#   all:     also clang for the fuzz targets, and the 32-bit x86 Linux build (g++ -m32) with
#            qemu-i386 to run it where the kernel cannot
set -euo pipefail

scope=${1:-all}
packages=(cmake g++ make libgtest-dev libgmock-dev pcscd libpcsclite1 vsmartcard-vpcd strace)
if [ "$scope" = windows ] || [ "$scope" = all ]; then
  packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 wine wine64 wine32:i386
    wixl msitools osslsigncode openssl)
fi
if [ "$scope" = all ]; then
  packages+=(clang libclang-rt-14-dev g++-multilib qemu-user)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
  "${missing[@]}" >/dev/null
