# Request latency against address-book size: one colour per store, warm
# requests solid, the first (cold) request dashed; bars from min to max.
# usage: gnuplot -e "dat='request-latency.dat'; out='request-latency.png'" plot.gp
set terminal pngcairo size 1000,640 font "Liberation Sans,12"
set output out
set title "Request latency: connect → connection taken with the list filled"
set xlabel "Contacts in the address book"
set ylabel "Latency (ms, median; bars min–max)"
set logscale xy
set xrange [70:50000]
set xtics ("100" 100, "1,000" 1000, "5,000" 5000, "32,766" 32766)
set format y "%g"
set grid xtics ytics mytics
set key top left box opaque
set style line 1 lc rgb "#1f77b4" lw 2 pt 7 ps 1.2
set style line 2 lc rgb "#d62728" lw 2 pt 5 ps 1.2
set style line 3 lc rgb "#2ca02c" lw 2 pt 9 ps 1.4
set arrow from 70,150 to 50000,150 nohead lc rgb "#777777" dt 3 lw 1.5
set label "warm target 150 ms" at 120,200 tc rgb "#555555"
plot \
  dat index 0 using 1:5:6:7 with yerrorlines ls 1 title "vCard folder, warm", \
  dat index 0 using 1:2:3:4 with yerrorlines ls 1 dt 2 title "vCard folder, cold", \
  dat index 1 using 1:5:6:7 with yerrorlines ls 2 title "one .vcf file, warm", \
  dat index 1 using 1:2:3:4 with yerrorlines ls 2 dt 2 title "one .vcf file, cold", \
  dat index 2 using 1:5:6:7 with yerrorlines ls 3 title "address-book service (EDS), warm", \
  dat index 2 using 1:2:3:4 with yerrorlines ls 3 dt 2 title "address-book service (EDS), cold"
