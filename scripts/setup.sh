#!/usr/bin/env bash
# Installs, from Debian packages only, what the named builds need and is not yet present;
# does nothing when everything is there.
#   setup.sh [native|win32|win64|wine|fuzz|dist|all]...   (default: all)
# native: the Linux program and its tests (also the sanitizer build; libxml2 judges what the
# cleaner writes, xmllint every output of the end-to-end tests); win32/win64: the
# cross-compilers of the Windows builds; wine: running them (Wine, a virtual display, Chinese
# fonts for the dialogs); fuzz: clang and libFuzzer; dist: the players' zip.
set -euo pipefail

need=()
wine32=0
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
want_cmd() { have_cmd "$1" || need+=("$2"); }
want_pkg() { have_pkg "$1" || need+=("$1"); }

base() {  # every build: CMake and make, GoogleTest's sources
    want_cmd cmake cmake
    want_cmd make make
    want_pkg googletest
}

for group in "${@:-all}"; do
    case "$group" in
        native) base; want_cmd g++ g++; want_pkg libgtest-dev; want_cmd xmllint libxml2-utils; want_pkg libxml2-dev ;;
        win32) base; want_cmd i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
               want_cmd i686-w64-mingw32-windres binutils-mingw-w64-i686 ;;
        win64) base; want_cmd x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix ;;
        wine) want_pkg wine64; want_cmd xmllint libxml2-utils; want_cmd Xvfb xvfb; want_pkg fonts-wqy-microhei
              { have_pkg wine32:i386 && have_cmd wine; } || wine32=1 ;;
        fuzz) base; want_cmd clang++ clang; want_pkg libclang-rt-14-dev; want_pkg libxml2-dev ;;
        dist) want_cmd python3 python3 ;;
        all) exec "$0" native win32 win64 wine fuzz dist ;;
        *) echo "setup: unknown group $group" >&2; exit 2 ;;
    esac
done

if [ ${#need[@]} -eq 0 ] && [ $wine32 -eq 0 ]; then
    exit 0
fi

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
export DEBIAN_FRONTEND=noninteractive
if [ $wine32 -eq 1 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || sudo_ dpkg --add-architecture i386
    need+=(wine wine32:i386)
fi
mapfile -t need < <(printf '%s\n' "${need[@]}" | sort -u)
echo "setup: installing ${need[*]}" >&2
sudo_ apt-get update -qq
sudo_ apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
