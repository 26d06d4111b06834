# Time per frame against frame size for the four mode and depth pairs, from fxaa_bench --data;
# beside it the time per megapixel, which stays level where cost grows with the pixels.
#   gnuplot -e "data='frame-times.tsv'; out='frame-times.png'; subtitle='...'" frame_times.gp
set terminal pngcairo size 1200,540 font "sans,11"
set output out
set multiplot layout 1,2 title "FXAA plug-in on ".subtitle font "sans,13"

set logscale xy
set grid xtics ytics mytics lc rgb "#dddddd"
set xtics ("256x256" 0.065536, "1280x720" 0.9216, "1920x1080" 2.0736, "3840x2160" 8.2944) \
    rotate by -30 font ",10"
set xrange [0.05:11]
set key top left box opaque
set xlabel "frame size (logarithmic in pixels)" offset 0,-0.5
set bmargin 5
set rmargin 7
set ylabel "milliseconds per frame (median, bars: quartiles)"
set title "Time per frame"
plot data index 0 using 1:2:3:4 with yerrorlines lw 2 pt 7 lc rgb "#1f77b4" title "colour, 8 bpc", \
     data index 1 using 1:2:3:4 with yerrorlines lw 2 pt 5 lc rgb "#17becf" title "colour, 32 bpc", \
     data index 2 using 1:2:3:4 with yerrorlines lw 2 pt 7 lc rgb "#d62728" title "alpha, 8 bpc", \
     data index 3 using 1:2:3:4 with yerrorlines lw 2 pt 5 lc rgb "#ff7f0e" title "alpha, 32 bpc", \
     data index 0 using 1:5 with lines dt 2 lw 1.5 lc rgb "#1f77b4" title "bare pipeline, colour, 8 bpc"

set ylabel "milliseconds per megapixel (median)"
set title "Time per megapixel"
set key top right box opaque
set logscale y
plot data index 0 using 1:($2/$1) with linespoints lw 2 pt 7 lc rgb "#1f77b4" title "colour, 8 bpc", \
     data index 1 using 1:($2/$1) with linespoints lw 2 pt 5 lc rgb "#17becf" title "colour, 32 bpc", \
     data index 2 using 1:($2/$1) with linespoints lw 2 pt 7 lc rgb "#d62728" title "alpha, 8 bpc", \
     data index 3 using 1:($2/$1) with linespoints lw 2 pt 5 lc rgb "#ff7f0e" title "alpha, 32 bpc"
unset multiplot
