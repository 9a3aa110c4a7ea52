# Helpers the scripts source: Debian packages, quiet builds that show their
# errors, and finding a CPython of a given version.

# Installs the Debian packages (name or name:arch) that are not installed yet.
need_debian_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    grep -q "install ok installed" <<<"$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" || missing+=("$pkg")
  done
  ((${#missing[@]})) || return 0
  echo "setup: installing ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  local arch
  for pkg in "${missing[@]}"; do
    case "$pkg" in
      *:*)
        arch=${pkg#*:}
        if [ "$arch" != "$(dpkg --print-architecture)" ] &&
          ! grep -qx "$arch" <<<"$(dpkg --print-foreign-architectures)"; then
          $sudo dpkg --add-architecture "$arch"
        fi
        ;;
    esac
  done
  local apt=($sudo apt-get -o DPkg::Lock::Timeout=600)
  # (one of our apt runs at a time: the test command makes some things in
  # the background while its stages install what they need)
  (
    flock 8
    "${apt[@]}" update -qq
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  ) 8>"${TMPDIR:-/tmp}/quarnel-apt.lock"
}

# Runs a command (a build) with its output shown as it comes and also kept
# in LOG, for reading later; on failure names the log again.
logged() {
  local log=$1
  shift
  mkdir -p "$(dirname "$log")"
  if ! (set -o pipefail; "$@" 2>&1 | tee "$log"); then
    echo "FAILED: $* (output above, also in $log)"
    return 1
  fi
}

# Toolchains, interpreters and chroots that take minutes to make (a
# free-threaded CPython, Debian chroots with newer interpreters) are kept
# here, outside the clone and keyed by version, so that every clone and CI
# run on this machine reuses them.
QUARNEL_CACHE=${QUARNEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quarnel}

# The CPython versions we support: the test command runs the whole suite on
# each and the wheel scripts build one wheel per version (the package's
# classifiers and requires-python follow this list; a test checks that).
# Versions this machine lacks come from Debian chroots
# (scripts/debian_chroot.sh).
python_versions=(3.11 3.12 3.13 3.14 3.15)

# The free-threaded CPython versions (built with --disable-gil, "X.Yt"): the
# test command makes each from Debian's source package into $QUARNEL_CACHE
# (scripts/free_threaded_python.sh) and runs the whole suite on it.
ft_python_versions=(3.13t)

# How the Python suites spread over the processors (pytest-xdist): a test
# file to a worker, so that a file's module-wide fixtures (a Dask cluster)
# stay one per file, as in a serial run. noxfile.py reads this line.
pytest_parallel=(-n auto --dist loadfile)

# Prints the path of a CPython X.Y interpreter (pythonX.Y on PATH, else the
# newest pyenv X.Y.*), or nothing when there is none. X.Yt asks for a
# free-threaded one (pythonX.Yt on PATH, pyenv X.Y.*t, else the newest one
# that scripts/free_threaded_python.sh made); X.Y never gives one.
find_python() {
  local version=$1 candidate
  local number=${version%t} free_threaded=False
  [ "$number" != "$version" ] && free_threaded=True
  local candidates=("python$version")
  local root
  root=$(pyenv root 2>/dev/null || echo "${PYENV_ROOT:-$HOME/.pyenv}")
  for candidate in $(ls -d "$root/versions/$number".* 2>/dev/null | sort -V -r); do
    candidates+=("$candidate/bin/python$version")
  done
  if [ "$free_threaded" = True ]; then
    for candidate in $(ls -d "$QUARNEL_CACHE/cpython-$number".*-ft 2>/dev/null | sort -V -r); do
      [ -f "$candidate/.complete" ] && candidates+=("$candidate/bin/python$version")
    done
  fi
  for candidate in "${candidates[@]}"; do
    if "$candidate" -c "import sys, sysconfig; assert sys.version_info[:2] == tuple(map(int, '$number'.split('.')))
assert bool(sysconfig.get_config_var('Py_GIL_DISABLED')) == $free_threaded" 2>/dev/null; then
      command -v "$candidate"
      return 0
    fi
  done
}

# need_debian_python_parts PYTHON: when PYTHON is one of Debian's own
# interpreters (a file of a Debian package), installs what building against
# it and making virtual environments with it take: its headers and
# libpython (pythonX.Y-dev) and ensurepip (pythonX.Y-venv). Other
# interpreters (pyenv's, a source build) carry both themselves.
need_debian_python_parts() {
  local python=$1 path version
  path=$(realpath "$(command -v "$python")") || return 1
  dpkg-query -S "$path" >/dev/null 2>&1 || return 0
  version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  need_debian_packages "python$version-dev" "python$version-venv"
}

# need_python X.Y: like find_python, but a missing interpreter is an error
# that says what to install.
need_python() {
  local python
  python=$(find_python "$1")
  if [ -z "$python" ]; then
    echo "no CPython $1: install it (pyenv install $1, or your distribution's python$1) or put python$1 on PATH" >&2
    return 1
  fi
  echo "$python"
}

# build_env X.Y: prints the path of a virtual environment of CPython X.Y
# holding the sdist's build requirements, for `pip wheel
# --no-build-isolation` (whose kept build directory then stays valid between
# runs): .venv for its own version, else build/wheel/env-cpXY, made once.
build_env() {
  local version=$1 env python
  if [ "$(.venv/bin/python -c 'import sys; print("%d.%d" % sys.version_info[:2])' 2>/dev/null)" = "$version" ]; then
    echo .venv
    return 0
  fi
  env=build/wheel/env-cp${version/./}
  if ! "$env/bin/python" -c "import scikit_build_core, numpy" 2>/dev/null; then
    echo "wheel: creating the build environment $env" >&2
    python=$(need_python "$version") || return 1
    need_debian_python_parts "$python" >&2 || return 1
    "$python" -m venv --clear "$env" >&2 || return 1
    "$env/bin/python" -m pip install -q --disable-pip-version-check $("$env/bin/python" -c \
      "import tomllib; print(' '.join(tomllib.load(open('pyproject.toml', 'rb'))['build-system']['requires']))") >&2 ||
      return 1
  fi
  echo "$env"
}

# The major version of the installed clang (14 on Debian 12, 19 on 13).
clang_major() {
  local version
  version=$(clang -dumpversion)
  echo "${version%%.*}"
}

# requirement_names REQUIREMENT...: the package names of pip requirements
# (what comes before an extra, a version or a marker), comma-separated.
requirement_names() {
  local requirement names=()
  for requirement in "$@"; do names+=("${requirement%%[[<>=!~;]*}"); done
  (IFS=,; echo "${names[*]}")
}

# install_or_leave_out PIP-INSTALL-COMMAND... -- REQUIREMENT...: the
# requirements in one go; when that fails (one of them has no wheel for the
# interpreter, and the command takes wheels only), one by one, each that
# fails left out by name. The names left out are in $left_out. Fails when
# the first requirement, or every one, cannot be installed.
install_or_leave_out() {
  local command=() requirement
  while [ "$1" != -- ]; do command+=("$1"); shift; done
  shift
  left_out=()
  "${command[@]}" "$@" && return 0
  echo "install: some requirement has no wheel for this interpreter; installing them one by one"
  for requirement in "$@"; do
    "${command[@]}" "$requirement" && continue
    [ "$requirement" != "$1" ] || return 1
    left_out+=("$requirement")
  done
  ((${#left_out[@]} < $#)) || return 1
  echo "install: left out, with no wheel of them (or of what they need) for this interpreter; the tests that need them skip: ${left_out[*]}"
}

# install_dev_packages PYTHON: requirements-dev.txt into the environment
# of PYTHON, once: what was installed, and what was left out, is written
# down in the environment beside the requirements it answered. Each listed
# package comes as a wheel where one exists (what they need may build from
# source: PyICU has no wheels at all). A listed package with no wheel for
# the interpreter (on a free-threaded CPython: Polars ships only abi3
# wheels, which it cannot load, DuckDB none; their source builds need a
# Rust toolchain from outside the registries, or most of an hour) is left
# out (install_or_leave_out): the tests that need it skip.
install_dev_packages() {
  local python=$1 done requirement requirements=() binary=()
  done="$("$python" -c 'import sys; print(sys.prefix)')/quarnel-dev-packages.txt"
  if [ -f "$done" ] && cmp -s <(sed -n '/^# requirements$/,$p' "$done" | tail -n +2) requirements-dev.txt; then
    return 0
  fi
  while read -r requirement; do
    [ -n "$requirement" ] && [ "${requirement:0:1}" != "#" ] || continue
    requirements+=("$requirement")
    [ "$(requirement_names "$requirement")" = PyICU ] || binary+=("$requirement")
  done <requirements-dev.txt
  echo "python: installing the development packages (requirements-dev.txt)"
  install_or_leave_out "$python" -m pip install -q --disable-pip-version-check --prefer-binary \
    "--only-binary=$(requirement_names "${binary[@]}")" -- "${requirements[@]}" || return 1
  {
    echo "# left out"
    [ ${#left_out[@]} -eq 0 ] || printf '%s\n' "${left_out[@]}"
    echo "# requirements"
    cat requirements-dev.txt
  } >"$done"
}

# Every CMake build of the scripts goes through ccache: the native core is
# the same for every interpreter's module and for the native tests, so it
# is compiled once.
use_ccache() {
  need_debian_packages ccache
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
}

# The X.Y of this Debian's own python3 (bookworm 3.11, trixie 3.13): the
# version whose arm64 build the multiarch archive serves.
debian_python_version() {
  dpkg-query -W -f='${Version}' python3 2>/dev/null | sed -n 's/^\([0-9]*\.[0-9]*\).*/\1/p'
}

# arm64_python DIR [X.Y]: Debian's arm64 CPython X.Y (default: this
# Debian's python3 version) to run under qemu-aarch64 user-mode emulation
# (binfmt_misc may not be there, so nothing relies on it): the interpreter
# unpacked from pythonX.Y-minimal:arm64 into DIR/cpython (its standard
# library is the multiarch libpythonX.Y-stdlib:arm64, arm64_cpython names
# the binary), NumPy's aarch64 wheel of the version .venv has (modules
# compile against its headers) and what the tests need but Dask in
# DIR/site (arm64_site), and DIR/bin/pythonX.Y (arm64_interpreter), a
# launcher that runs the interpreter through qemu with DIR/site on its path
# and without site.py (Debian's would add the host's x86-64 packages). The
# launcher is an ordinary program to the host, so CMake can run it like any
# interpreter. arm64_version is X.Y.
arm64_python() {
  local dir=$1
  arm64_version=${2:-$(debian_python_version)}
  local v=$arm64_version
  need_debian_packages qemu-user libc6:arm64 libstdc++6:arm64 "libpython$v-stdlib:arm64" "libpython$v-dev:arm64"
  mkdir -p "$dir/bin"
  local deb_version
  deb_version=$(dpkg-query -W -f='${Version}' "libpython$v-stdlib:arm64")
  arm64_cpython=$dir/cpython/usr/bin/python$v
  if [ ! -x "$arm64_cpython" ] || [ "$(cat "$dir/cpython/version" 2>/dev/null)" != "$v $deb_version" ]; then
    echo "aarch64: unpacking Debian's python$v-minimal:arm64 $deb_version"
    rm -rf "$dir/cpython" "$dir/deb"
    mkdir -p "$dir/deb"
    (cd "$dir/deb" && apt-get download -q "python$v-minimal:arm64=$deb_version" 2>&1 | grep -v "^W: Download is performed unsandboxed" || true)
    dpkg -x "$dir"/deb/python$v-minimal_*_arm64.deb "$dir/cpython"
    echo "$v $deb_version" >"$dir/cpython/version"
  fi
  local packages
  arm64_site=$dir/site
  packages="python$v numpy==$(.venv/bin/python -c "import numpy; print(numpy.__version__)") pytest regex tqdm"
  if [ "$(cat "$arm64_site/.packages" 2>/dev/null)" != "$packages" ]; then
    echo "aarch64: installing ${packages#* } for CPython $v on linux-aarch64"
    rm -rf "$arm64_site"
    arm64_pip_install --target "$arm64_site" ${packages#* }
    echo "$packages" >"$arm64_site/.packages"
  fi
  arm64_interpreter=$dir/bin/python$v
  cat >"$arm64_interpreter" <<EOS
#!/bin/sh
PYTHONHOME=/usr PYTHONPATH="$arm64_site\${PYTHONPATH:+:\$PYTHONPATH}" exec qemu-aarch64 -0 "\$0" "$arm64_cpython" -S "\$@"
EOS
  chmod +x "$arm64_interpreter"
}

# arm64_pip_install --target DIR PACKAGES...: .venv's pip installing the
# aarch64 wheels for CPython arm64_version (set by arm64_python) of the
# packages named into DIR: any manylinux tag from glibc 2.17 to 2.28 (pip
# takes the tags it is given literally). It downloads them first: when
# installing for another version, pip 23 judges each release's
# Requires-Python by the interpreter it runs on (NumPy 2.5, which needs
# 3.12, was turned away for 3.15), but when downloading by the version it
# is given.
arm64_pip_install() {
  local platforms=(--platform manylinux2014_aarch64) minor target=$2 wheels
  shift 2
  for minor in $(seq 17 28); do
    platforms+=(--platform "manylinux_2_${minor}_aarch64")
  done
  local pip=(.venv/bin/python -m pip) tags=(--only-binary=:all: --implementation cp
    --python-version "$arm64_version" "${platforms[@]}")
  wheels=$(mktemp -d)
  "${pip[@]}" download -q --disable-pip-version-check "${tags[@]}" -d "$wheels" "$@" &&
    "${pip[@]}" install -q --disable-pip-version-check "${tags[@]}" --no-index --no-deps \
      --ignore-requires-python --target "$target" "$wheels"/*.whl
  local status=$?
  rm -rf "$wheels"
  return $status
}

# arm64_pytest_args TESTS_DIR: sets arm64_pytest to the arguments that run
# the Python suite in TESTS_DIR under emulation. It leaves out
# test_hardening.py (huge inputs and stress loops: five minutes under
# emulation) unless QUARNEL_AARCH64_PYTEST=all, and always
# test_distributed.py (Dask's cluster processes take minutes to start under
# emulation; the module calls they make are the single-process examples',
# test_examples.py) and the test that forks a threaded process: qemu-user
# aborts with a TCG assertion (cpu == current_cpu) in the forked child of a
# multithreaded guest, which is qemu's fault, not ours.
arm64_pytest_args() {
  local tests=$1
  # (--deselect takes a test id, which is relative to the repository root)
  arm64_pytest=("$tests" --ignore="$tests/test_distributed.py"
    --deselect tests/python/test_regex_tokenizer.py::test_batches_work_in_forked_children)
  [ "${QUARNEL_AARCH64_PYTEST:-}" = all ] || arm64_pytest+=(--ignore="$tests/test_hardening.py")
  echo "aarch64: test_batches_work_in_forked_children deselected: qemu-user aborts in the forked child of a threaded program"
}

# The Debian registry the host's apt uses (deb822 or one-line sources),
# for debootstrap.
debian_mirror() {
  local mirror
  mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
  [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
  echo "${mirror:-http://deb.debian.org/debian}"
}

# in_chroot DIR COMMAND...: runs COMMAND as root in the Debian root file
# system DIR (made by debootstrap) with a clean environment plus the
# variables of chroot_env (NAME=VALUE...), starting in chroot_cwd. It runs
# in a private mount namespace: proc, a tmpfs on /dev/shm (POSIX semaphores
# for multiprocessing), a terminal file system of its own and the host
# directories of chroot_binds, each mounted at its own path inside, go away
# with the command, whatever happens.
chroot_env=()
chroot_binds=()
chroot_cwd=/
in_chroot() {
  local dir=$1
  shift
  unshare --mount --propagation private --fork bash -c '
    set -e
    root=$1 cwd=$2 binds=$3
    shift 3
    mount -t proc proc "$root/proc"
    mkdir -p "$root/dev/shm" && mount -t tmpfs shm "$root/dev/shm"
    mkdir -p "$root/dev/pts" && mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
    for ((i = 0; i < binds; i++)); do
      mkdir -p "$root$1" && mount --bind "$1" "$root$1"
      shift
    done
    exec chroot "$root" /usr/bin/env -i -C "$cwd" HOME=/root LANG=C.UTF-8 \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"' \
    _ "$dir" "$chroot_cwd" "${#chroot_binds[@]}" "${chroot_binds[@]}" "${chroot_env[@]}" "$@"
}
