#!/usr/bin/env bash
# Statistics benchmark: the support records, the top-10 ranking and the pair
# filter of the library, each timed side by side (alternating, same run) with
# an awk equivalent and with a read-and-scan floor, on a merged pair-count
# file of 5 million lines.
#
#   bench/stats.sh [RUNS]        (default 3 runs of every contender)
# Environment: BUILD (build directory, default build), LINES (5000000),
#   THRESHOLD (filter threshold, default 5), AWK (default awk).
# Prints per contender the median wall-clock seconds, MB/s of input and the
# median CPU seconds (user + system, children included), then the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-3}
build=${BUILD:-build}
lines=${LINES:-5000000}
threshold=${THRESHOLD:-5}
awk=${AWK:-awk}
export LC_ALL=C

driver=$build/bench/stats_driver
datagen=$build/bench/datagen
for tool in "$driver" "$datagen"; do
  [ -x "$tool" ] || { echo "stats.sh: $tool missing; build first (cmake --build $build)" >&2; exit 1; }
done

mkdir -p bench/data
input=bench/data/merged_$lines.txt
[ -s "$input" ] || "$datagen" merged "$lines" "$input"
work=$(mktemp -d "${TMPDIR:-/tmp}/ulo_stats.XXXXXX")
trap 'rm -rf "$work"' EXIT
megabytes=$(awk -v b="$(stat -L -c %s "$input")" 'BEGIN { printf "%.1f", b / 1e6 }')

anchors=bench/anchors
awk_support() {
  "$awk" -F'\t' -f "$anchors/support.awk" "$input" "$input" >"$work/support_awk.txt"
}

# Top-10: the scores of both directions keyed by the base word's first
# appearance, a stable sort by that and by confidence, the first 10 of each.
awk_topn() {
  "$awk" -F'\t' -f "$anchors/topn_scores.awk" "$input" "$input" |
    sort -s -t$'\t' -k1,1n -k2,2nr |
    "$awk" -F'\t' -v N=10 -f "$anchors/topn_pick.awk" >"$work/topn_awk.txt"
}

declare -A commands=(
  [scan_floor]="$driver scan $input"
  [support_lib]="$driver support $input $work/support_lib.txt"
  [support_awk]="awk_support"
  [topn_lib]="$driver topn $input $work/topn_lib.txt 10"
  [topn_awk_sort]="awk_topn"
  [filter_lib]="$driver filter $input $work/filter_lib.txt $threshold"
  [filter_awk]="$awk '\$3 >= $threshold' $input >$work/filter_awk.txt"
)
order=(scan_floor support_lib support_awk topn_lib topn_awk_sort filter_lib filter_awk scan_floor)

TIMEFORMAT='%R %U %S'
declare -A walls cpus
for ((run = 1; run <= runs; run++)); do
  echo "run $run/$runs" >&2
  for name in "${order[@]}"; do
    timing=$( { time eval "${commands[$name]}" >/dev/null; } 2>&1 | tail -1)
    read -r real user sys <<<"$timing"
    walls[$name]+="$real "
    cpus[$name]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }') "
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "input: $input ($megabytes MB, $lines lines), runs: $runs, filter threshold: $threshold"
printf '%-15s %10s %10s %10s   %s\n' contender "wall s" "MB/s" "cpu s" "all wall times"
declare -A med
for name in scan_floor support_lib support_awk topn_lib topn_awk_sort filter_lib filter_awk; do
  med[$name]=$(echo "${walls[$name]}" | median)
  cpu=$(echo "${cpus[$name]}" | median)
  rate=$(awk -v m="$megabytes" -v s="${med[$name]}" 'BEGIN { printf "%.1f", (s > 0) ? m / s : 0 }')
  printf '%-15s %10s %10s %10s   %s\n' "$name" "${med[$name]}" "$rate" "$cpu" "${walls[$name]}"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }
echo "support: awk two-pass / library = $(ratio "${med[support_awk]}" "${med[support_lib]}")x (target >= 4)," \
  "library / floor = $(ratio "${med[support_lib]}" "${med[scan_floor]}")x"
echo "top-10:  awk|sort|awk / library = $(ratio "${med[topn_awk_sort]}" "${med[topn_lib]}")x (target >= 6)," \
  "library / floor = $(ratio "${med[topn_lib]}" "${med[scan_floor]}")x"
echo "filter:  library / floor = $(ratio "${med[filter_lib]}" "${med[scan_floor]}")x (target <= 2)," \
  "awk / library = $(ratio "${med[filter_awk]}" "${med[filter_lib]}")x"

# The awk contenders compute the same files; a difference means one is wrong.
cmp -s "$work/support_lib.txt" "$work/support_awk.txt" && echo "support records: identical to awk" ||
  echo "support records: DIFFER from awk"
cmp -s "$work/topn_lib.txt" "$work/topn_awk.txt" && echo "top-10 file: identical to awk|sort|awk" ||
  echo "top-10 file: DIFFERS from awk|sort|awk"
