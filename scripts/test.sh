#!/usr/bin/env bash
# Sets up (see setup.sh), then runs the native unit tests and the Python test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "test: native unit tests"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUARNEL_PYTHON_MODULE=OFF -DQUARNEL_NATIVE_TESTS=ON \
  -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" >/dev/null
cmake --build build/native >/dev/null
for t in build/native/test_*; do
  "$t" >"build/native/$(basename "$t").log" 2>&1 || { cat "build/native/$(basename "$t").log"; exit 1; }
  tail -n 1 "build/native/$(basename "$t").log" | sed "s|^|$(basename "$t"): |"
done
# The pool again with a single worker: results must not depend on the count.
RAYON_NUM_THREADS=1 build/native/test_pool >build/native/test_pool_1.log 2>&1 || { echo "test_pool failed with one worker"; exit 1; }

echo "test: Python tests"
.venv/bin/python -m pytest -q "$@"
