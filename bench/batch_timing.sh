#!/bin/bash
# Times mirelo-calc --batch against another build of it (today's main, say), side by side in one
# run: the same generated inputs, each binary in turn, every case several times; prints the median
# wall and CPU (user + system) seconds of each, and the ratios new/old.
#
#   bench/batch_timing.sh OLD/mirelo-calc NEW/mirelo-calc TABLES_DIR [RUNS] [LINES]
#
# Cases: 'protocols' (a few beams repeated: formatting dominates) and 'distinct' (every line a new
# spectrum: computing dominates), each as text and JSON, and 'distinct' on one worker (--jobs 1,
# only where the binary knows the option).
set -euo pipefail

old=$1 new=$2 tables=$3 runs=${4:-5} lines=${5:-10000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk -v n="$lines" 'BEGIN { srand(12); print "kv,kv_high,spread,al,cu,area_dose"; split("60 70 75 80 90 100 110 120", kv, " ");
  for (i = 0; i < n; i++) printf "%s,,,1.0,%.1f,%.3f\n", kv[1 + int(rand() * 8)], (i % 3) * 0.1, 0.5 + rand() * 200 }' \
  > "$work/protocols.csv"
awk -v n="$lines" 'BEGIN { srand(7); print "kv,angle,al,cu,area_dose";
  for (i = 0; i < n; i++) printf "%.2f,%.2f,%.3f,%.3f,%.3f\n", 50 + rand() * 100, 8 + rand() * 12, 0.5 + rand() * 2.5, rand() * 0.3, 0.5 + rand() * 200 }' \
  > "$work/distinct.csv"

# One run: "wall cpu" in seconds.
run_once() {
  local TIMEFORMAT='%R %U %S'
  { time "$@" > /dev/null 2> /dev/null; } 2>&1 | awk '{ printf "%s %.3f\n", $1, $2 + $3 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

has_jobs() { "$1" --help 2>/dev/null | grep -q -- '--jobs'; }

printf '%-22s %-4s %10s %10s\n' case exe 'wall (s)' 'CPU (s)'
declare -A wall cpu
for case in protocols:text protocols:json distinct:text distinct:json distinct:text:1; do
  IFS=: read -r input format workers <<< "$case"
  : > "$work/old.times"
  : > "$work/new.times"
  for ((r = 0; r < runs; r++)); do
    # Each binary in turn, so that both see the same load on a shared machine.
    for exe in old new; do
      bin=${!exe}
      args=(--batch "$work/$input.csv" --tables "$tables" --format "$format")
      if [[ -n "$workers" ]] && has_jobs "$bin"; then
        args+=(--jobs "$workers")
      fi
      run_once "$bin" "${args[@]}" >> "$work/$exe.times"
    done
  done
  for exe in old new; do
    wall[$case:$exe]=$(cut -d' ' -f1 < "$work/$exe.times" | median)
    cpu[$case:$exe]=$(cut -d' ' -f2 < "$work/$exe.times" | median)
    printf '%-22s %-4s %10s %10s\n' "$case" "$exe" "${wall[$case:$exe]}" "${cpu[$case:$exe]}"
  done
done
echo
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf (b > 0 ? "%.2f" : "-"), a / b }'; }
for case in protocols:text protocols:json distinct:text distinct:json distinct:text:1; do
  echo "ratio $case new/old: wall $(ratio "${wall[$case:new]}" "${wall[$case:old]}"), CPU $(ratio "${cpu[$case:new]}" "${cpu[$case:old]}")"
done
for exe in old new; do
  for input in protocols distinct; do
    echo "ratio $exe $input JSON/text CPU: $(ratio "${cpu[$input:json:$exe]}" "${cpu[$input:text:$exe]}")"
  done
done
# What the workers give: all of them (the default) against one, same binary, same input.
for exe in old new; do
  echo "ratio $exe distinct text, every worker / --jobs 1: wall $(ratio "${wall[distinct:text:$exe]}" "${wall[distinct:text:1:$exe]}")"
done
