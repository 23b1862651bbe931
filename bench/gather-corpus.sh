#!/usr/bin/env bash
# Gathers the benchmark tree from files the build machine's Debian packages
# installed: about 47 MB of C++ and C headers, two ELF binaries, compressed
# data (gzip files) and plain text.  With --windows, a tree of Windows
# programs and documents instead: about 30 MB of Wine's x64 DLLs and
# programs (PE files) and 14 MB of HTML and text documents.  Nothing of it
# is committed; missing sources just make the tree smaller.
#   bench/gather-corpus.sh [--windows] DIR
set -eu
windows=
[ "$1" = --windows ] && { windows=1; shift; }
dest=$1
rm -rf "$dest"
mkdir -p "$dest"

# Copies files of the folders $4... (those find's tests $3 select, in
# sorted order) into $1 until $2 bytes are there, keeping their paths below /.
take() {
  local - into=$1 budget=$2 tests=$3
  set -f  # the tests hold patterns for find, not for the shell
  shift 3
  # shellcheck disable=SC2086
  find "$@" -type f $tests -printf '%s %p\n' 2>/dev/null | LC_ALL=C sort -k2 |
    awk -v budget="$budget" '{ size = $1; sub(/^[0-9]+ \//, "") }
      # Windows names ignore letter case: of two such files only the first.
      size + total <= budget && !(tolower($0) in seen) { seen[tolower($0)]; total += size; print }' |
    tar -C / -cf - --files-from=- | tar -C "$into" -xf -
}

if [ -n "$windows" ]; then
  mkdir -p "$dest/programs" "$dest/docs"
  take "$dest/programs" $((30 * 1024 * 1024)) "( -name *.dll -o -name *.exe )" /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  take "$dest/docs" $((14 * 1024 * 1024)) "( -name *.html -o -name *.txt -o -name copyright )" /usr/share/doc
  exit 0
fi
mkdir -p "$dest/headers" "$dest/bin" "$dest/compressed" "$dest/text"
take "$dest/headers" $((22 * 1024 * 1024)) "" /usr/include/c++ /usr/include/linux /usr/include/x86_64-linux-gnu
# cmake stands for the product's program (the benchmarks' `exename`) at the top.
[ -e /usr/bin/cmake ] && cp -L /usr/bin/cmake "$dest/"
[ -e /usr/lib/x86_64-linux-gnu/libstdc++.so.6 ] && cp -L /usr/lib/x86_64-linux-gnu/libstdc++.so.6 "$dest/bin/"
take "$dest/compressed" $((8 * 1024 * 1024)) "-name *.gz" /usr/share/doc
take "$dest/text" $((5 * 1024 * 1024)) "! -name *.gz -size +2k" /usr/share/common-licenses /usr/share/doc
