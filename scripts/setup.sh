#!/usr/bin/env bash
# Installs, from Debian packages only, whatever the builds and tests need and is not yet
# present. Does nothing when everything is already there.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have_cmd cmake || need+=(cmake)
have_cmd g++ || need+=(g++)
have_cmd make || need+=(make)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg googletest || need+=(googletest)
have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have_cmd i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have_pkg wine64 || need+=(wine64)
have_cmd Xvfb || need+=(xvfb)
have_pkg fonts-wqy-microhei || need+=(fonts-wqy-microhei)  # Chinese in Wine's dialogs
have_cmd clang++ || need+=(clang)
have_pkg libclang-rt-14-dev || need+=(libclang-rt-14-dev)
wine_missing=0
have_pkg wine32:i386 || wine_missing=1
have_cmd wine || wine_missing=1

if [ ${#need[@]} -eq 0 ] && [ $wine_missing -eq 0 ]; then
    exit 0
fi

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
export DEBIAN_FRONTEND=noninteractive
if [ $wine_missing -eq 1 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || sudo_ dpkg --add-architecture i386
    need+=(wine wine32:i386)
fi
echo "setup: installing ${need[*]}" >&2
sudo_ apt-get update -qq
sudo_ apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
