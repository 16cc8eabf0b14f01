#!/bin/bash
# Times `mirelo-calc rdsr` against a baseline build of it (an older commit built in a folder of its
# own), side by side in one run on reports generated here: a folder of REPORTS reports of EVENTS
# events each, and one report of BIG events. Each binary in turn, RUNS times; prints the median
# wall and CPU (user + system) seconds, the CPU per event, the largest resident set, and the ratios
# baseline/new (above 1: the new build needs less). Needs GNU time (package `time`) and the report
# generator (target make_rdsr_folder).
#
#   bench/rdsr_timing.sh OLD/mirelo-calc NEW/mirelo-calc GENERATOR TABLES_DIR [RUNS] [REPORTS] [EVENTS] [BIG]
set -euo pipefail

old=$1 new=$2 generator=$3 tables=$4 runs=${5:-3} reports=${6:-200} events=${7:-100} big=${8:-30000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$generator" "$work/folder" "$reports" "$events" > /dev/null
"$generator" "$work/one" 1 "$big" > /dev/null

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A wall cpu rss
printf '%-8s %-4s %10s %10s %14s %12s\n' case exe 'wall (s)' 'CPU (s)' 'CPU/event (us)' 'max RSS (MB)'
for case in folder one; do
  [[ $case == folder ]] && n=$((reports * events)) || n=$big
  for exe in old new; do : > "$work/$exe.times"; done
  for ((r = 0; r < runs; r++)); do
    for exe in old new; do  # in turn, so that both see the same load
      bin=${!exe}
      /usr/bin/time -f '%e %U %S %M' -o "$work/t" "$bin" rdsr "$work/$case" --tables "$tables" \
        --events "$work/events.csv" --studies "$work/studies.csv" > /dev/null 2>&1 || true
      awk '{ printf "%s %.3f %d\n", $1, $2 + $3, $4 }' "$work/t" >> "$work/$exe.times"
    done
  done
  for exe in old new; do
    wall[$case:$exe]=$(cut -d' ' -f1 < "$work/$exe.times" | median)
    cpu[$case:$exe]=$(cut -d' ' -f2 < "$work/$exe.times" | median)
    rss[$case:$exe]=$(cut -d' ' -f3 < "$work/$exe.times" | median)
    printf '%-8s %-4s %10s %10s %14.1f %12.0f\n' "$case" "$exe" "${wall[$case:$exe]}" "${cpu[$case:$exe]}" \
      "$(awk -v c="${cpu[$case:$exe]}" -v n="$n" 'BEGIN { print c / n * 1e6 }')" \
      "$(awk -v k="${rss[$case:$exe]}" 'BEGIN { print k / 1024 }')"
  done
done
echo
for case in folder one; do
  awk -v c="$case" -v a="${cpu[$case:old]}" -v b="${cpu[$case:new]}" -v ra="${rss[$case:old]}" -v rb="${rss[$case:new]}" \
    'BEGIN { printf "ratio %s baseline/new: CPU %.2f, max RSS %.2f\n", c, a / b, ra / rb }'
done
