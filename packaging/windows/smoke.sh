#!/usr/bin/env bash
# Smoke test of the Windows installer under Wine:
#   1. installs it silently into a fresh Wine prefix (under Xvfb),
#   2. starts mirelo.exe and saves a screenshot of its main window,
#   3. runs mirelo-calc.exe --kv 80 --area-dose 25 --format json and compares the output with the
#      Linux build's output of the same command (same strings),
#   4. runs mirelo-calc.exe rdsr, register import and register summary over the tests' dose reports
#      and compares them with the Linux build's; runs register listen under Wine and sends it reports
#      with Linux storescu,
#   5. uninstalls silently and checks that the files, the Start menu entry and the registry entry are gone.
#
#   packaging/windows/smoke.sh [installer.exe]      (default: the newest out/Mirelo-*-win64-setup.exe)
#
# Environment:
#   MIRELO_LINUX_BUILD   Linux build folder for the reference mirelo-calc (default <source>/build-linux;
#                        configured and built here, targets mirelo-calc and write_rdsr_corpus, when needed)
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
  # With the tests' folder configured: the dose-report checks below write the tests' reports with it.
  if [[ ! -f $linux_build/CMakeCache.txt ]] || ! grep -q '^MIRELO_BUILD_TESTS:BOOL=ON' "$linux_build/CMakeCache.txt"; then
    cmake -S "$source_dir" -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DMIRELO_BUILD_TESTS=ON >/dev/null
  fi
  CCACHE_BASEDIR=$source_dir nice -n 19 cmake --build "$linux_build" --parallel 2 --target mirelo-calc write_rdsr_corpus >/dev/null
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

