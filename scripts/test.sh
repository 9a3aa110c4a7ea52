#!/usr/bin/env bash
# Sets up (see setup.sh), then runs the native unit tests and the Python test
# suite, then both again on the sanitizer build with leak checks
# (sanitize.sh) and a short fuzzing run of every entry point (fuzz.sh).
# Arguments go to pytest. QUARNEL_QUICK=1 skips the last two, for quick
# local loops.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

echo "test: native unit tests"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUARNEL_PYTHON_MODULE=OFF -DQUARNEL_NATIVE_TESTS=ON -DQUARNEL_BENCH=ON \
  -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" >/dev/null
cmake --build build/native >/dev/null
mkdir -p build/native/logs
for t in build/native/test_*; do
  [ -f "$t" ] && [ -x "$t" ] || continue
  log="build/native/logs/$(basename "$t").log"
  "$t" >"$log" 2>&1 || { cat "$log"; exit 1; }
  tail -n 1 "$log" | sed "s|^|$(basename "$t"): |"
done
# The pool again with a single worker: results must not depend on the count.
RAYON_NUM_THREADS=1 build/native/test_pool >build/native/logs/test_pool_1.log 2>&1 ||
  { cat build/native/logs/test_pool_1.log; exit 1; }

echo "test: Python tests"
export QUARNEL_BENCH_BUILD="$PWD/build/native"  # the benchmark helpers' tests use its programs
.venv/bin/python -m pytest -q "$@"

# The module is built once, against NumPy 2's headers, and must also run
# with NumPy 1.x: the Converter tests again in a second environment.
echo "test: Converter tests with NumPy 1.x"
if ! .venv-numpy1/bin/python -c "import numpy, pytest; assert numpy.__version__ < '2'" 2>/dev/null; then
  echo "setup: creating .venv-numpy1"
  .venv/bin/python -m venv .venv-numpy1
  .venv-numpy1/bin/python -m pip install -q --disable-pip-version-check "numpy<2" pytest
fi
module_dir=build/numpy1
mkdir -p "$module_dir"
ln -sfn "$(.venv/bin/python -c 'import pathlib, quarnel; print(pathlib.Path(quarnel.__file__).parent)')" "$module_dir/quarnel"
PYTHONPATH="$PWD/$module_dir" .venv-numpy1/bin/python -m pytest -q -p no:cacheprovider tests/python/test_converter.py

echo "test: wheel"
bash scripts/wheel_check.sh

if [ "${QUARNEL_QUICK:-0}" != 1 ]; then
  echo "test: sanitizer build"
  bash scripts/sanitize.sh "$@"
  echo "test: ThreadSanitizer build"; bash scripts/tsan.sh
  echo "test: fuzzing"
  bash scripts/fuzz.sh
fi
