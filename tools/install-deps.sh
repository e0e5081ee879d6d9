#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12, and only what is
# missing, so that a machine that has everything needs no network.
#   tools/install-deps.sh native   compiler, CMake, GoogleTest, OpenSSL (a test oracle)
#   tools/install-deps.sh all      also MinGW-w64, Wine (64- and 32-bit),
#                                  Xvfb, ntfs-3g, qemu-user and -m32 for the
#                                  32-bit Linux build, the benchmark's peers
set -euo pipefail

native=(cmake make g++ googletest libssl-dev)
all=("${native[@]}" pkg-config libgcrypt20-dev
     g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
     wine wine64 wine32:i386 xvfb ntfs-3g qemu-user-static g++-multilib)

case "${1:-}" in
  native) wanted=("${native[@]}") ;;
  all) wanted=("${all[@]}") ;;
  *) echo "usage: $0 native|all" >&2; exit 64 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  SUDO=sudo
else
  SUDO=
fi
echo "Installing: ${missing[*]}"
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
