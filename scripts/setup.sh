#!/usr/bin/env bash
# Brings a fresh machine to a built, installed quarnel in .venv:
# Debian libraries first, then a virtual environment with the Python
# packages, then an incremental build of the module into it.
# With --sanitize (scripts/sanitize.sh, scripts/fuzz.sh): also clang with
# its sanitizer runtimes and atheris, and no module build (those scripts
# build their own). When .venv's interpreter is Debian's, its headers and
# venv support come from Debian too.
# PYTHON picks the interpreter of .venv when it is first made (default
# python3); scripts/test_python.sh makes one environment per CPython version.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

debian_packages=(g++ pkg-config libonig-dev libicu-dev unicode-data)
sanitize=0
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=1
  debian_packages+=(clang)
fi
need_debian_packages "${debian_packages[@]}"
if ((sanitize)); then
  # The sanitizer and libFuzzer runtimes of the installed clang, and its
  # llvm-symbolizer: the sanitizers' reports and suppressions name
  # functions only through it. (Debian 12: libclang-rt-14-dev and llvm-14;
  # Debian 13: libclang-rt-19-dev and llvm-19.)
  need_debian_packages "libclang-rt-$(clang_major)-dev" "llvm-$(clang_major)"
fi

python=${PYTHON:-python3}
if [ ! -x .venv/bin/python ]; then
  need_debian_python_parts "$python"
  echo "setup: creating .venv"
  "$python" -m venv .venv
else
  need_debian_python_parts "$(.venv/bin/python -c 'import sys; print(sys._base_executable)')"
fi
install_dev_packages .venv/bin/python
if ((sanitize)); then
  if ! .venv/bin/python -c "import atheris" 2>/dev/null; then
    echo "setup: installing the fuzzing packages"
    .venv/bin/python -m pip install -q --disable-pip-version-check -r requirements-fuzz.txt
  fi
  exit 0
fi

echo "setup: building quarnel"
# Through ccache, as every build of the test command: the demo's build is
# then the one the test command finds up to date.
use_ccache
logged build/logs/setup.log .venv/bin/python -m pip install -v --disable-pip-version-check --no-build-isolation --no-deps .
