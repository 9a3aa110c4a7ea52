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

debian_python_suite() {
  case $1 in
    3.11) echo bookworm ;;
    3.13) echo trixie ;;
    3.14 | 3.15) echo sid ;;
    *) return 1 ;;
  esac
}

# What every chroot has besides its interpreters: what scripts/setup.sh
# installs on the host for a build, and ccache (the interpreters' builds
# share the native core's objects).
chroot_packages=(g++ pkg-config libonig-dev libicu-dev unicode-data ccache ca-certificates)

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
    [ "$(debian_python_suite "$version")" = "$suite" ] && packages+=("python$version-dev" "python$version-venv")
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
# network settings for pip. Returns COMMAND's status. When there is no such
# chroot it returns 1 with chroot_missing set to why: "unserved: ..." for
# a version no Debian suite serves, "failed: ..." for a chroot that could
# not be made.
chroot_missing=
in_python_chroot() {
  local version=$1 suite name
  shift
  chroot_binds=("$PWD")
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
  chroot_cwd=$PWD
  chroot_env+=(QUARNEL_CHROOT="$suite" CI="${CI:-}")
  for name in ${!QUARNEL_*}; do
    [ "$name" = QUARNEL_CHROOT ] || chroot_env+=("$name=${!name}")
  done
  in_chroot "$chroot" "$@"
}
