# CPython versions this machine lacks, from Debian's binary packages
# (sourced after scripts/lib.sh). The stable releases serve the versions
# they ship, the development suite (sid) the newest ones; 3.12 is in none.
# A suite's chroot is made once with debootstrap --variant=minbase, with
# the module's build dependencies, ccache and every pythonX.Y (-dev, -venv)
# of python_versions that the suite serves, and kept in
# $QUARNEL_CACHE/debian/<suite>-<arch>, shared by every clone and run on the
# machine; it is never upgraded behind a run's back (remove it to take a
# newer suite). The versions of its interpreters and libraries are listed
# in <suite>-<arch>.packages beside it. Needs root (debootstrap, chroot).
#
#   debian_python_suite 3.14         prints sid (fails for a version no suite serves)
#   debian_chroot sid                makes or completes the chroot; sets `chroot`
#   chroot_network                   sets chroot_env for pip inside it
#   in_chroot "$chroot" COMMAND...   (scripts/lib.sh)
#   in_python_chroot 3.14 -- bash scripts/test_python.sh 3.14
#                                    a script of the clone in the chroot that serves 3.14
#   arm64_root_python DIR 3.14       Debian's arm64 CPython 3.14 to run under qemu-aarch64

debian_python_suite() {
  case $1 in
    3.11) echo bookworm ;;
    3.13) echo trixie ;;
    3.14 | 3.15) echo sid ;;
    *) return 1 ;;
  esac
}

# What every chroot has besides its interpreters: what scripts/setup.sh
# installs on the host for a build, ccache (the interpreters' builds share
# the native core's objects), and CMake and Ninja for the wheel builds'
# environments, which hold only the build requirements.
chroot_packages=(g++ pkg-config libonig-dev libicu-dev unicode-data ccache ca-certificates cmake ninja-build)

# debian_chroot SUITE: sets chroot to SUITE's directory, made with
# debootstrap when it is not there yet, and installs in it what it lacks
# (an interpreter added to python_versions since it was made). One run at a
# time makes or changes a chroot; the others wait for it.
debian_chroot() {
  local suite=$1 arch packages=() version
  arch=$(dpkg --print-architecture)
  chroot=$QUARNEL_CACHE/debian/$suite-$arch
  if [ "$(id -u)" -ne 0 ]; then
    echo "a Debian $suite chroot needs root (debootstrap and chroot)" >&2
    return 1
  fi
  packages=("${chroot_packages[@]}")
  for version in "${python_versions[@]}"; do
    [ "$(debian_python_suite "$version")" = "$suite" ] || continue
    packages+=("python$version-dev" "python$version-venv")
    # bookworm's python3.11-venv needs python3.11-distutils, a name only
    # python3-distutils provides; debootstrap does not follow such names.
    [ "$version" != 3.11 ] || packages+=(python3-distutils)
  done
  mkdir -p "$(dirname "$chroot")"
  (
    flock 9
    make_debian_chroot "$suite" "${packages[@]}"
  ) 9>"$chroot.lock" || return 1
  chroot_network
}

