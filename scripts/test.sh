#!/usr/bin/env bash
# Installs what is missing, builds Mirelo with its tests and runs every test: the fuzz smoke runs,
# the whole suite under AddressSanitizer/UndefinedBehaviorSanitizer, then the whole suite in an
# ordinary optimised build.
set -euo pipefail
src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"
"$src/scripts/setup.sh" --test
export QT_QPA_PLATFORM=offscreen

echo "== Fuzz smoke runs (libFuzzer, clang)"
CC=clang CXX=clang++ cmake -S "$src" -B "$src/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMIRELO_FUZZ=ON -DMIRELO_BUILD_TESTS=OFF >/dev/null
cmake --build "$src/build/fuzz" -j"$jobs" --target fuzz_table_reader fuzz_numeric_reading fuzz_sci_format fuzz_batch_reader \
  fuzz_rdsr_reader fuzz_profile_reader fuzz_dap_unit fuzz_levels_reader
ctest --test-dir "$src/build/fuzz" --output-on-failure

echo "== Sanitizer build (ASan + UBSan)"
cmake -S "$src" -B "$src/build/asan" -DCMAKE_BUILD_TYPE=Debug -DMIRELO_SANITIZE=ON >/dev/null
cmake --build "$src/build/asan" -j"$jobs"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
LSAN_OPTIONS="suppressions=$src/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir "$src/build/asan" -j"$jobs" --output-on-failure

echo "== Optimised build (Release, as the program and the package are built)"
cmake -S "$src" -B "$src/build/test" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$src/build/test" -j"$jobs"
ctest --test-dir "$src/build/test" -j"$jobs" --output-on-failure
