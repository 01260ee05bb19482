#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent: does nothing when all are present.
set -euo pipefail

packages=(
    cmake ninja-build ccache make
    g++ clang libclang-rt-14-dev
    mingw-w64 libz-mingw-w64-dev
    googletest libgtest-dev libgmock-dev
    zlib1g-dev libssl-dev libcpp-httplib-dev pkg-config nlohmann-json3-dev
    wine wine64 xvfb xdotool x11-utils imagemagick
    librsvg2-bin fonts-dejavu-core
    nsis fp-utils
    openssl osslsigncode
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "error: these Debian packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
