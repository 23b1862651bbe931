#!/usr/bin/env bash
# The whole benchmark table in one run:
#   - tallowin build (default level and --level 9, one thread and all
#     cores), test and extract of a gathered 47 MB tree, side by side with
#     cp -r and tar -xzf of the same tree;
#   - both stubs' sizes (32-bit and 64-bit) against the bound and the goal;
#   - the LZ codec and payload CRC-32 benchmark (build/native/bin/lz_bench);
#   - the unattended install against a peer installer system under Wine
#     (bench/install.sh; left out with --no-install or without Wine).
# Needs the native build and the windows build (the stub the builder stamps):
#   cmake --preset native && cmake --build --preset native
#   bash bench/run.sh [--runs N] [--no-install]
# Times are the median wall time of N runs (default 5), page cache warm,
# the commands taking turns.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
runs=5
install=1
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --no-install) install=0; shift ;;
    *) echo "usage: bench/run.sh [--runs N] [--no-install]" >&2; exit 2 ;;
  esac
done
bin=$root/build/native/bin
tallowin=$bin/tallowin
stub=$root/build/windows/bin/setup.exe
[ -x "$tallowin" ] || { echo "bench: build the native preset first ($tallowin missing)" >&2; exit 2; }

work=$root/build/bench
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
bash "$root/bench/gather-corpus.sh" "$work/product/files"
printf 'productname = "Benchmark"\nproductversion = "1"\nexename = "cmake"\nstartmenufolder = "Benchmark"\ndefaultsubfolder = "Benchmark"\nfiles = "files"\n' >"$work/product/product.toml"
bytes=$(find "$work/product/files" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
files=$(find "$work/product/files" -type f | wc -l)
[ -f "$stub" ] || { echo "bench: build the windows preset first ($stub missing: the builder stamps a real stub)" >&2; exit 2; }
export SOURCE_DATE_EPOCH=1700000000
tar -C "$work/product" -czf "$work/tree.tar.gz" files
"$tallowin" build "$work/product/product.toml" -o "$work/setup.exe" --stub "$stub" >/dev/null

# Each row: name, an untimed preparation, the command.  The rows take turns
# (one run of each per round), so that a change in the machine's load
# during the benchmark falls on all of them alike; a row's figure is the
# median of its runs.
names=() prepares=() commands=() rounds=()
row() { names+=("$1"); prepares+=("$2"); commands+=("$3"); rounds+=("$4"); }
clean='rm -rf "$work/out"'
row "cp -r"                  "$clean" 'cp -r "$work/product/files" "$work/out"' "$runs"
row "tar -xzf"               "$clean; mkdir \"\$work/out\"" 'tar -C "$work/out" -xzf "$work/tree.tar.gz"' "$runs"
row "tallowin extract"       "$clean" '"$tallowin" extract "$work/setup.exe" -d "$work/out"' "$runs"
row "tallowin extract -j 1"  "$clean" '"$tallowin" extract "$work/setup.exe" -d "$work/out" -j 1' "$runs"
row "tallowin test"          ":" '"$tallowin" test "$work/setup.exe"' "$runs"
row "tallowin test -j 1"     ":" '"$tallowin" test "$work/setup.exe" -j 1' "$runs"
row "tallowin build"         ":" '"$tallowin" build "$work/product/product.toml" -o "$work/b.exe" --stub "$stub"' "$runs"
row "tallowin build -j 1"    ":" '"$tallowin" build "$work/product/product.toml" -o "$work/b.exe" --stub "$stub" -j 1' "$runs"
# Level 9 takes long: one run each.
row "tallowin build --level 9"      ":" '"$tallowin" build "$work/product/product.toml" -o "$work/b9.exe" --stub "$stub" --level 9' 1
row "tallowin build --level 9 -j 1" ":" '"$tallowin" build "$work/product/product.toml" -o "$work/b9.exe" --stub "$stub" --level 9 -j 1' 1

declare -A samples us
for ((round = 0; round < runs; round++)); do
  for i in "${!names[@]}"; do
    [ "$round" -lt "${rounds[$i]}" ] || continue
    eval "${prepares[$i]}"
    start=$(date +%s%N)
    eval "${commands[$i]}" >/dev/null 2>&1 || { echo "bench: failed: ${commands[$i]}" >&2; exit 1; }
    end=$(date +%s%N)
    samples[$i]+="$(((end - start) / 1000)) "
  done
done
for i in "${!names[@]}"; do
  us[${names[$i]}]=$(printf '%s\n' ${samples[$i]} | sort -n | sed -n "$(((${rounds[$i]} + 1) / 2))p")
done

# Ratio: the entries' stored bytes (chunk payloads) over the tree's bytes.
stored() { "$tallowin" list "$1" | awk -F'\t' '{ s += $2 } END { print s }'; }
stored6=$(stored "$work/setup.exe")
stored9=$(stored "$work/b9.exe")
echo
echo "Tree: $files files, $bytes bytes; $(nproc) cores; median of $runs runs (level 9: one run)"
awk -v a="$stored6" -v b="$stored9" -v n="$bytes" \
  'BEGIN { printf "Stored: default level %d bytes (ratio %.4f), level 9 %d bytes (ratio %.4f)\n", a, a / n, b, b / n }'
echo
printf '| %-30s | %9s | %8s | %10s | %10s |\n' command seconds MB/s "x cp -r" "x tar -xzf"
printf '|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..32})" "-----------" "----------" "------------" "------------"
for name in "${names[@]}"; do
  t=${us[$name]}
  awk -v n="$name" -v t="$t" -v b="$bytes" -v cp="${us["cp -r"]}" -v tar="${us["tar -xzf"]}" \
    'BEGIN { printf "| %-30s | %9.3f | %8.1f | %10.2f | %10.2f |\n", n, t / 1e6, b / t, t / cp, t / tar }'
done
echo
# The bound is 500 KB (taken as 500,000 bytes, the stricter reading) for
# either stub; the 32-bit one aims lower, leaving room for what later
# features add.  A stub not built is said so.
for entry in "windows 450000" "windows64 -"; do
  set -- $entry
  file=$root/build/$1/bin/setup.exe
  if [ -f "$file" ]; then
    size=$(stat -c %s "$file")
    verdict=$([ "$size" -lt 500000 ] && echo "under" || echo "OVER")
    goal=$([ "$2" = - ] || echo "; goal: at most $2")
    echo "Stub: build/$1/bin/setup.exe $size bytes ($verdict the bound of 500000$goal)"
  else
    echo "Stub: build/$1/bin/setup.exe not built (cmake --preset $1 && cmake --build --preset $1)"
  fi
done
echo
if [ -x "$bin/lz_bench" ]; then
  echo "LZ codec (build/native/bin/lz_bench):"
  "$bin/lz_bench"
else
  echo "LZ codec: build/native/bin/lz_bench not built (needs Google Benchmark and zlib)"
fi
echo
if [ "$install" = 1 ] && command -v wine >/dev/null; then
  echo "Unattended install under Wine (bench/install.sh):"
  bash "$root/bench/install.sh"
else
  echo "Unattended install: left out (--no-install, or Wine missing); bash bench/install.sh runs it"
fi
