#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: when everything is
# already present it does nothing (no apt-get update either).
set -euo pipefail

PACKAGES=(
    build-essential cmake git pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-format
    libpng-dev libopenexr-dev lib2geom-dev libcli11-dev
    libboost-dev  # lib2geom's headers include Boost's; Debian's lib2geom-dev does not depend on it
    libcairo2-dev
    # scripts/fuzz.sh: clang with libFuzzer and the sanitizer runtimes; llvm-symbolizer for
    # readable reports.
    clang libclang-rt-14-dev llvm
    # The 32-bit Windows plug-in: the cross toolchain, and wine to run its harness.
    g++-mingw-w64-i686 binutils-mingw-w64-i686
    wine wine32:i386
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#PACKAGES[@]} packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
# wine32 is an i386 package: the architecture must be known before the package lists are read.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
