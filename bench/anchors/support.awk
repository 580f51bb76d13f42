# Support records in two passes over the same pair-count file: word
# frequencies and the total first, then two records per pair.
#   awk -F'\t' -f support.awk FILE FILE
BEGIN {
  # The record labels, GB2312.
  L1 = "\273\371\327\274\271\346\324\362"
  L2 = "\271\330\301\252\271\346\324\362"
  L3 = "\326\303\320\305\266\310"
  L4 = "\326\247\263\326\266\310"
}
FNR == NR { if (NF >= 3) { n = int($3); f[$1] += n; f[$2] += n; t += 2 * n } next }
NF >= 3 && ($1 in f) && ($2 in f) {
  n = $3 + 0; s = n / t * 100
  printf "<rec>\n<%s>=%s\n<%s>=%s\n<%s>=%f\n<%s>=%f\n", L1, $1, L2, $2, L3, n / f[$1] * 100, L4, s
  printf "<rec>\n<%s>=%s\n<%s>=%s\n<%s>=%f\n<%s>=%f\n", L1, $2, L2, $1, L3, n / f[$2] * 100, L4, s
}
