#!/usr/bin/env bash
# Merge benchmark: ULO_MulMergeFile against `sort -m` of the same sorted
# pair-count files, with and without an awk that sums equal keys, and
# against `cat` of the files (the I/O floor).
#
#   bench/merge.sh [RUNS]     RUNS runs of each command (default 3), taken in
#                             turns so that load from elsewhere hits all alike
#
# Data (made once, kept in bench/data/): 20 files of 1,000,000 lines (one
# pass), and 400 files of 50,000 lines (two passes). Medians are reported,
# with MB/s of input and each command's time relative to ULO_MulMergeFile.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-3}
build=build
data=bench/data
work=bench/work
export LC_ALL=C

cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target datagen merge_bench >/dev/null
mkdir -p "$data" "$work"

# make_data DIR FILES LINES: the files, generated once. The mark of a
# finished set lies beside the directory, never in it.
make_data() {
  local dir=$1 files=$2 lines=$3
  if [ ! -e "$dir.done" ]; then
    echo "generating $files files of $lines lines in $dir ..."
    rm -rf "$dir"
    mkdir -p "$dir"
    "$build/bench/datagen" sorted "$files" "$lines" "$dir"
    touch "$dir.done"
  fi
}

now() { date +%s.%N; }

# Each command reads the files of $dir ($inputs) and writes under $work.
run_ulo() { "$build/bench/merge_bench" "$dir" "$work/ulo.txt" >/dev/null; }
run_sort_awk() {
  sort -m --batch-size=20 -T "$work" $inputs | awk -f bench/anchors/sum_counts.awk >"$work/sort_awk.txt"
}
run_sort() { sort -m --batch-size=20 -T "$work" $inputs >"$work/sort.txt"; }
run_cat() { cat $inputs >"$work/cat.txt"; }

median() {
  sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench NAME DIR: runs every command $runs times in turns and reports.
bench() {
  local name=$1
  dir=$2
  inputs=$(find "$dir" -type f | sort)
  local bytes
  bytes=$(cat $inputs | wc -c)
  local methods="ulo sort_awk sort cat"
  for m in $methods; do : >"$work/times.$m"; done
  for ((r = 1; r <= runs; r++)); do
    for m in $methods; do
      sync
      local start end
      start=$(now)
      "run_$m"
      end=$(now)
      awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }' >>"$work/times.$m"
    done
  done
  cmp -s "$work/ulo.txt" "$work/sort_awk.txt" || {
    echo "$name: ULO_MulMergeFile and sort -m | awk differ" >&2
    exit 1
  }

  local ulo
  ulo=$(median <"$work/times.ulo")
  echo
  echo "== $name: $(echo $inputs | wc -w) files, $((bytes / 1000000)) MB," \
    "$(wc -l <"$work/ulo.txt") merged lines; medians of $runs runs"
  printf '%-28s %9s %9s %12s   %s\n' command seconds MB/s "vs ULO" "all runs"
  for m in $methods; do
    local t label
    t=$(median <"$work/times.$m")
    case $m in
      ulo) label="ULO_MulMergeFile" ;;
      sort_awk) label="sort -m | awk (sums)" ;;
      sort) label="sort -m (no sums)" ;;
      cat) label="cat (I/O floor)" ;;
    esac
    awk -v l="$label" -v t="$t" -v u="$ulo" -v b="$bytes" -v all="$(tr '\n' ' ' <"$work/times.$m")" \
      'BEGIN { printf "%-28s %9.3f %9.1f %11.2fx   %s\n", l, t, b / 1e6 / t, t / u, all }'
  done
}

make_data "$data/merge20" 20 1000000
make_data "$data/merge400" 400 50000
echo "awk: $(readlink -f "$(command -v awk)"), $(nproc 2>/dev/null || echo '?') cores," \
  "load $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || echo '?')"
bench "20 files, one pass" "$data/merge20"
bench "400 files, two passes" "$data/merge400"
rm -f "$work"/*.txt "$work"/times.*
echo
echo "targets: sort -m | awk >= 4x and sort -m >= 1.5x the time of ULO_MulMergeFile (20 files);"
echo "         sort -m | awk >= 4x (400 files)"