# --- Dose reports and the register ----------------------------------------------------------------
# The reports the tests generate (tools/rdsr_gen through tests/rdsr/corpus.cpp: Latin-1 and ISO 2022
# IR 87 Japanese texts, damaged and foreign files, duplicates, units), read by both builds from the
# same folder with the same relative paths; only the paths' separators differ.
windows_calc() { wine64 "C:\\Program Files\\Mirelo\\mirelo-calc.exe" "$@"; }
# Windows paths as Linux writes them, and no run time.
normalise() { tr -d '\r' | sed -E 's#(corpus|vendor|archive|Müller 山田)\\#\1/#g; s#; reading [0-9.]+ s, computing [0-9.]+ s$##'; }
compare() {  # what linux-file windows-file [lines to pass over at the start]
  local what=$1 linux=$2 windows=$3 skip=${4:-0}
  normalise <"$linux" | tail -n +$((skip + 1)) >"$linux.cmp"
  normalise <"$windows" | tail -n +$((skip + 1)) >"$windows.cmp"
  if [[ ! -s $windows.cmp ]]; then
    fail "$what: the Windows build wrote nothing"
  elif cmp -s "$linux.cmp" "$windows.cmp"; then
    pass "$what: $(wc -l <"$linux.cmp") lines equal"
  else
    fail "$what differs (Linux < > Windows):"
    diff "$linux.cmp" "$windows.cmp" | head -n 20 || true
    # For CSV: which fields differ, and by how much where both are numbers.
    [[ $linux == *.csv ]] && python3 - "$linux.cmp" "$windows.cmp" <<'PY' || true
import csv, sys
a = list(csv.reader(open(sys.argv[1], encoding="utf-8")))
b = list(csv.reader(open(sys.argv[2], encoding="utf-8")))
if a and b and len(a[0]) > 1:
    header = a[0]
    for n, (x, y) in enumerate(zip(a, b)):
        for i, (u, v) in enumerate(zip(x, y)):
            if u == v:
                continue
            name = header[i] if i < len(header) else str(i)
            try:
                rel = abs(float(u) - float(v)) / max(abs(float(u)), 1e-300)
                print(f"    line {n + 1}, {name}: {u} | {v} (relative difference {rel:.1e})")
            except ValueError:
                print(f"    line {n + 1}, {name}: {u} | {v}")
PY
  fi
}
if [[ -f $program_files/mirelo-calc.exe ]]; then
  step "Dose reports: mirelo-calc.exe rdsr against Linux"
  reports=$work/reports
  "$(find "$linux_build" -name write_rdsr_corpus -type f -perm -u+x | head -n1)" "$reports"
  # A folder that links to itself is a POSIX test of the folder walk; Windows has no such link here.
  rm -f "$reports/corpus/h_loop"
  rdsr_args=(rdsr corpus vendor --profiles profiles.toml)
  set +e
  (cd "$reports" && "$linux_calc" "${rdsr_args[@]}" --events linux-events.csv --studies linux-studies.csv 2>linux-rdsr.err)
  linux_status=$?
  (cd "$reports" && windows_calc "${rdsr_args[@]}" --events windows-events.csv --studies windows-studies.csv 2>windows-rdsr.err)
  windows_status=$?
  set -e
  if [[ $linux_status == "$windows_status" ]]; then pass "rdsr exit status $windows_status on both"
  else fail "rdsr exit status: Linux $linux_status, Windows $windows_status"; fi
  # The first line is the provenance (command line, run time).
  compare "rdsr events CSV" "$reports/linux-events.csv" "$reports/windows-events.csv" 1
  compare "rdsr studies CSV" "$reports/linux-studies.csv" "$reports/windows-studies.csv" 1
  compare "rdsr messages on stderr" "$reports/linux-rdsr.err" "$reports/windows-rdsr.err"
  for text in 'Sch\xC3\xA4del a.p.' '\xE5\xB1\xB1\xE7\x94\xB0'; do
    if grep -q "$(printf "$text")" "$reports/windows-events.csv"; then pass "Windows events CSV has \"$(printf "$text")\" (converted with ICU)"
    else fail "Windows events CSV lacks \"$(printf "$text")\""; fi
  done

  step "Dose reports and the register: file and folder names outside ASCII"
  # Names outside a Western code page (山田) and outside a Japanese one (ü): the Windows program takes
  # them from its UTF-16 command line and opens, writes and reports them by their Unicode names.
  named="Müller 山田"
  mkdir -p "$reports/$named" "$reports/登録簿"
  cp "$reports/vendor/j_jis.dcm" "$reports/$named/山田.dcm"
  cp "$reports/vendor/l_latin1.dcm" "$reports/$named/Müller.dcm"
  (cd "$reports" && "$linux_calc" rdsr "$named" --events "linux 山田.csv" >/dev/null 2>"linux 山田.err") || true
  (cd "$reports" && windows_calc rdsr "$named" --events "windows 山田.csv" >/dev/null 2>"windows 山田.err") || true
  compare "rdsr of \"$named\" (山田.dcm, Müller.dcm), events CSV" "$reports/linux 山田.csv" "$reports/windows 山田.csv" 1
  compare "rdsr of \"$named\", messages" "$reports/linux 山田.err" "$reports/windows 山田.err"
  "$linux_calc" register import "$reports/$named" --db "$work/linux-named.sqlite" >/dev/null 2>&1 || true
  "$linux_calc" register summary --by protocol --db "$work/linux-named.sqlite" >"$work/linux-named.txt"
  set +e
  (cd "$reports" && windows_calc register import "$named" --db '登録簿\register.sqlite') >"$work/windows-named-import.txt" 2>&1
  echo "import status $?" >>"$work/windows-named-import.txt"
  (cd "$reports" && windows_calc register summary --by protocol --db '登録簿\register.sqlite') >"$work/windows-named.txt" 2>&1
  summary_status=$?
  set -e
  compare "register import and summary, the database in \"登録簿\"" "$work/linux-named.txt" "$work/windows-named.txt"
  # Once in five runs here Wine's summary printed nothing at all: say what import and summary did.
  if [[ ! -s $work/windows-named.txt ]]; then
    echo "--- import (Windows):"; tr -d '\r' <"$work/windows-named-import.txt" | sed 's/^/    /'
    echo "--- summary status $summary_status; $(ls -l "$reports/登録簿" 2>&1 | tr '\n' ' ')"
  fi

  step "Register: import and summary against Linux"
  # Windows: the default database, which must be in %LOCALAPPDATA%\Mirelo.
  default_db=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/Mirelo/mirelo-register.sqlite' 2>/dev/null | head -n1)
  [[ -z $default_db ]] || fail "a register database existed before the import: $default_db"
  set +e
  (cd "$reports" && "$linux_calc" register import corpus vendor --profiles profiles.toml --db "$work/linux.sqlite" >linux-import.txt 2>linux-import.err)
  linux_status=$?
  (cd "$reports" && windows_calc register import corpus vendor --profiles profiles.toml >windows-import.txt 2>windows-import.err)
  windows_status=$?
  set -e
  if [[ $linux_status == "$windows_status" ]]; then pass "register import exit status $windows_status on both"
  else fail "register import exit status: Linux $linux_status, Windows $windows_status"; fi
  compare "register import output" "$reports/linux-import.txt" "$reports/windows-import.txt"
  compare "register import messages" "$reports/linux-import.err" "$reports/windows-import.err"
  default_db=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/Mirelo/mirelo-register.sqlite' 2>/dev/null | head -n1)
  if [[ -n $default_db ]]; then pass "the Windows register is ${default_db#"$WINEPREFIX/"} (%LOCALAPPDATA%\\Mirelo)"
  else fail "no mirelo-register.sqlite in %LOCALAPPDATA%\\Mirelo"; fi
  for by in device protocol month; do
    "$linux_calc" register summary --db "$work/linux.sqlite" --by $by >"$work/linux-summary-$by.txt"
    (cd "$reports" && windows_calc register summary --by $by) >"$work/windows-summary-$by.txt" 2>&1 || true
    compare "register summary --by $by" "$work/linux-summary-$by.txt" "$work/windows-summary-$by.txt"
  done
  echo "--- Windows: register summary --by protocol"
  normalise <"$work/windows-summary-protocol.txt"

  step "Register: mirelo-calc.exe register listen under Wine, Linux storescu sending"
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  sent=(vendor/l_latin1.dcm vendor/j_jis.dcm corpus/a_angio.dcm)
  (cd "$reports" && exec wine64 "C:\\Program Files\\Mirelo\\mirelo-calc.exe" register listen --port "$port" \
    --bind 127.0.0.1 --db listen.sqlite --profiles profiles.toml) >"$work/listen.out" 2>"$work/listen.err" &
  listener_pid=$!
  for _ in $(seq 60); do grep -q 'listening on' "$work/listen.err" 2>/dev/null && break; sleep 1; done
  if ! grep -q 'listening on' "$work/listen.err"; then
    fail "the listener did not start within 60 s: $(tr -d '\r' <"$work/listen.err")"
  else
    pass "listening: $(grep 'listening on' "$work/listen.err" | tr -d '\r')"
    if (cd "$reports" && storescu -aet LINUX -aec MIRELO 127.0.0.1 "$port" "${sent[@]}") >"$work/storescu.log" 2>&1; then
      pass "Linux storescu sent ${#sent[@]} reports to port $port, each answered with success"
    else
      fail "storescu failed:"
      cat "$work/storescu.log"
    fi
  fi
  # Ctrl+C: Wine turns SIGINT into the console's Ctrl+C event.
  kill -INT "$listener_pid" 2>/dev/null || true
  for _ in $(seq 20); do kill -0 "$listener_pid" 2>/dev/null || break; sleep 0.5; done
  if kill -0 "$listener_pid" 2>/dev/null; then
    fail "the listener did not stop on Ctrl+C (SIGINT) within 10 s; ended by force"
    wine64 taskkill /f /im mirelo-calc.exe >/dev/null 2>&1 || true
  fi
  set +e
  wait "$listener_pid"
  listener_status=$?
  set -e
  echo "--- The listener's log (exit status $listener_status):"
  tr -d '\r' <"$work/listen.err" | sed 's/^/    /'
  if grep -q 'stopped' "$work/listen.err" && [[ $listener_status == 0 ]]; then pass "the listener stopped on Ctrl+C, status 0"
  else fail "the listener did not stop as asked (status $listener_status)"; fi
  archived=$(find "$reports/archive" -name '*.dcm' ! -name '.incoming-*' 2>/dev/null | wc -l)
  if [[ $archived == "${#sent[@]}" ]]; then pass "$archived reports in the archive folder"
  else fail "$archived reports in the archive folder, ${#sent[@]} sent"; fi
  # What the Windows listener stored, read by the Linux build, against the same files imported on Linux.
  (cd "$reports" && "$linux_calc" register import "${sent[@]}" --profiles profiles.toml --db "$work/linux-sent.sqlite" >/dev/null 2>&1) || true
  for by in device protocol; do
    "$linux_calc" register summary --db "$work/linux-sent.sqlite" --by $by >"$work/linux-sent-$by.txt"
    "$linux_calc" register summary --db "$reports/listen.sqlite" --by $by >"$work/listened-$by.txt" 2>&1 || true
    compare "summary --by $by of what the Windows listener stored (read on Linux)" "$work/linux-sent-$by.txt" "$work/listened-$by.txt"
  done
fi

step "Silent uninstall"
wine64 "C:\\Program Files\\Mirelo\\uninstall.exe" /S
wineserver -w
if [[ -e $program_files ]]; then fail "left behind: $(find "$program_files" | head -5 | tr '\n' ' ')"; else pass "program folder removed"; fi
if [[ -e $start_menu ]]; then fail "Start menu folder left behind"; else pass "Start menu entry removed"; fi
if wine64 reg query "$uninstall_key" >/dev/null 2>&1; then fail "registry entry left behind"; else pass "registry entry removed"; fi

printf '\n%s after %d s: %d failure(s)\n' "$([[ $failures == 0 ]] && echo PASSED || echo FAILED)" $((SECONDS - started)) "$failures"
((failures == 0))
