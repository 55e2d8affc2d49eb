set terminal pngcairo size 1200,600 noenhanced
set output 'bench/results/ratios.png'
set title "Export time / its limit (CPU time, min of repetitions) - Intel(R) Xeon(R) Processor"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 border -1
set xtics rotate by -45
set yrange [0:*]
set ylabel 'call / limit'
set key top left
plot 'bench/results/ratios.dat' using 3:xtic(2) title 'similarity / decode(+resample)', \
     '' using 4 title 'stats / decode(+resample)', \
     '' using 5 title 'diff / decode(+resample)+encode', \
     '' using 6 title 'perceptual / decode', \
     1 with lines lw 2 lc rgb 'black' title 'limit'
