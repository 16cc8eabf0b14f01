#!/usr/bin/env bash
# Configures copies of the source tree, each with one forbidden include added, and expects every
# configure to fail naming the offending file; the unchanged copy must get past the check.
set -uo pipefail
src="$1"; cmake="$2"
work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT
failures=0

configure_copy() {  # name file line → output of a configure of a fresh copy with line added to file
  local copy="$work/$1"
  mkdir -p "$copy"
  (cd "$src" && tar cf - --exclude=./build --exclude=./build-* --exclude=./.git .) | (cd "$copy" && tar xf -)
  if [[ -n "$2" ]]; then printf '%s\n' "$3" >> "$copy/$2"; fi
  "$cmake" -S "$copy" -B "$copy/build" -DMIRELO_BUILD_TESTS=OFF 2>&1
}

# name | file | forbidden line
cases=(
  "ui_includes_app|ui/hvl_fit/hvl_fit_window.h|#include \"app/process.h\""
  "engine_includes_qt|spectrum/spectrum.cpp|#include <QString>"
  "engine_includes_ui|dose/volume_dose.cpp|#include \"ui/state/shared_state.h\""
  "platform_includes_window|ui/platform/dialogs.cpp|#include \"ui/main_window/main_window.h\""
  "command_line_includes_qt|calc/main.cpp|#  include <QtCore/QFile>"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name file line <<<"$c"
  out="$(configure_copy "$name" "$file" "$line")"; status=$?
  if [[ $status -eq 0 || "$out" != *"Layering:"*"$file"* ]]; then
    echo "FAIL $name: configure exited $status without naming $file"; echo "$out" | tail -5; failures=$((failures + 1))
  else
    echo "ok   $name: refused, naming $file"
  fi
done
# The unchanged tree passes the check (it may still stop later for want of nothing here).
out="$(configure_copy clean "" "")"
if [[ "$out" == *"Layering:"* ]]; then echo "FAIL clean: $out" | tail -5; failures=$((failures + 1)); else echo "ok   clean tree"; fi
exit $((failures > 0))
