#!/usr/bin/env bash
# Cross-builds quarnel for 64-bit ARM Linux (the native tests and the Python
# module, with the NEON kernels) and runs it under qemu-aarch64 user-mode
# emulation: every native test, then the Python tests on Debian's arm64
# CPython 3.11 with NumPy's aarch64 wheel. Everything lands in build/aarch64.
#   bash scripts/cross_aarch64.sh [pytest arguments]
# The Python part leaves out test_hardening.py (huge inputs and stress
# loops: five minutes under emulation) unless QUARNEL_AARCH64_PYTEST=all,
# and always test_distributed.py (Dask's cluster processes);
# QUARNEL_AARCH64_PYTEST=none skips the Python part.
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
need_debian_packages g++-aarch64-linux-gnu qemu-user clang pkg-config file libonig-dev \
  libc6:arm64 libstdc++6:arm64 libicu-dev:arm64 libonig5:arm64 libpython3.11-dev:arm64 libpython3.11-stdlib:arm64
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

# Debian's arm64 CPython 3.11 (its standard library is the multiarch
# libpython3.11-stdlib:arm64), unpacked, and NumPy's aarch64 wheel of the
# version .venv has (the module is compiled against its headers), pytest and
# regex in a directory of their own.
python_deb_version=$(dpkg-query -W -f='${Version}' libpython3.11-stdlib:arm64)
if [ ! -x "$root/cpython/usr/bin/python3.11" ] || [ "$(cat "$root/cpython/version" 2>/dev/null)" != "$python_deb_version" ]; then
  echo "aarch64: unpacking Debian's python3.11-minimal:arm64 $python_deb_version"
  rm -rf "$root/cpython" "$root/deb"
  mkdir -p "$root/deb"
  (cd "$root/deb" && apt-get download -q "python3.11-minimal:arm64=$python_deb_version" 2>&1 | grep -v "^W: Download is performed unsandboxed" || true)
  dpkg -x "$root"/deb/python3.11-minimal_*_arm64.deb "$root/cpython"
  echo "$python_deb_version" >"$root/cpython/version"
fi
numpy_version=$(.venv/bin/python -c "import numpy; print(numpy.__version__)")
arm64_packages=("numpy==$numpy_version" pytest regex tqdm)
site=$root/site
if [ "$(cat "$site/.packages" 2>/dev/null)" != "${arm64_packages[*]}" ]; then
  echo "aarch64: installing ${arm64_packages[*]} for linux-aarch64"
  rm -rf "$site"
  .venv/bin/python -m pip install -q --disable-pip-version-check --target "$site" --only-binary=:all: \
    --implementation cp --python-version 3.11 --platform manylinux_2_28_aarch64 \
    --platform manylinux_2_17_aarch64 --platform manylinux2014_aarch64 "${arm64_packages[@]}"
  echo "${arm64_packages[*]}" >"$site/.packages"
fi

# The arm64 interpreter through qemu: bin/qemu runs an arm64 program with
# that interpreter's environment (CMake runs the interpreter through it);
# bin/python3 runs the interpreter with the module's build directory on its
# path. Its argv[0] is the launcher, so sys.executable is too and the tests'
# subprocesses go through qemu as well (binfmt_misc may not be there to do it).
mkdir -p "$root/bin"
cat >"$root/bin/qemu" <<EOF
#!/bin/sh
PYTHONHOME=/usr PYTHONPATH="$site\${PYTHONPATH:+:\$PYTHONPATH}" exec qemu-aarch64 "\$@"
EOF
cat >"$root/bin/python3" <<EOF
#!/bin/sh
PYTHONPATH="$root/build\${PYTHONPATH:+:\$PYTHONPATH}" exec "$root/bin/qemu" -0 "\$0" "$root/cpython/usr/bin/python3.11" -S "\$@"
EOF
chmod +x "$root/bin/qemu" "$root/bin/python3"
numpy_include=$("$root/bin/python3" -c "import numpy; print(numpy.get_include())")

logged build/logs/aarch64.log bash -c "
  PKG_CONFIG_PATH='$root/onig' cmake -S . -B '$root/build' -G Ninja -DCMAKE_BUILD_TYPE=Release \
    --toolchain cmake/aarch64-linux-gnu.cmake -DQUARNEL_NATIVE_TESTS=ON \
    -DCMAKE_CROSSCOMPILING_EMULATOR='$root/bin/qemu' \
    -DPython_EXECUTABLE='$root/cpython/usr/bin/python3.11' -DPython_NumPy_INCLUDE_DIR='$numpy_include' &&
  cmake --build '$root/build' -j2"
file -L "$root/build/test_pool" | grep -q "ARM aarch64" || { echo "FAILED: not an arm64 build"; exit 1; }
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

case "${QUARNEL_AARCH64_PYTEST:-}" in
  none) exit 0 ;;
  all) tests=(tests/python) ;;
  *) tests=(tests/python --ignore=tests/python/test_hardening.py) ;;
esac
# Dask's cluster processes take minutes to start under emulation; the module
# calls they make are the single-process examples' (test_examples.py).
tests+=(--ignore=tests/python/test_distributed.py)
"$root/bin/python3" -c "import platform, sys, numpy; print('aarch64: python', sys.version.split()[0], platform.machine(), 'numpy', numpy.__version__)"
# The same qemu fault as above, with multiprocessing's fork.
forked=tests/python/test_regex_tokenizer.py::test_batches_work_in_forked_children
echo "aarch64: $forked deselected: qemu-user aborts in the forked child of a threaded program"
"$root/bin/python3" -m pytest -q -p no:cacheprovider --deselect "$forked" "${tests[@]}" "$@"
