#!/usr/bin/env bash
# Builds and installs quarnel for CPython VERSION (3.11 ... 3.15) in its
# own environment, .venv-VERSION, and runs the whole Python test suite there.
#   bash scripts/test_python.sh 3.13 [pytest arguments]
# The interpreter is pythonVERSION on PATH, else the newest pyenv VERSION.*,
# else Debian's pythonVERSION in a chroot of the suite that serves it
# (scripts/debian_chroot.sh): the script then runs itself inside that
# chroot, on this clone mounted at its own path, and builds the module with
# the chroot's compiler, ICU and Oniguruma into build/debian-SUITE/ (the
# environment venv-VERSION, the build directory cpXY, which also holds the
# native benchmark programs the bench tests run), kept between runs.
# A version that cannot be had fails the script under CI (CI=true), unless
# no Debian suite serves it; elsewhere it is skipped (exit 77). Outside a
# chroot, expects the release preset (nox -s native) to have built the
# benchmark programs in build/release (their tests skip otherwise).
set -euo pipefail
version=$1
shift
cd "$(dirname "$0")/.."
source scripts/lib.sh
need_debian_packages g++ pkg-config libonig-dev libicu-dev unicode-data

# unavailable MESSAGE: an interpreter that could be had but was not fails
# under CI and is skipped elsewhere.
unavailable() {
  if [ "${CI:-}" = true ]; then
    echo "FAILED: $1"
    exit 1
  fi
  echo "skipped: $1"
  exit 77
}

python=$(find_python "$version")
if [ -z "$python" ] && [ -z "${QUARNEL_CHROOT:-}" ]; then
  source scripts/debian_chroot.sh
  status=0
  in_python_chroot "$version" -- bash scripts/test_python.sh "$version" "$@" || status=$?
  case $chroot_missing in
    unserved:*) echo "skipped: ${chroot_missing#*: }"; exit 77 ;;  # even under CI
    failed:*) unavailable "${chroot_missing#*: }" ;;
  esac
  exit $status
fi
if [ -z "$python" ]; then
  echo "FAILED: no python$version in the Debian $QUARNEL_CHROOT chroot"
  exit 1
fi

need_debian_python_parts "$python"
bench=$PWD/build/release
build_args=()
venv=.venv-$version
if [ -n "${QUARNEL_CHROOT:-}" ]; then
  dir=build/debian-$QUARNEL_CHROOT
  venv=$dir/venv-$version
  bench=$PWD/$dir/cp${version/./}
  build_args=(--config-settings=build-dir="$bench" --config-settings=cmake.define.QUARNEL_BENCH=ON)
  use_ccache
fi
if [ ! -x "$venv/bin/python" ] || [ "$("$venv/bin/python" -c 'import sys; print(sys.prefix != sys.base_prefix)')" != True ]; then
  echo "python $version: creating $venv from $python"
  rm -rf "$venv"
  "$python" -m venv "$venv"
fi
install_dev_packages "$venv/bin/python"
"$venv/bin/python" -c "import sys; print('python $version:', sys.version.split()[0], sys.executable)"
logged "build/logs/module-$version.log" \
  "$venv/bin/python" -m pip install -v --disable-pip-version-check --no-build-isolation --no-deps "${build_args[@]}" .

QUARNEL_BENCH_BUILD="$bench" "$venv/bin/python" -m pytest -q -p no:cacheprovider "$@"
