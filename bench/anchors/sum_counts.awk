# Sums the counts of equal keys (the first two fields) of sorted pair-count
# lines: what `sort -m` leaves for awk to do in a merge.
BEGIN { FS = OFS = "\t" }
{ key = $1 FS $2
  if (NR > 1 && key == last) { total += $3 } else { if (NR > 1) print last, total; last = key; total = $3 } }
END { if (NR > 0) print last, total }
