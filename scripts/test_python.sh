#!/usr/bin/env bash
# Builds and installs quarnel for CPython VERSION (3.11, 3.12, 3.13) in its
# own environment, .venv-VERSION, and runs the whole Python test suite there.
#   bash scripts/test_python.sh 3.13 [pytest arguments]
# The interpreter is pythonVERSION on PATH, else the newest pyenv VERSION.*.
# Without one the script fails under CI (CI=true) and skips (exit 77)
# elsewhere. Expects the native stage of scripts/test.sh to have built the
# benchmark programs in build/native (their tests skip otherwise).
set -euo pipefail
version=$1
shift
cd "$(dirname "$0")/.."
source scripts/lib.sh
need_debian_packages g++ pkg-config libonig-dev libicu-dev unicode-data

python=$(find_python "$version")
if [ -z "$python" ]; then
  message="no CPython $version: install it (pyenv install $version) or put python$version on PATH"
  if [ "${CI:-}" = true ]; then
    echo "FAILED: $message"
    exit 1
  fi
  echo "skipped: $message"
  exit 77
fi

need_debian_python_parts "$python"
venv=.venv-$version
if [ ! -x "$venv/bin/python" ] || [ "$("$venv/bin/python" -c 'import sys; print(sys.prefix != sys.base_prefix)')" != True ]; then
  echo "python $version: creating $venv from $python"
  rm -rf "$venv"
  "$python" -m venv "$venv"
fi
if ! dev_packages_installed "$venv/bin/python"; then
  echo "python $version: installing Python packages"
  "$venv/bin/python" -m pip install -q --disable-pip-version-check -r requirements-dev.txt
fi
"$venv/bin/python" -c "import sys; print('python $version:', sys.version.split()[0], sys.executable)"
logged "build/logs/module-$version.log" \
  "$venv/bin/python" -m pip install -v --disable-pip-version-check --no-build-isolation --no-deps .

QUARNEL_BENCH_BUILD="$PWD/build/native" "$venv/bin/python" -m pytest -q -p no:cacheprovider "$@"
