# Plots of the shipped tables: gnuplot docs/plot_tables.gp (from the repository root).
set datafile separator ","
set terminal pngcairo size 1000,700 font "DejaVu Sans,11"
# Eleven distinct colours for the eleven thicknesses.
array colours[11] = ["#1b9e77","#d95f02","#7570b3","#e7298a","#66a61e","#e6ab02","#a6761d","#666666","#1f78b4","#e31a1c","#000000"]

set output "docs/attenuation.png"
set title "Att\\_coeff2021.dat: linear attenuation coefficients (with coherent scattering)"
set logscale xy
set xrange [0.4:160]
set xlabel "photon energy (keV)"
set ylabel "mu (1/cm)"
set grid
set key top right
plot "data/Att_coeff2021.dat" using 1:2 with lines lw 2 title "tungsten (19.3 g/cm^3)", \
     "" using 1:4 with lines lw 2 title "copper (8.96 g/cm^3)", \
     "" using 1:3 with lines lw 2 title "aluminium (2.699 g/cm^3)"

set output "docs/tissue_air.png"
set title "Att\\_coeff2021.dat: mass coefficients of soft tissue (ICRP) and dry air"
set ylabel "cm^2/g"
plot "data/Att_coeff2021.dat" using 1:6 with lines lw 2 title "tissue mu/rho (value 6)", \
     "" using 1:5 with lines lw 2 title "tissue mu_{en}/rho (value 5)", \
     "" using 1:7 with lines lw 2 dt 2 title "air mu_{en}/rho (value 7)"

set output "docs/absorbed_fractions.png"
set title "effEA.dat: fraction of incident photon energy absorbed in a soft-tissue slab"
unset logscale y
set logscale x
set xrange [1:150]
set yrange [0:1.02]
set ylabel "absorbed energy / incident energy"
set key bottom left title "slab thickness"
plot for [j=2:12] "data/effEA.dat" using 1:j with lines lw 1.5 lc rgb colours[j-1] title sprintf("%d cm", 10 + 2*(j-2))
