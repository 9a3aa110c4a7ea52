#!/usr/bin/env bash
# Runs the native tests and the Python suite against an AddressSanitizer +
# UBSan build (after scripts/setup.sh). Slower; for changes to memory-heavy code.
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="$PWD/.venv/bin:$PATH"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEL_SANITIZE=address,undefined \
  -DQUARNEL_NATIVE_TESTS=ON >/dev/null
cmake --build build/asan >/dev/null
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in build/asan/test_*; do [ -f "$t" ] && [ -x "$t" ] || continue; "$t" >/dev/null 2>"$t.log" || { cat "$t.log"; exit 1; }; echo "$(basename "$t"): ok"; done
LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)" ASAN_OPTIONS=detect_leaks=0 \
  PYTHONPATH="$PWD/build/asan" .venv/bin/python -m pytest -q -p no:cacheprovider tests/python "$@"
