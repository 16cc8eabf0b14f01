#!/usr/bin/env bash
# Smoke test of the Windows installer under Wine:
#   1. installs it silently into a fresh Wine prefix (under Xvfb),
#   2. starts mirelo.exe and saves a screenshot of its main window,
#   3. runs mirelo-calc.exe --kv 80 --area-dose 25 --format json and compares the output with the
#      Linux build's output of the same command (same strings),
#   4. uninstalls silently and checks that the files, the Start menu entry and the registry entry are gone.
#
#   packaging/windows/smoke.sh [installer.exe]      (default: the newest out/Mirelo-*-win64-setup.exe)
#
# Environment:
#   MIRELO_LINUX_BUILD   Linux build folder for the reference mirelo-calc (default <source>/build-linux;
#                        configured and built here, target mirelo-calc only, when needed)
#   MIRELO_SCREENSHOT    where the screenshot goes (default <source>/docs/windows_main_window.png)
#   MIRELO_KEEP_PREFIX=1 leaves the Wine prefix for inspection
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
installer=${1:-$(ls -t "$source_dir"/out/Mirelo-*-win64-setup.exe 2>/dev/null | head -n1)}
[[ -n $installer && -f $installer ]] || { echo "no installer given or found in $source_dir/out (run build.sh)" >&2; exit 2; }
installer=$(realpath "$installer")
linux_build=${MIRELO_LINUX_BUILD:-$source_dir/build-linux}
screenshot=${MIRELO_SCREENSHOT:-$source_dir/docs/windows_main_window.png}
calc_args=(--kv 80 --area-dose 25 --format json)

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
started=$SECONDS
step() { printf '\n== %s (%d s)\n' "$*" $((SECONDS - started)); }

