#!/usr/bin/env bash
# Installs what building and testing Tallowin needs, from Debian's packages.
# Idempotent and non-interactive; quick when everything is present.
#
# Two steps.  The 64-bit packages must install, or the script fails.  The
# 32-bit part of Wine (the i386 architecture and wine32) is optional and
# comes second, on its own: a kernel without 32-bit support cannot use it,
# and its i386 packages do not always resolve (an i386 index caught in a
# mirror sync holds back wine32's dependencies).  Without it the Wine tests
# run the 64-bit Windows build and skip what needs the 32-bit stub; the
# 32-bit code paths still run as 32-bit Linux programs (tests/linux32).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine64 xvfb imagemagick fonts-wqy-microhei
  googletest libgtest-dev libbenchmark-dev zlib1g-dev libdeflate-dev liblzma-dev
  osslsigncode openssl
  libtomlplusplus-dev libcli11-dev
  clang libclang-rt-14-dev
  crossbuild-essential-i386 qemu-user
  dpkg-dev file lintian
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Waits for another apt run on the machine instead of failing at once.
apt=($sudo apt-get -o DPkg::Lock::Timeout=300)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# One index that fails to download (a mirror in the middle of a sync) makes
# apt-get update fail; that is no failed set-up: after TRIES tries the
# install decides with the lists there are.
updated=0
update() {  # tries
  local try
  for ((try = 1; try <= $1; try++)); do
    if "${apt[@]}" update -qq; then updated=1; return 0; fi
    if [ "$try" -lt "$1" ]; then
      echo "install-deps: apt-get update failed (try $try of $1); trying again in 5 s"
      sleep 5
    fi
  done
  echo "install-deps: apt-get update failed; going on with the package lists as they are"
  updated=1
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all 64-bit packages present"
else
  echo "install-deps: installing ${missing[*]}"
  update 3
  if ! "${apt[@]}" install -y -qq "${missing[@]}" >/dev/null; then
    echo "install-deps: could not install ${missing[*]} (apt-get's errors above)" >&2
    exit 1
  fi
  echo "install-deps: 64-bit packages installed"
fi

# The optional 32-bit step.  Whatever happens here, the script succeeds.
skipped="the 32-bit Wine tests will be skipped (the Wine tests run the 64-bit build)"
way=$(tests/linux32/run32.sh --way)
if [ "$way" != direct ]; then
  # Wine's 32-bit loader needs the kernel's 32-bit support; qemu cannot stand in.
  why="this machine runs no 32-bit programs"
  case "$way" in none:*) why="${way#none: }" ;; esac
  echo "install-deps: no 32-bit Wine: $why; $skipped"
  exit 0
fi
if installed wine32; then
  echo "install-deps: 32-bit Wine present"
  exit 0
fi

echo "install-deps: adding the 32-bit part of Wine (i386 architecture, wine32)"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  if ! $sudo dpkg --add-architecture i386; then
    echo "install-deps: no 32-bit Wine: dpkg could not add the i386 architecture; $skipped"
    exit 0
  fi
  updated=0
fi
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
# A short attempt: with the lists as they are, and once more after one
# update unless this run has made one (or the i386 lists are new).
for attempt in 1 2; do
  if "${apt[@]}" install -y -qq wine32 >/dev/null 2>"$errors"; then
    echo "install-deps: 32-bit Wine installed"
    exit 0
  fi
  [ "$attempt" = 1 ] && [ "$updated" = 0 ] || break
  update 1
done
reason=$(grep -m1 '^E: ' "$errors" || true)
echo "install-deps: no 32-bit Wine: apt-get could not install wine32 (${reason:-exit status not 0});" \
     "$skipped. The next run tries again."
