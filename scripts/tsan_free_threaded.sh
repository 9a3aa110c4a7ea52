#!/usr/bin/env bash
# ThreadSanitizer on a free-threaded CPython: the interpreter itself built
# with the sanitizer (scripts/free_threaded_python.sh X.Yt --tsan, made once
# into $QUARNEL_CACHE), the module built with clang -fsanitize=thread
# against it in build/tsan-ft, then the tests where Python threads run at
# once (no GIL): test_free_threading.py and the thread, interrupt and batch
# tests that scripts/tsan.sh runs on the GIL build. Races inside the
# interpreter are silenced by the suppressions CPython's source ships for
# this build (nothing of ours is); any other report fails the stage.
# Arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
version=${ft_python_versions[0]}
python=$(bash scripts/free_threaded_python.sh "$version" --tsan | tail -n 1)
suppressions=$(dirname "$python")/../share/tsan-suppressions.txt

build=build/tsan-ft
env=$build/env
if ! "$env/bin/python" -c "import numpy, pytest, scikit_build_core, cmake, ninja" 2>/dev/null; then
  echo "tsan-ft: creating $env"
  rm -rf "$env"
  "$python" -m venv "$env"
  PIP_PREFER_BINARY=1 nice -n 10 "$env/bin/python" -m pip install -q --disable-pip-version-check numpy pytest pytest-timeout \
    scikit-build-core cmake ninja
fi
export PATH="$PWD/$env/bin:$PATH"
logged build/logs/tsan-ft.log bash -c "
  CC=clang CXX=clang++ cmake -S . -B $build/module -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUARNEL_SANITIZE=thread -DPython_EXECUTABLE=$PWD/$env/bin/python &&
  nice -n 19 cmake --build $build/module -j2 --target quarnel"
"$env/bin/python" -c "import sys; print('tsan-ft: python', sys.version.split()[0], sys.executable)"

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(realpath "$suppressions")"
PYTHONPATH="$PWD/$build/module" nice -n 19 "$env/bin/python" -m pytest -q -p no:cacheprovider \
  tests/python/test_free_threading.py tests/python/test_pool.py tests/python/test_interrupt.py \
  tests/python/test_hardening.py tests/python/test_regex_tokenizer.py tests/python/test_qa_annotator.py \
  -k "free_threading or ((thread or interrupt or batches) and not fork)" "$@"
