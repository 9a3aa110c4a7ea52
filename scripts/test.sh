#!/usr/bin/env bash
# The test command: everything CI checks, as named stages run in order,
# the quick ones first. Each prints its wall time and the processor time
# its processes used (on a busy machine the second says more); a table of
# all of them closes the run. The first failing stage stops it.
#
#   bash scripts/test.sh [pytest arguments]     every stage
#   QUARNEL_QUICK=1 bash scripts/test.sh        the quick stages only
#   QUARNEL_STAGES=native,aarch64 bash scripts/test.sh   just these (setup always runs)
#
# Adding a stage is one line in the list at the end: a name, quick or
# long, and a command (run from the repository root).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
use_ccache

pytest_args=("$@")
stage_names=()
stage_results=()
stage_seconds=()
stage_cpu=()
run_start=$SECONDS

duration() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# Processor seconds (user + system) of this shell's finished child processes.
ticks_per_second=$(getconf CLK_TCK)
cpu_seconds() { awk -v hz="$ticks_per_second" '{ printf "%d", ($16 + $17) / hz }' "/proc/$$/stat"; }
run_cpu_start=$(cpu_seconds)

summary() {
  echo
  printf '%-16s %-8s %-8s %s\n' stage result wall cpu
  local i
  for i in "${!stage_names[@]}"; do
    printf '%-16s %-8s %-8s %s\n' "${stage_names[$i]}" "${stage_results[$i]}" \
      "$(duration "${stage_seconds[$i]}")" "$(duration "${stage_cpu[$i]}")"
  done
  printf '%-16s %-8s %-8s %s\n' total "" "$(duration $((SECONDS - run_start)))" \
    "$(duration $(($(cpu_seconds) - run_cpu_start)))"
}

# stage NAME quick|long COMMAND...
stage() {
  local name=$1 kind=$2
  shift 2
  if [ "$name" != setup ]; then
    if [ -n "${QUARNEL_STAGES:-}" ]; then
      [[ ",$QUARNEL_STAGES," == *",$name,"* ]] || return 0
    elif [ "$kind" = long ] && [ "${QUARNEL_QUICK:-0}" = 1 ]; then
      return 0
    fi
  fi
  echo
  echo "==> $name"
  local start=$SECONDS cpu_start rc=0
  cpu_start=$(cpu_seconds)
  # A subshell run as a plain command, so that `set -e` holds inside stage
  # functions (bash ignores it in a function called as the left side of ||)
  # and the stage keeps SIGINT (bash ignores it in background commands,
  # which the Ctrl-C tests need).
  set +e
  (
    set -e
    "$@"
  )
  rc=$?
  set -e
  local took=$((SECONDS - start)) cpu=$(($(cpu_seconds) - cpu_start)) result=ok
  ((rc == 77)) && result=skipped
  ((rc != 0 && rc != 77)) && result=FAILED
  stage_names+=("$name")
  stage_results+=("$result")
  stage_seconds+=("$took")
  stage_cpu+=("$cpu")
  echo "<== $name: $result in $(duration "$took") (cpu $(duration "$cpu"))"
  if [ "$result" = FAILED ]; then
    summary
    exit 1
  fi
}

# The native unit tests and benchmark programs (build/native), each test
# program on the pool's default size, the pool's again with one worker.
native_tests() {
  logged build/logs/native.log bash -c '
    .venv/bin/cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DQUARNEL_PYTHON_MODULE=OFF -DQUARNEL_NATIVE_TESTS=ON -DQUARNEL_BENCH=ON \
      -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja" &&
    .venv/bin/cmake --build build/native -j2'
  run_native_tests build/native
  RAYON_NUM_THREADS=1 run_native_tests build/native pool
}

# The whole Python suite on the interpreter of .venv.
python_tests() {
  .venv/bin/python -c "import sys; print('python:', sys.version.split()[0], sys.executable)"
  QUARNEL_BENCH_BUILD="$PWD/build/native" .venv/bin/python -m pytest -q "${pytest_args[@]}"
}

# The module is built once, against NumPy 2's headers, and must also run
# with NumPy 1.x: the Converter tests again in a second environment. NumPy
# 1.x has no release for CPython 3.13 and later (so no user of those can
# meet that pairing): there the stage is skipped, saying so, instead of
# compiling NumPy 1.26 from its sources for a pairing that cannot occur.
numpy1_tests() {
  if ! .venv-numpy1/bin/python -c "import numpy, pytest; assert numpy.__version__ < '2'" 2>/dev/null; then
    if ! .venv/bin/python -c 'import sys; sys.exit(sys.version_info >= (3, 13))'; then
      echo "skipped: NumPy 1.x has no release for CPython $venv_version (.venv's); the Converter's NumPy 1.x check runs where .venv is 3.11 or 3.12"
      return 77
    fi
    echo "setup: creating .venv-numpy1"
    rm -rf .venv-numpy1
    .venv/bin/python -m venv .venv-numpy1
    .venv-numpy1/bin/python -m pip install -q --disable-pip-version-check --only-binary numpy "numpy<2" pytest
  fi
  local module_dir=build/numpy1
  mkdir -p "$module_dir"
  ln -sfn "$(.venv/bin/python -c 'import pathlib, quarnel; print(pathlib.Path(quarnel.__file__).parent)')" "$module_dir/quarnel"
  PYTHONPATH="$PWD/$module_dir" .venv-numpy1/bin/python -m pytest -q -p no:cacheprovider tests/python/test_converter.py
}

# The supported CPython versions (python_versions, scripts/lib.sh): .venv's
# own gets a quick stage, the others one long stage each.

# A free-threaded CPython (ft_python_versions, scripts/lib.sh), made once
# into $QUARNEL_CACHE, then the whole suite on it with the GIL kept off:
# PYTHON_GIL=0, as PyICU, which the tests compare with, does not declare
# that it runs without the GIL and would switch it back on when imported
# (test_free_threading.py checks in a clean child that quarnel keeps it off).
# pip prefers wheels there: the newest releases may ship none for an older
# free-threaded CPython (NumPy 2.5 has none for 3.13t, 2.4 has), and mypy
# then comes without ast-serialize, which has none either and builds only
# with a Rust toolchain fetching crates (an older mypy does without it).
free_threaded_tests() {
  local version=$1
  shift
  bash scripts/free_threaded_python.sh "$version"
  PIP_PREFER_BINARY=1 PIP_ONLY_BINARY=ast-serialize PYTHON_GIL=0 bash scripts/test_python.sh "$version" "$@"
}

stage setup        quick bash scripts/setup.sh
venv_version=$(.venv/bin/python -c 'import sys; print("%d.%d" % sys.version_info[:2])')
stage native       quick native_tests
stage "python$venv_version" quick python_tests
stage numpy1       quick numpy1_tests
for version in "${python_versions[@]}"; do
  [ "$version" = "$venv_version" ] || stage "python$version" long bash scripts/test_python.sh "$version" "${pytest_args[@]}"
done
for version in "${ft_python_versions[@]}"; do
  stage "python$version" long free_threaded_tests "$version" "${pytest_args[@]}"
done
stage clang-libcxx long bash scripts/clang_libcxx.sh
stage aarch64      long bash scripts/cross_aarch64.sh
stage wheel        long bash scripts/wheel_check.sh
stage sanitize     long bash scripts/sanitize.sh "${pytest_args[@]}"
stage tsan         long bash scripts/tsan.sh
stage tsan-ft      long bash scripts/tsan_free_threaded.sh
stage fuzz         long bash scripts/fuzz.sh
summary
