# Sourced by the wheel scripts: where to find each supported CPython.
# SUPPORTED_PYTHONS is the one list of versions we build wheels for (the
# package's classifiers and requires-python follow it; a test checks that).
SUPPORTED_PYTHONS=(3.11 3.12 3.13)

# find_python 3.12 -> path of a CPython 3.12 interpreter: python3.12 on PATH,
# else one installed by pyenv. Fails with a message naming what to install.
find_python() {
  local version=$1 candidate
  for candidate in "$(command -v "python$version" 2>/dev/null)" \
                   "${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$version".*/bin/"python$version"; do
    [ -n "$candidate" ] && [ -x "$candidate" ] || continue
    # The real interpreter behind a shim; only one that can make venvs.
    if "$candidate" -c "import sys, venv; assert '%d.%d' % sys.version_info[:2] == '$version'; print(sys.executable)" 2>/dev/null; then
      return 0
    fi
  done
  echo "no CPython $version found: put python$version on PATH (pyenv install $version, or your distribution's package)" >&2
  return 1
}

# build_env 3.12 -> a virtual environment of that CPython with the sdist's
# build requirements, for `pip wheel --no-build-isolation` (a kept build
# directory then stays valid between runs): the development .venv for its
# own version, else one kept in build/wheel/env-cp312.
build_env() {
  local version=$1 env
  if [ "$(.venv/bin/python -c 'import sys; print("%d.%d" % sys.version_info[:2])')" = "$version" ]; then
    echo .venv
    return 0
  fi
  env=build/wheel/env-cp${version/./}
  if ! "$env/bin/python" -c "import scikit_build_core, numpy" 2>/dev/null; then
    echo "wheel: creating the build environment $env" >&2
    "$(find_python "$version")" -m venv --clear "$env" >&2 || return 1
    "$env/bin/python" -m pip install -q --disable-pip-version-check $("$env/bin/python" -c \
      "import tomllib; print(' '.join(tomllib.load(open('pyproject.toml', 'rb'))['build-system']['requires']))") >&2 ||
      return 1
  fi
  echo "$env"
}
