#!/usr/bin/env bash
# Checks wheels on their own: each goes into a fresh virtual environment of
# its CPython together with its test extras, and the Python suite runs
# against the installed package from outside the source tree (conftest.py
# makes sure it is the installed one). A CPython this machine lacks is
# Debian's, in a chroot of the suite that serves it; aarch64 wheels are
# checked the same way on Debian's arm64 CPython of their version under
# qemu-aarch64 (scripts/debian_chroot.sh).
#   bash scripts/wheel_check.sh WHEEL...
#   bash scripts/wheel_check.sh            builds the wheel of .venv's CPython (build_wheel.sh) and checks it
# Arguments after `--` go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
source scripts/debian_chroot.sh
root=$PWD
wheels=() pytest_args=()
while (($#)); do
  if [ "$1" = "--" ]; then shift; pytest_args=("$@"); break; fi
  wheels+=("$(realpath "$1")"); shift
done
if ((${#wheels[@]} == 0)); then
  bash scripts/build_wheel.sh "$(.venv/bin/python -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
  mapfile -t wheels <build/wheel/built.txt
fi

# The checks of one installed wheel, run by the environment's interpreter
# from a directory outside the source tree.
check_installed() {
  local python=$1
  shift
  (cd "$(mktemp -d)" &&
    "$python" -c "
import pathlib, quarnel
pkg = pathlib.Path(quarnel.__file__).parent
missing = [f for f in ('__init__.pyi', 'py.typed', 'columnar.py', 'columnar.pyi') if not (pkg / f).is_file()]
assert not missing, f'not in the wheel: {missing}'
" &&
    QUARNEL_TEST_INSTALLED=1 "$python" -m pytest -q -p no:cacheprovider "$@" "${pytest_args[@]}")
}

# install_checked WHEEL PIP-INSTALL-COMMAND...: the wheel and its test
# extras. The wheel and the test requirements themselves come as wheels
# only (quarnel's own from WHEEL; DuckDB has no 3.13t wheel, and its source
# build takes most of an hour), what they need as wheels where there are
# some and else from source (on 3.13t psutil and tornado, whose abi3 wheels
# a free-threaded CPython cannot load). A test requirement with no wheel
# for the interpreter is left out by name (install_or_leave_out): the tests
# that need it skip.
install_checked() {
  local wheel=$1 requirements
  shift
  # (read by this machine's python3, or by the chroot's CPython, there
  # being no python3 in the chroot)
  requirements=$("${python:-python3}" -c "import tomllib
print('\n'.join(tomllib.load(open('pyproject.toml', 'rb'))['project']['optional-dependencies']['test']))") || return 1
  mapfile -t requirements <<<"$requirements"
  local only=(--prefer-binary --only-binary="quarnel,$(requirement_names "${requirements[@]}")")
  # (arm64_pip_install takes wheels only, of everything: nothing for arm64
  # can be built here)
  [ "$1" != arm64_pip_install ] || only=()
  install_or_leave_out "$@" "${only[@]}" -- "$wheel" "${requirements[@]}"
}

for wheel in "${wheels[@]}"; do
  name=$(basename "$wheel")
  tag=$(echo "$name" | cut -d- -f4)            # cp311, cp313t (the ABI tag)
  version=${tag:2:1}.${tag:3}                  # 3.11, 3.13t
  # A free-threaded build runs its suite with the GIL kept off, as the test
  # command does (PyICU, which the tests compare with, would switch it on).
  if [[ "$tag" == *t ]]; then export PYTHON_GIL=0; else unset PYTHON_GIL; fi
  python=
  case "$name" in
    *_aarch64.whl)
      # A fresh arm64 virtual environment of Debian's arm64 CPython of the
      # wheel's version, run under qemu-aarch64 (scripts/debian_chroot.sh,
      # arm64_root_python, arm64_venv), filled by .venv's pip with the
      # aarch64 wheels of the wheel's test extras.
      arm64_root_python "$root/build/aarch64" "$version"
      venv=$root/build/wheel-check/$tag-aarch64
      echo "wheel check: $name into a fresh arm64 CPython $version environment under qemu-aarch64"
      arm64_venv "$venv"
      install_checked "$wheel" arm64_pip_install --target "$venv/lib/python$version/site-packages"
      "$venv/bin/python" -c "import platform, sys; print('wheel check: python', sys.version.split()[0], platform.machine(), sys.prefix)"
      arm64_pytest_args "$root/tests/python"
      check_installed "$venv/bin/python" "${arm64_pytest[@]}"
      ;;
    *)
      python=$(find_python "$version")
      if [ -z "$python" ] && [ -z "${QUARNEL_CHROOT:-}" ]; then
        # The check runs again for this wheel in the Debian chroot that
        # serves its CPython, with this machine's Unicode test data (the
        # wheel carries the ICU of this machine's Debian).
        in_python_chroot "$version" "$(dirname "$wheel")" /usr/share/unicode -- \
          bash scripts/wheel_check.sh "$wheel" -- "${pytest_args[@]}" ||
          { [ -z "$chroot_missing" ] || echo "wheel check: ${chroot_missing#*: }" >&2; exit 1; }
        continue
      fi
      venv=$root/build/wheel-check/$tag
      echo "wheel check: $name into a fresh CPython $version environment"
      python=$(need_python "$version")
      need_debian_python_parts "$python"
      "$python" -m venv --clear "$venv"
      install_checked "$wheel" "$venv/bin/python" -m pip install -q --disable-pip-version-check
      check_installed "$venv/bin/python" "${pytest_parallel[@]}" "$root/tests/python"
      ;;
  esac
done