# make_debian_chroot SUITE PACKAGES...: the locked part of debian_chroot.
make_debian_chroot() {
  local suite=$1 start=$SECONDS mirror installed package missing=()
  shift
  if [ ! -f "$chroot/.made" ]; then
    need_debian_packages debootstrap || return 1
    mirror=$(debian_mirror)
    echo "debian: making the $suite chroot $chroot from $mirror with $* (a few minutes, once)"
    rm -rf --one-file-system "$chroot"
    if ! debootstrap --variant=minbase --include="$(IFS=,; echo "$*")" \
      "$suite" "$chroot" "$mirror" >"$chroot.log" 2>&1; then
      tail -n 30 "$chroot.log"
      echo "debootstrap $suite failed (log above, also in $chroot.log)" >&2
      return 1
    fi
    touch "$chroot/.made"
    echo "debian: $suite chroot made in $((SECONDS - start)) s ($(du -sh "$chroot" | cut -f1))"
  fi
  # (a copy replaces a symbolic link there, which would lead to the host's
  # own file)
  local bundle=${PIP_CERT:-/etc/ssl/certs/ca-certificates.crt}
  mkdir -p "$chroot/etc/quarnel"
  cmp -s /etc/resolv.conf "$chroot/etc/resolv.conf" ||
    cp -L --remove-destination /etc/resolv.conf "$chroot/etc/resolv.conf" 2>/dev/null || true
  [ ! -f "$bundle" ] || cmp -s "$bundle" "$chroot/etc/quarnel/host-ca-certificates.crt" ||
    cp -L --remove-destination "$bundle" "$chroot/etc/quarnel/host-ca-certificates.crt"
  installed=$(in_chroot "$chroot" dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' | awk '$2 == "ii" { print $1 }')
  for package in "$@"; do
    grep -qx "$package" <<<"$installed" || missing+=("$package")
  done
  if ((${#missing[@]})); then
    echo "debian: installing ${missing[*]} in the $suite chroot"
    # (The registry may serve a development suite's Release file past its
    # Valid-Until date, a frozen mirror for one, as debootstrap accepts it;
    # its signature and the packages' hashes are still checked.)
    in_chroot "$chroot" sh -c 'apt-get -o Acquire::Check-Valid-Until=false update -qq &&
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null' \
      _ "${missing[@]}" || return 1
  fi
  in_chroot "$chroot" dpkg-query -W -f='${Package} ${Version}\n' "$@" >"$chroot.packages"
}

# chroot_network: what pip inside the chroot needs to reach the package
# index the way the host does, in chroot_env: the certificates the host's
# pip trusts (copied in by make_debian_chroot, with the host's name
# servers) and the host's proxy settings.
chroot_network() {
  local name
  [ ! -f "$chroot/etc/quarnel/host-ca-certificates.crt" ] ||
    chroot_env+=(PIP_CERT=/etc/quarnel/host-ca-certificates.crt)
  for name in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
    [ -z "${!name:-}" ] || chroot_env+=("$name=${!name}")
  done
}

# in_python_chroot VERSION [DIR...] -- COMMAND...: runs COMMAND (a script of
# this clone, run from its root) in the chroot of the suite that serves
# CPython VERSION, with the clone and each DIR (where the files it is given
# lie) mounted at their own paths, QUARNEL_CHROOT=SUITE (how the script
# knows where it runs), CI and every QUARNEL_* variable passed on, and the
# network settings for pip, besides the caller's chroot_env. Returns
# COMMAND's status. When there is no such
# chroot it returns 1 with chroot_missing set to why: "unserved: ..." for
# a version no Debian suite serves, "failed: ..." for a chroot that could
# not be made.
chroot_missing=
in_python_chroot() {
  local version=$1 suite name
  local chroot_env=("${chroot_env[@]}") chroot_binds=("$PWD") chroot_cwd=$PWD
  shift
  while (($#)) && [ "$1" != -- ]; do
    chroot_binds+=("$1")
    shift
  done
  shift
  if ! suite=$(debian_python_suite "$version"); then
    chroot_missing="unserved: no CPython $version here and no Debian suite serves it: install it (pyenv install $version) or put python$version on PATH"
    return 1
  fi
  if ! debian_chroot "$suite"; then
    chroot_missing="failed: no CPython $version: the Debian $suite chroot that serves it could not be made (above)"
    return 1
  fi
  echo "python $version: Debian $suite's, in $chroot"
  chroot_env+=(QUARNEL_CHROOT="$suite" CI="${CI:-}")
  for name in ${!QUARNEL_*}; do
    [ "$name" = QUARNEL_CHROOT ] || chroot_env+=("$name=${!name}")
  done
  in_chroot "$chroot" "$@"
}

# debian_foreign_root SUITE ARCH PACKAGES...: sets foreign_root to a root
# file system of SUITE for another processor, ARCH, with PACKAGES and what
# they depend on, in $QUARNEL_CACHE/debian/<suite>-<arch>: made once (again
# when PACKAGES change) by debootstrap's first stage (--foreign), which
# downloads and unpacks without running any of ARCH's programs here. Its
# package versions are listed in <suite>-<arch>.packages beside it.
debian_foreign_root() {
  local suite=$1 arch=$2
  shift 2
  foreign_root=$QUARNEL_CACHE/debian/$suite-$arch
  mkdir -p "$(dirname "$foreign_root")"
  (
    flock 9
    make_foreign_root "$suite" "$arch" "$@"
  ) 9>"$foreign_root.lock"
}

# make_foreign_root SUITE ARCH PACKAGES...: the locked part of
# debian_foreign_root.
make_foreign_root() {
  local suite=$1 arch=$2 start=$SECONDS mirror deb
  shift 2
  [ "$(cat "$foreign_root/.made" 2>/dev/null)" = "$*" ] && return 0
  need_debian_packages debootstrap || return 1
  mirror=$(debian_mirror)
  echo "debian: unpacking an $arch root of $suite with $* into $foreign_root (a minute, once)"
  rm -rf --one-file-system "$foreign_root"
  if ! debootstrap --foreign --arch="$arch" --variant=minbase --include="$(IFS=,; echo "$*")" \
    "$suite" "$foreign_root" "$mirror" >"$foreign_root.log" 2>&1; then
    tail -n 30 "$foreign_root.log"
    echo "debootstrap --foreign $suite $arch failed (log above, also in $foreign_root.log)" >&2
    return 1
  fi
  # The first stage unpacks the essential packages only and leaves the
  # others downloaded for a second stage, which would run ARCH's programs:
  # unpack them all here (their maintainer scripts do not run; an
  # interpreter and its libraries need none).
  for deb in "$foreign_root"/var/cache/apt/archives/*.deb; do
    dpkg-deb -x "$deb" "$foreign_root"
    dpkg-deb -f "$deb" Package Version | paste -sd ' '
  done >"$foreign_root.packages"
  echo "$*" >"$foreign_root/.made"
  echo "debian: $suite $arch root unpacked in $((SECONDS - start)) s ($(du -sh "$foreign_root" | cut -f1))"
}

# arm64_root_python DIR X.Y: Debian's arm64 CPython X.Y, run under
# qemu-aarch64 user-mode emulation in an arm64 root of the suite that
# serves it (debian_foreign_root, with every pythonX.Y of python_versions
# that the suite serves, and its headers). Sets arm64_version,
# arm64_cpython (the binary), arm64_qemu (the emulator's command with the
# root), arm64_headers (CPython's headers with the arm64 pyconfig.h in
# place of Debian's multiarch dispatcher, which zig's compiler could not
# follow) and arm64_interpreter: the python of DIR/env-cpXY (arm64_venv)
# holding NumPy's aarch64 wheel (.venv's version when that serves X.Y),
# what the tests need but Dask, and pip and scikit-build-core, so that a
# build can run on it; an ordinary program to the host, which CMake can run.
arm64_root_python() {
  local dir=$1 version=$2 suite v packages=()
  suite=$(debian_python_suite "$version") || {
    echo "aarch64: no Debian suite serves CPython $version" >&2
    return 1
  }
  for v in "${python_versions[@]}"; do
    [ "$(debian_python_suite "$v")" = "$suite" ] && packages+=("python$v" "libpython$v-dev")
  done
  need_debian_packages qemu-user || return 1
  debian_foreign_root "$suite" arm64 "${packages[@]}" || return 1
  arm64_version=$version
  arm64_cpython=$foreign_root/usr/bin/python$version
  arm64_qemu=(qemu-aarch64 -L "$foreign_root")
  arm64_headers=$dir/include-cp${version/./}/python$version
  debian_python_headers "$foreign_root" "$version" aarch64-linux-gnu "$arm64_headers"
  local numpy=numpy
  [ "$(.venv/bin/python -c 'import sys; print("%d.%d" % sys.version_info[:2])')" != "$version" ] ||
    numpy="numpy==$(.venv/bin/python -c "import numpy; print(numpy.__version__)")"
  local wanted="$numpy pytest regex tqdm pip scikit-build-core>=0.10" env=$dir/env-cp${version/./}
  arm64_interpreter=$env/bin/python
  if [ "$(cat "$env/.packages" 2>/dev/null)" != "$wanted $arm64_cpython" ]; then
    echo "aarch64: an arm64 CPython $version environment $env with $wanted"
    arm64_venv "$env" &&
      arm64_pip_install --target "$env/lib/python$version/site-packages" $wanted || return 1
    echo "$wanted $arm64_cpython" >"$env/.packages"
  fi
  arm64_launcher "$env"
}

# arm64_venv DIR: a fresh virtual environment of the arm64 interpreter of
# arm64_root_python in DIR. Its bin/python is a launcher through qemu whose
# argv[0] is the environment's, so that sys.prefix is the environment and
# no PYTHONHOME or PYTHONPATH is needed, which the programs of this machine
# that it starts (CMake, for one) would inherit. The launcher keeps the
# bytecode it compiles (PYTHONDONTWRITEBYTECODE off): nothing in the root
# or the environment was compiled for this interpreter, and compiling under
# emulation is slow. QUARNEL_EMULATED tells the tests that everything runs
# many times slower.
arm64_venv() {
  local venv=$1
  rm -rf "$venv"
  "${arm64_qemu[@]}" "$arm64_cpython" -m venv --without-pip "$venv" || return 1
  rm -f "$venv"/bin/python*
  arm64_launcher "$venv"
}

# arm64_launcher VENV: (re)writes VENV/bin/python, arm64_venv's launcher.
arm64_launcher() {
  cat >"$1/bin/python" <<EOS
#!/bin/sh
PYTHONDONTWRITEBYTECODE= QUARNEL_EMULATED=qemu-aarch64 exec ${arm64_qemu[*]} -0 "\$0" "$arm64_cpython" "\$@"
EOS
  chmod +x "$1/bin/python"
}

# debian_python_headers ROOT X.Y TRIPLET DEST: CPython X.Y's headers of the
# Debian root file system ROOT, copied to DEST with TRIPLET's pyconfig.h in
# place of Debian's multiarch dispatcher, which a compiler with a system
# root of its own (zig's) cannot follow; copied again when ROOT's change.
debian_python_headers() {
  local root=$1 version=$2 triplet=$3 dest=$4
  cmp -s "$root/usr/include/python$version/patchlevel.h" "$dest/patchlevel.h" && return 0
  rm -rf "$dest" && mkdir -p "$(dirname "$dest")"
  cp -a "$root/usr/include/python$version" "$dest.tmp"
  cp "$root/usr/include/$triplet/python$version/pyconfig.h" "$dest.tmp/pyconfig.h"
  mv "$dest.tmp" "$dest"
}
