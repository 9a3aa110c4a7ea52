# Sourced by sanitize.sh and fuzz.sh: builds the module and the native tests
# with clang, AddressSanitizer + UBSan and fuzzing coverage into
# build/sanitize, and sets up the environment for running Python against
# that build (the array PYTHON_UNDER_ASAN is the command prefix).
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib.sh
bash scripts/setup.sh --sanitize
# (llvm-symbolizer from the LLVM of the installed clang)
export PATH="$PWD/.venv/bin:/usr/lib/llvm-$(clang_major)/bin:$PATH"
logged build/logs/sanitize.log bash -c '
  CC=clang CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUARNEL_SANITIZE=address,undefined,fuzzer-no-link -DQUARNEL_NATIVE_TESTS=ON &&
  nice -n 19 cmake --build build/sanitize -j2'

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leak checking in Python: with the plain allocator every object is a block
# that LeakSanitizer sees, so while the interpreter is alive only memory
# that nothing points to any more shows up. use_tls=0: this LeakSanitizer
# crashes reading the dynamic TLS of the module's worker threads.
# tests/lsan.supp lists the interpreter's and libraries' blocks whose owners it cannot see.
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS="use_tls=0:suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
sanitizer_runtime=$(.venv/bin/python -c "import atheris, os; print(os.path.join(atheris.path(), 'asan_with_fuzzer.so'))")
PYTHON_UNDER_ASAN=(env LD_PRELOAD="$sanitizer_runtime" PYTHONMALLOC=malloc PYTHONPATH="$PWD/build/sanitize"
  nice -n 19 .venv/bin/python)
