# Top-N, first stage: two passes over a pair-count file; prints both
# directions of every pair as "group TAB confidence TAB word TAB other TAB
# support", the group being the base word's first appearance and the scores
# in millionths. `sort -s -t'\t' -k1,1n -k2,2nr | awk -f topn_pick.awk`
# finishes the ranking.
#   awk -F'\t' -f topn_scores.awk FILE FILE
FNR == NR {
  if (NF >= 3) {
    n = int($3)
    if (!($1 in id)) id[$1] = ++k
    f[$1] += n
    if (!($2 in id)) id[$2] = ++k
    f[$2] += n
    t += 2 * n
  }
  next
}
NF >= 3 {
  x = $3 + 0; s = int(x / t * 1000000)
  print id[$1] "\t" int(x / f[$1] * 1000000) "\t" $1 "\t" $2 "\t" s
  print id[$2] "\t" int(x / f[$2] * 1000000) "\t" $2 "\t" $1 "\t" s
}