# Debian's wine64 package keeps its loader and server in /usr/lib/wine (the `wine` wrapper package
# is not needed).
export PATH=/usr/lib/wine:$PATH
work=$(mktemp -d /tmp/mirelo-wine.XXXXXX)
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko install prompts in the fresh prefix: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
app_pid=""
cleanup() {
  [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  if [[ ${MIRELO_KEEP_PREFIX:-0} == 1 ]]; then echo "Wine prefix kept: $WINEPREFIX"; else rm -rf "$work"; fi
}
trap cleanup EXIT

step "Xvfb and a fresh Wine prefix"
# Xvfb picks a free display and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { cat "$work/xvfb.log"; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$work/display")
wine64 wineboot -i >/dev/null 2>&1
wineserver -w
program_files="$WINEPREFIX/drive_c/Program Files/Mirelo"
# Where the Start menu entry starts the program; the tables are then found beside the program.
documents="$WINEPREFIX/drive_c/users/Public/Documents"
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Mirelo"

step "Silent install: $(basename "$installer")"
# The installer copies nothing until it ends; wineserver -w waits for every process it started.
wine64 "$installer" /S
wineserver -w
if [[ -f $program_files/mirelo.exe ]]; then pass "installed into C:\\Program Files\\Mirelo ($(find "$program_files" -type f | wc -l) files)"
else fail "no mirelo.exe in C:\\Program Files\\Mirelo after the silent install"; fi
for f in Att_coeff2021.dat effEA.dat uninstall.exe; do
  [[ -f $program_files/$f ]] || fail "$f missing beside the program"
done
if [[ -f $start_menu/Mirelo.lnk ]]; then pass "Start menu entry"; else fail "no Start menu entry $start_menu/Mirelo.lnk"; fi
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Mirelo'
if wine64 reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q DisplayVersion; then
  pass "uninstall entry in the registry"
else
  fail "no registry entry $uninstall_key"
fi

step "Start mirelo.exe and take a screenshot"
(cd "$documents" && exec wine64 "C:\\Program Files\\Mirelo\\mirelo.exe") >"$work/mirelo.log" 2>&1 &
app_pid=$!
window=""
for _ in $(seq 60); do
  window=$(xwininfo -root -tree 2>/dev/null | grep -F 'Mirelo ( ' | awk '{print $1}' | head -n1 || true)
  [[ -n $window ]] && break
  sleep 1
done
if [[ -z $window ]]; then
  fail "the main window did not appear within 60 s"
  cat "$work/mirelo.log"
else
  sleep 3  # let the first paint finish
  mkdir -p "$(dirname "$screenshot")"
  import -window "$window" "$screenshot"
  pass "main window $window shown; screenshot $screenshot ($(identify -format '%wx%h' "$screenshot"))"
fi
wine64 taskkill /f /im mirelo.exe >/dev/null 2>&1 || true
wait "$app_pid" 2>/dev/null || true
app_pid=""

step "mirelo-calc.exe ${calc_args[*]}"
if [[ ! -f $program_files/mirelo-calc.exe ]]; then
  fail "the installer carries no mirelo-calc.exe (built from a source without the mirelo-calc target)"
else
  # The reference is brought up to date with the source every time (nothing to do when it is).
  echo "Linux reference: mirelo-calc in $linux_build"
  if [[ ! -f $linux_build/CMakeCache.txt ]]; then
    cmake -S "$source_dir" -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DMIRELO_BUILD_TESTS=OFF >/dev/null
  fi
  CCACHE_BASEDIR=$source_dir nice -n 19 cmake --build "$linux_build" --parallel 2 --target mirelo-calc >/dev/null
  linux_calc=$(find "$linux_build" -name mirelo-calc -type f -perm -u+x | head -n1)
  (cd "$work" && "$linux_calc" "${calc_args[@]}") >"$work/linux.json"
  (cd "$documents" && wine64 "C:\\Program Files\\Mirelo\\mirelo-calc.exe" "${calc_args[@]}") 2>"$work/calc.err" |
    tr -d '\r' >"$work/windows.json" || true
  echo "--- Windows: mirelo-calc.exe under Wine, started in C:\\users\\Public\\Documents"
  cat "$work/windows.json"
  # The tables' paths differ by nature (folder, separator); every other line must be the same text.
  grep -v '"path":' "$work/linux.json" >"$work/linux.cmp" || true
  grep -v '"path":' "$work/windows.json" >"$work/windows.cmp" || true
  numbers() { grep -Eo ':\s*[-+]?[0-9][0-9.eE+-]*' "$1" | sed 's/^:\s*//'; }
  if [[ ! -s $work/windows.json ]]; then
    fail "mirelo-calc.exe printed nothing: $(cat "$work/calc.err")"
  elif cmp -s "$work/linux.cmp" "$work/windows.cmp"; then
    echo "--- The numbers, Linux ($linux_calc) | Windows:"
    paste -d'|' <(numbers "$work/linux.json") <(numbers "$work/windows.json") | sed 's/^/    /'
    pass "the Windows output equals the Linux output: $(numbers "$work/linux.json" | wc -l) numbers and every other line the same text (table paths aside)"
  else
    fail "outputs differ (Linux < > Windows):"
    diff "$work/linux.cmp" "$work/windows.cmp" || true
  fi
fi

step "Silent uninstall"
wine64 "C:\\Program Files\\Mirelo\\uninstall.exe" /S
wineserver -w
if [[ -e $program_files ]]; then fail "left behind: $(find "$program_files" | head -5 | tr '\n' ' ')"; else pass "program folder removed"; fi
if [[ -e $start_menu ]]; then fail "Start menu folder left behind"; else pass "Start menu entry removed"; fi
if wine64 reg query "$uninstall_key" >/dev/null 2>&1; then fail "registry entry left behind"; else pass "registry entry removed"; fi

printf '\n%s after %d s: %d failure(s)\n' "$([[ $failures == 0 ]] && echo PASSED || echo FAILED)" $((SECONDS - started)) "$failures"
((failures == 0))
