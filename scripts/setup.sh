#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need,
# when they are missing: the MinGW-w64 cross compilers (x86 for the tool as
# it ships, x64 for the Wine bench), CMake and Ninja, Wine,
# wixl (MSI packages), GoogleTest's sources, and clang with its sanitizer and
# libFuzzer runtimes and llvm-symbolizer for the host build in fuzz/.
set -euo pipefail

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 g++-mingw-w64-i686-posix
          binutils-mingw-w64-i686 wine wine64 wixl msitools
          googletest procps util-linux clang libclang-rt-14-dev llvm)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
