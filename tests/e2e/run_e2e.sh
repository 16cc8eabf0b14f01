#!/usr/bin/env bash
# Starts an X server and an accessibility bus of its own, then runs the end-to-end test.
# Usage: run_e2e.sh <mirelo executable> <tables folder> <output folder>
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
exe="$1"; tables="$2"; out="$3"
mkdir -p "$out"

if ! command -v Xvfb >/dev/null || ! /usr/bin/python3 -c "import pyatspi" 2>/dev/null; then
  echo "SKIPPED: Xvfb or python3-pyatspi is not installed, so no X server can be started"
  exit 77
fi

scratch="$(mktemp -d)"
chmod 700 "$scratch"
export XDG_RUNTIME_DIR="$scratch/run" XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

# A display of its own, at a random number far above the ones people and scripts use: other
# sessions on the machine share /tmp/.X11-unix, and one that clears :0 for itself takes our socket
# away ("could not connect to display :0"). Ours once the lock file names our server; a number that
# is taken makes Xvfb exit at once, and another is tried.
display=""
xpid=""
cleanup() {
  [[ -n "$xpid" ]] && kill "$xpid" 2>/dev/null
  [[ -n "${spid:-}" ]] && kill "$spid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
for _ in 1 2 3 4 5; do
  n=$((RANDOM % 9000 + 1000))
  Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
  xpid=$!
  for _ in $(seq 1 200); do
    if [[ -S "/tmp/.X11-unix/X$n" && "$(tr -dc 0-9 <"/tmp/.X$n-lock" 2>/dev/null)" == "$xpid" ]]; then
      display=":$n"
      break
    fi
    kill -0 "$xpid" 2>/dev/null || break
    sleep 0.05
  done
  [[ -n "$display" ]] && break
  kill "$xpid" 2>/dev/null
  wait "$xpid" 2>/dev/null
  xpid=""
done
if [[ -z "$display" ]]; then
  echo "SKIPPED: no X server could be started: $(tail -n 1 "$scratch/xvfb.log" 2>/dev/null)"
  exit 77
fi
export DISPLAY="$display"

# A second, small screen: a laptop's 1366 × 768, on which the main window must open whole at 125 %.
small=""
spid=""
for _ in 1 2 3 4 5; do
  n=$((RANDOM % 9000 + 1000))
  Xvfb ":$n" -screen 0 1366x768x24 -nolisten tcp >"$scratch/xvfb-small.log" 2>&1 &
  spid=$!
  for _ in $(seq 1 200); do
    if [[ -S "/tmp/.X11-unix/X$n" && "$(tr -dc 0-9 <"/tmp/.X$n-lock" 2>/dev/null)" == "$spid" ]]; then
      small=":$n"
      break
    fi
    kill -0 "$spid" 2>/dev/null || break
    sleep 0.05
  done
  [[ -n "$small" ]] && break
  kill "$spid" 2>/dev/null
  wait "$spid" 2>/dev/null
  spid=""
done
export MIRELO_E2E_SMALL_DISPLAY="$small"

dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  for _ in $(seq 1 100); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.05
  done
  cd "$0" && /usr/bin/python3 e2e_test.py "$1" "$2" "$3"
' "$here" "$exe" "$tables" "$out"
status=$?
# Now and then, under load, the program cannot connect to the X server of the run; say what the
# server was doing then, for whoever reads the failure.
if [[ $status -ne 0 ]]; then
  if kill -0 "$xpid" 2>/dev/null; then echo "Xvfb $display still running"; else echo "Xvfb $display had ended"; fi
  echo "Xvfb's log:"; tail -n 20 "$scratch/xvfb.log" 2>/dev/null
fi
exit $status
