#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: when everything is
# already present it does nothing (no apt-get update either).
set -euo pipefail

PACKAGES=(
    build-essential cmake git pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-format
    libpng-dev libopenexr-dev lib2geom-dev libcli11-dev
    libcairo2-dev
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
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
