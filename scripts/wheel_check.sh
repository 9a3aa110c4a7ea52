#!/usr/bin/env bash
# Checks wheels on their own: each goes into a fresh virtual environment of
# its CPython together with its test extras, and the Python suite runs
# against the installed package from outside the source tree (conftest.py
# makes sure it is the installed one).
#   bash scripts/wheel_check.sh WHEEL...
#   bash scripts/wheel_check.sh            builds the cp311 wheel (build_wheel.sh) and checks it
# Arguments after `--` go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$PWD
wheels=() pytest_args=()
while (($#)); do
  if [ "$1" = "--" ]; then shift; pytest_args=("$@"); break; fi
  wheels+=("$(realpath "$1")"); shift
done
if ((${#wheels[@]} == 0)); then
  bash scripts/build_wheel.sh 3.11
  mapfile -t wheels <build/wheel/built.txt
fi

for wheel in "${wheels[@]}"; do
  name=$(basename "$wheel")
  tag=$(echo "$name" | cut -d- -f3)            # cp311
  version=${tag:2:1}.${tag:3}
  venv=$root/build/wheel-check/$tag
  echo "wheel check: $name into a fresh CPython $version environment"
  python=$(need_python "$version")
  "$python" -m venv --clear "$venv"
  "$venv/bin/python" -m pip install -q --disable-pip-version-check "$wheel[test]"
  (cd "$(mktemp -d)" &&
    "$venv/bin/python" -c "
import pathlib, quarnel
pkg = pathlib.Path(quarnel.__file__).parent
missing = [f for f in ('__init__.pyi', 'py.typed') if not (pkg / f).is_file()]
assert not missing, f'not in the wheel: {missing}'
" &&
    QUARNEL_TEST_INSTALLED=1 "$venv/bin/python" -m pytest -q -p no:cacheprovider \
      "$root/tests/python" "${pytest_args[@]}")
done
