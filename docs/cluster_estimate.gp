# The cluster estimate of scaling.md: gnuplot docs/cluster_estimate.gp (writes
# docs/cluster_estimate.png). Hours for 1 TB of corpus on N machines of 8 cores,
# from rates measured on one process (CPU seconds, dict-gcide's first 100,000
# entries, window 5).
count_rate = 8.1e6     # bytes of corpus a second, one counting process
range_rate = 320e6     # bytes of spill files a second, one range merge with its pipes
pass_rate = 400e6      # bytes a second, each further pass of the library's merge
spill_ratio = 8.8      # bytes of spill files per byte of corpus (a small corpus: at most)
corpus = 1e12
passes = 5             # the library's passes of fan-in 20 over about 165,000 spill files
processes(n) = 8 * n
count(n) = corpus / (processes(n) * count_rate) / 3600
reduce(n) = corpus * spill_ratio / processes(n) * (1 / range_rate + (passes - 1) / pass_rate) / 3600
one_merge = corpus * spill_ratio / pass_rate / 3600

set terminal pngcairo size 900,520 font "DejaVu Sans,11"
set output "docs/cluster_estimate.png"
set title "1 TB of corpus on N machines of 8 cores: estimated hours"
set xlabel "machines (N)"
set ylabel "hours"
set logscale xy
set xrange [1:100]
set yrange [0.01:100]
set grid lc rgb "#dddddd"
set key top right
set samples 100
plot count(x) with lines lw 2 lc rgb "#3b75af" title "count (8N processes)", \
     reduce(x) with lines lw 2 lc rgb "#2ca02c" title "reduce in 8N key ranges", \
     count(x) + reduce(x) with lines lw 3 lc rgb "#000000" title "both", \
     one_merge with lines dt 2 lw 2 lc rgb "#d62728" title "one process merging everything"
