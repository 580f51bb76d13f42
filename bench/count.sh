#!/usr/bin/env bash
# Counting benchmark: 10 million Zipf-distributed GB2312 word pairs counted
#   library    through the exported functions (Begin, one call per pair, End)
#   reference  by a plain two-level std::map counter writing the same file
#   sort       by LC_ALL=C sort -S 2G --parallel=2 | uniq -c over the same text
# The modes take turns, ROUNDS times each (default 3); medians are printed
# with pairs per second, peak memory and the ratios against the library.
#   bench/count.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}

scripts/install-deps build bench
build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DULO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target count_bench datagen >/dev/null

data=bench/data
pairs=$data/pairs_10M.txt
mkdir -p "$data"
if [ ! -s "$pairs" ]; then
  echo "generating $pairs" >&2
  "$build"/bench/datagen pairs 10000000 "$pairs.part" && mv "$pairs.part" "$pairs"
fi
lines=$(wc -l <"$pairs")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
results=$work/results
: >"$results"

for round in $(seq "$rounds"); do
  for mode in library reference; do
    rm -rf "${work:?}/$mode" && mkdir "$work/$mode"
    "$build"/bench/count_bench "$mode" "$pairs" "$work/$mode" | tee -a "$results"
  done
  /usr/bin/time -f "%e %M" -o "$work/time" \
    sh -c "LC_ALL=C sort -S 2G --parallel=2 '$pairs' | uniq -c >'$work/sort.txt'"
  read -r seconds kilobytes <"$work/time"
  awk -v n="$lines" -v s="$seconds" -v k="$kilobytes" 'BEGIN {
    printf "sort pairs %d seconds %.3f pairs_per_s %.0f peak_mb %.1f\n", n, s, n / s, k / 1024 }' |
    tee -a "$results"
  if [ "$round" = 1 ]; then
    cmp "$work/library/temp1.txt" "$work/reference/temp1.txt" ||
      { echo "library and reference files differ" >&2; exit 1; }
    [ "$(wc -l <"$work/sort.txt")" = "$(cat "$work"/library/temp*.txt | wc -l)" ] ||
      { echo "sort | uniq -c found another number of distinct pairs" >&2; exit 1; }
  fi
done

echo
echo "medians of $rounds rounds ($(nproc 2>/dev/null || echo '?') cores, load $(cut -d' ' -f1-3 /proc/loadavg)):"
awk '
  { seconds[$1] = seconds[$1] " " $5; memory[$1] = memory[$1] " " $9 }
  function median(list,   values, n, i, j, t) {
    n = split(list, values, " ")
    for (i = 2; i <= n; i++)
      for (j = i; j > 1 && values[j - 1] + 0 > values[j] + 0; j--) {
        t = values[j]; values[j] = values[j - 1]; values[j - 1] = t
      }
    return n % 2 ? values[(n + 1) / 2] : (values[n / 2] + values[n / 2 + 1]) / 2
  }
  END {
    printf "%-10s %10s %14s %10s\n", "mode", "seconds", "pairs/s", "peak MB"
    for (m in seconds) { s[m] = median(seconds[m]); p[m] = median(memory[m]) }
    split("library reference sort", order, " ")
    for (i = 1; i <= 3; i++) {
      m = order[i]
      printf "%-10s %10.3f %14.0f %10.1f\n", m, s[m], '"$lines"' / s[m], p[m]
    }
    printf "library speed: %.2fx the reference, %.2fx sort | uniq -c\n",
      s["reference"] / s["library"], s["sort"] / s["library"]
    printf "library peak memory: %.2fx the reference\n", p["library"] / p["reference"]
  }' "$results"
