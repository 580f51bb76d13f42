# Top-N, last stage: the first N lines of each group of the sorted scores.
#   awk -F'\t' -v N=10 -f topn_pick.awk
$1 != group { group = $1; kept = 0 }
kept < N { kept++; printf "%s\t%s\t%.2f\t%.2f\n", $3, $4, $2 * 0.0001, $5 * 0.0001 }
