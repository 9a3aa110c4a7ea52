#!/usr/bin/env bash
# Brings a fresh machine to a built, installed quarnel in .venv:
# Debian libraries first, then a virtual environment with the Python
# packages, then an incremental build of the module into it.
set -euo pipefail
cd "$(dirname "$0")/.."

debian_packages=(g++ pkg-config libonig-dev libicu-dev unicode-data)
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
if ! .venv/bin/python -c "import numpy, pytest, regex, scikit_build_core, cmake, ninja, icu, mypy" 2>/dev/null; then
  echo "setup: installing Python packages"
  .venv/bin/python -m pip install -q --disable-pip-version-check -r requirements-dev.txt
fi

echo "setup: building quarnel"
.venv/bin/python -m pip install -q --disable-pip-version-check --no-build-isolation --no-deps .
