#!/usr/bin/env bash
# Brings a fresh machine to a built, installed quarnel in .venv:
# Debian libraries first, then a virtual environment with the Python
# packages, then an incremental build of the module into it.
# With --sanitize (scripts/sanitize.sh, scripts/fuzz.sh): also clang and
# atheris, and no module build (those scripts build their own).
set -euo pipefail
cd "$(dirname "$0")/.."

debian_packages=(g++ pkg-config libonig-dev libicu-dev unicode-data)
sanitize=0
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=1
  debian_packages+=(clang)
fi
missing=()
for pkg in "${debian_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

python=${PYTHON:-python3}
if [ ! -x .venv/bin/python ]; then
  echo "setup: creating .venv"
  "$python" -m venv .venv
fi
if ! .venv/bin/python -c "import numpy, pytest, regex, scikit_build_core, cmake, ninja, icu, mypy, tqdm, distributed, pytest_timeout" 2>/dev/null; then
  echo "setup: installing Python packages"
  .venv/bin/python -m pip install -q --disable-pip-version-check -r requirements-dev.txt
fi
if ((sanitize)); then
  if ! .venv/bin/python -c "import atheris" 2>/dev/null; then
    echo "setup: installing the fuzzing packages"
    .venv/bin/python -m pip install -q --disable-pip-version-check -r requirements-fuzz.txt
  fi
  exit 0
fi

echo "setup: building quarnel"
.venv/bin/python -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps .
