# The scaling chart of bench/run: gnuplot -e "data='FILE'; output='PNG'" scaling.gp
# Each line of the data: million pairs, count s, count MB, merge s, merge MB,
# spill files.
set terminal pngcairo size 1200,520 font "DejaVu Sans,11"
set output output
set multiplot layout 1,2 title "Counting and merging N pairs: time grows linearly, memory stays bounded"
set xlabel "pairs counted, or lines merged (millions)"
set xrange [0:*]
set grid lc rgb "#dddddd"
set key top left
set offsets 0, graph 0.05, graph 0.12, 0
set ylabel "wall seconds"
set yrange [0:*]
# Straight lines through the origin, fitted to the points: how linear.
set fit quiet logfile '/dev/null'
count(x) = c * x
merge(x) = m * x
c = 1
m = 1
fit count(x) data using 1:2 via c
fit merge(x) data using 1:4 via m
plot data using 1:2 with points pt 7 ps 1.3 lc rgb "#3b75af" title "count (exports)", \
     count(x) with lines dt 2 lc rgb "#3b75af" title "proportional to N", \
     '' using 1:4 with points pt 5 ps 1.3 lc rgb "#2ca02c" title "merge of 20 files, N lines in all", \
     merge(x) with lines dt 2 lc rgb "#2ca02c" notitle
set ylabel "peak resident memory (MB)"
set key right center
set title "{/*0.85 a counting run spills every 4,194,304 distinct pairs}"
set yrange [0:*]
plot data using 1:3 with linespoints pt 7 lw 2 lc rgb "#3b75af" title "count (exports)", \
     '' using 1:5 with linespoints pt 5 lw 2 lc rgb "#2ca02c" title "merge of 20 files", \
     '' using 1:3:(sprintf("%d spill file%s", $6, $6 > 1 ? "s" : "")) with labels offset 0,1.2 font ",9" notitle
unset multiplot
