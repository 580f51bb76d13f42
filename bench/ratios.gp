# The ratio chart of bench/run: gnuplot -e "data='FILE'; output='PNG'" ratios.gp
# Each line of the data: "label" ratio target (NaN: none), the ratio being
# the other contender's time divided by the library's.
set terminal pngcairo size 1600,760 font "DejaVu Sans,11"
set output output
set title "Vorn\\_ULO against what people would use instead\n{/*0.85 same data, same run, medians; above 1 the library is faster}"
set ylabel "other contender's time ÷ library's time (log scale)"
set logscale y
set yrange [0.01:300]
set ytics ("0.01" 0.01, "0.02" 0.02, "0.05" 0.05, "0.1" 0.1, "0.2" 0.2, "0.5" 0.5, "1" 1, "2" 2, "5" 5, "10" 10, "20" 20, "50" 50, "100" 100, "200" 200)
set grid ytics lc rgb "#dddddd"
set xtics rotate by -35 left nomirror
set xrange [-0.6:*]
set bmargin 9
set rmargin 12
set key top right
set style fill solid 0.85 border -1
set boxwidth 0.62
set arrow from graph 0, first 1 to graph 1, first 1 nohead lc rgb "#555555" dt 2
plot data using 0:2:xtic(1) with boxes lc rgb "#3b75af" title "library's advantage", \
     '' using ($0-0.38):3:(0.76):(0) with vectors nohead lw 3 lc rgb "#d62728" title "target (at least)", \
     '' using 0:2:(sprintf("%.2f", $2)) with labels offset 0,0.9 font ",10" notitle
