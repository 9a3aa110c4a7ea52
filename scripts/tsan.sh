#!/usr/bin/env bash
# ThreadSanitizer: a clang -fsanitize=thread build in build/tsan of the
# native tests that run threads (the pool's above all, with the default
# worker count, then 1 and 4 workers) and of the module; then the Python tests that use threads, the
# pool or signals (not those that fork: this sanitizer cannot start threads
# in a forked child), run by an interpreter program with the sanitizer's
# runtime linked in (tests/tsan/python.cpp). Any report fails the stage
# (nothing is suppressed). Arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
bash scripts/setup.sh --sanitize
# (llvm-symbolizer from the LLVM of the installed clang)
export PATH="$PWD/.venv/bin:/usr/lib/llvm-$(clang_major)/bin:$PATH"
build=build/tsan
logged build/logs/tsan.log bash -c "
  CC=clang CXX=clang++ cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUARNEL_SANITIZE=thread -DQUARNEL_NATIVE_TESTS=ON &&
  nice -n 19 cmake --build $build -j2 --target quarnel test_pool test_qa_annotator test_converter \
    test_regex_tokenizer test_icu_word_pre_tokenizer test_columnar"

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
run() {  # run LOG-NAME COMMAND...: quiet unless it fails
  local log="$build/$1.log"
  shift
  "$@" >"$log" 2>&1 || { cat "$log"; echo "tsan: $* failed"; exit 1; }
  echo "tsan: $(basename "$log" .log): $(tail -n 1 "$log")"
}
run pool "$build/test_pool"
RAYON_NUM_THREADS=1 run pool_1 "$build/test_pool"
RAYON_NUM_THREADS=4 run pool_4 "$build/test_pool"
run qa_annotator "$build/test_qa_annotator"
run converter "$build/test_converter"
run regex_tokenizer "$build/test_regex_tokenizer" concurrent
run icu_word_pre_tokenizer "$build/test_icu_word_pre_tokenizer" per_thread
run columnar "$build/test_columnar"

# The interpreter program, linked against the venv's libpython.
read -r include libdir ldversion libs < <(.venv/bin/python -c '
import sysconfig as s
v = s.get_config_var
print(s.get_paths()["include"], v("LIBDIR"), v("LDVERSION"), (v("LIBS") or "") + " " + (v("SYSLIBS") or ""))')
clang++ -fsanitize=thread -O1 -I"$include" tests/tsan/python.cpp -L"$libdir" -Wl,-rpath,"$libdir" \
  -Wl,--export-dynamic -lpython"$ldversion" $libs -o "$build/python"
site=$(.venv/bin/python -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')
# The system allocator, which the sanitizer sees, instead of the
# interpreter's own pools, whose reuse of memory it cannot see.
PYTHONMALLOC=malloc PYTHONPATH="$PWD/$build:$site" nice -n 19 "$build/python" -m pytest -q -p no:cacheprovider \
  tests/python/test_pool.py tests/python/test_interrupt.py tests/python/test_hardening.py tests/python/test_free_threading.py \
  tests/python/test_regex_tokenizer.py tests/python/test_qa_annotator.py tests/python/test_icu_word_pre_tokenizer.py \
  -k "(thread or interrupt or batches) and not fork" "$@"
