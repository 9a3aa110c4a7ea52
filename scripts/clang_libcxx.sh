#!/usr/bin/env bash
# Builds everything (module, native tests, benchmark programs) with clang
# and libc++, the closest this machine comes to the macOS toolchain, and
# without processor-specific kernels (-DQUARNEL_PORTABLE=ON), in
# build/clang-libcxx (the clang-libcxx preset), and runs the native tests
# there, then the Converter's Python tests: the portable kernels give the
# same results as the vector ones the other stages use. The native suites
# run at a quarter of their sizes (the native stage runs them in full on
# the same code). Arguments go to pytest.
# Expects scripts/setup.sh to have run (it uses .venv's Python and NumPy).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
need_debian_packages clang libc++-dev libc++abi-dev
export PATH="$PWD/.venv/bin:$PATH"

dir=build/clang-libcxx
logged build/logs/clang-libcxx.log cmake --workflow --preset clang-libcxx
echo "clang-libcxx: built with $(clang++ --version | head -n 1), libc++, portable kernels only"
# Linked against libc++, not libstdc++.
# (grep reads a captured copy: with pipefail, grep -q quitting at its first
# match could fail the pipeline through ldd's SIGPIPE.)
libs=$(ldd "$dir/test_pool")
grep -q 'libc++.so' <<<"$libs" && ! grep -q 'libstdc++' <<<"$libs" ||
  { echo "FAILED: $dir/test_pool is not linked against libc++ alone"; exit 1; }

PYTHONPATH="$PWD/$dir" python -m pytest -q -p no:cacheprovider tests/python/test_converter.py "$@"
