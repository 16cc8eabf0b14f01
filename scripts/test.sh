#!/usr/bin/env bash
# Installs what is missing, builds Mirelo with its tests and runs every test.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"
"$src/scripts/setup.sh" --test
export QT_QPA_PLATFORM=offscreen

cmake -S "$src" -B "$src/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELO_WERROR=ON >/dev/null
cmake --build "$src/build/test" -j"$jobs"
ctest --test-dir "$src/build/test" -j"$jobs" --output-on-failure
