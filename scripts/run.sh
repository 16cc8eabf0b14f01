#!/usr/bin/env bash
# Installs what is missing, builds Mirelo and starts it in the current folder.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$src/scripts/setup.sh"
cmake -S "$src" -B "$src/build/release" -DCMAKE_BUILD_TYPE=Release -DMIRELO_BUILD_TESTS=OFF >/dev/null
cmake --build "$src/build/release" -j"$(nproc)" --target mirelo
exec "$src/build/release/app/mirelo" "$@"
