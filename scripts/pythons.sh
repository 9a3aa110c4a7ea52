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
