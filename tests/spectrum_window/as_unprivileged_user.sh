#!/usr/bin/env bash
# Runs one test of a test program as an ordinary user, so that permission bits really apply when
# the suite itself runs as root. Fails unless that test ran and passed.
# Usage: as_unprivileged_user.sh <test program> <gtest filter>
set -uo pipefail
program="$1"; filter="$2"
if [[ $(id -u) -eq 0 ]]; then
  out="$(cd /tmp && setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp QT_QPA_PLATFORM=offscreen \
         "$program" --gtest_filter="$filter" 2>&1)"
else
  out="$(QT_QPA_PLATFORM=offscreen "$program" --gtest_filter="$filter" 2>&1)"
fi
status=$?
echo "$out"
[[ $status -eq 0 ]] || exit 1
grep -q '^\[  PASSED  \] 1 test' <<<"$out" || { echo "the test did not run and pass"; exit 1; }
! grep -q '^\[  SKIPPED \]' <<<"$out" || { echo "the test was skipped"; exit 1; }
