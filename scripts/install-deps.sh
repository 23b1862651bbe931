#!/usr/bin/env bash
# Installs what building and testing Tallowin needs, from Debian's packages.
# Idempotent and non-interactive; does nothing when everything is present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine32 wine64 xvfb imagemagick
  googletest libgtest-dev libbenchmark-dev zlib1g-dev libdeflate-dev
  osslsigncode openssl
  libtomlplusplus-dev libcli11-dev
  clang libclang-rt-14-dev
  dpkg-dev file lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
echo "install-deps: done"
