#!/usr/bin/env bash
# Builds a wheel of the project and checks it on its own: a fresh virtual
# environment gets the wheel (and NumPy) and runs the typed example, which
# uses every class, from outside the source tree. Expects scripts/setup.sh
# to have run (it reuses .venv and its build directory).
set -euo pipefail
cd "$(dirname "$0")/.."

dist=build/dist
rm -rf "$dist" build/wheel-venv
.venv/bin/python -m pip wheel -q --disable-pip-version-check --no-build-isolation --no-deps -w "$dist" .
wheel=$(ls "$dist"/quarnel-*.whl)
echo "wheel: built $(basename "$wheel")"

"${PYTHON:-python3}" -m venv build/wheel-venv
build/wheel-venv/bin/python -m pip install -q --disable-pip-version-check "$wheel"
example="$PWD/examples/typed_usage.py"
(cd "$(mktemp -d)" && "$OLDPWD/build/wheel-venv/bin/python" -c "
import quarnel, pathlib, runpy
pkg = pathlib.Path(quarnel.__file__).parent
assert (pkg / '__init__.pyi').is_file() and (pkg / 'py.typed').is_file(), 'stub missing from the wheel'
assert 'site-packages' in quarnel.__file__, quarnel.__file__
runpy.run_path('$example', run_name='__main__')
" >/dev/null)
echo "wheel: installs into a fresh environment and runs every class"
