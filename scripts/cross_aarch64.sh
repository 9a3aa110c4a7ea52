#!/usr/bin/env bash
# Cross-builds quarnel for 64-bit ARM Linux (the native tests and the Python
# module, with the NEON kernels) and runs it under qemu-aarch64 user-mode
# emulation: every native test, then the Python tests on Debian's arm64
# CPython of this Debian's python3 version (bookworm 3.11, trixie 3.13) with
# NumPy's aarch64 wheel. Everything lands in build/aarch64.
#   bash scripts/cross_aarch64.sh [pytest arguments]
# The Python part leaves out test_hardening.py (huge inputs and stress
# loops: five minutes under emulation) unless QUARNEL_AARCH64_PYTEST=all,
# and always test_distributed.py (Dask's cluster processes; see
# arm64_pytest_args in scripts/lib.sh); QUARNEL_AARCH64_PYTEST=none skips
# the Python part.
#
# The toolchain (cmake/aarch64-linux-gnu.cmake) uses Debian's cross compiler
# and multiarch arm64 libraries. Oniguruma's development package cannot be
# installed for two architectures at once, so the build takes the host's
# header (the same for both) and links the arm64 runtime library libonig5.
# Programs run with plain qemu-aarch64, which loads the multiarch arm64
# libc (with -L /usr/aarch64-linux-gnu every threaded program hangs).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
need_debian_packages g++-aarch64-linux-gnu clang pkg-config file libonig-dev \
  libicu-dev:arm64 libonig5:arm64
export PATH="$PWD/.venv/bin:$PATH"

root=$PWD/build/aarch64
mkdir -p "$root"

# clang compiles the NEON kernels too (as Apple's clang would on arm64).
clang++ --target=aarch64-linux-gnu -std=c++20 -Wall -Wextra -Wpedantic -fsyntax-only -Isrc \
  src/converter/half.cpp src/converter/scan.cpp
echo "aarch64: clang compiles the NEON kernels"

# Oniguruma: the host's header, the arm64 shared library.
mkdir -p "$root/onig"
ln -sfn /usr/lib/aarch64-linux-gnu/libonig.so.5 "$root/onig/libonig.so"
cat >"$root/onig/oniguruma.pc" <<EOF
Name: oniguruma
Description: the host's Oniguruma header with the arm64 runtime library
Version: $(pkg-config --modversion oniguruma)
Libs: -L$root/onig -lonig
Cflags: -I/usr/include
EOF

# Debian's arm64 CPython with NumPy and the test packages (scripts/lib.sh).
# CMake runs it through its launcher, which runs qemu itself (so CMake's own
# emulator is a plain `env`). The tests run it through bin/python3, which
# also puts the module's build directory on its path; its argv[0] is that
# launcher, so sys.executable is too and the tests' subprocesses go through
# qemu as well.
arm64_python "$root"
cat >"$root/bin/python3" <<EOF
#!/bin/sh
PYTHONHOME=/usr PYTHONPATH="$root/build:$arm64_site\${PYTHONPATH:+:\$PYTHONPATH}" exec qemu-aarch64 -0 "\$0" "$arm64_cpython" -S "\$@"
EOF
chmod +x "$root/bin/python3"

logged build/logs/aarch64.log bash -c "
  PKG_CONFIG_PATH='$root/onig' cmake -S . -B '$root/build' -G Ninja -DCMAKE_BUILD_TYPE=Release \
    --toolchain cmake/aarch64-linux-gnu.cmake -DQUARNEL_NATIVE_TESTS=ON \
    -DCMAKE_CROSSCOMPILING_EMULATOR=env -DPython_EXECUTABLE='$arm64_interpreter' &&
  cmake --build '$root/build' -j2"
grep -q "ARM aarch64" <<<"$(file -L "$root/build/test_pool")" || { echo "FAILED: not an arm64 build"; exit 1; }
echo "aarch64: built $(basename "$root"/build/quarnel/__init__*.so) and the native tests"

# The emulator slows the exhaustive suites down ten to twenty times: they run
# with a tenth of their sizes (every code point below U+0800 still).
# qemu aborts with a TCG assertion (cpu == current_cpu) in the forked child
# of a multithreaded guest: that one test is qemu's to fail, not ours.
native_runner=(qemu-aarch64)
native_args=(--skip forked_child_gets_its_own_pool)
QUARNEL_TEST_SCALE=10 run_native_tests "$root/build"
echo "aarch64: forked_child_gets_its_own_pool skipped: qemu-user aborts in the forked child of a threaded program"
native_runner=()
native_args=()

[ "${QUARNEL_AARCH64_PYTEST:-}" = none ] && exit 0
"$root/bin/python3" -c "import platform, sys, numpy; print('aarch64: python', sys.version.split()[0], platform.machine(), 'numpy', numpy.__version__)"
arm64_pytest_args tests/python
"$root/bin/python3" -m pytest -q -p no:cacheprovider "${arm64_pytest[@]}" "$@"
