#!/usr/bin/env bash
# Installs a release wheel on an older system and runs the Python suite
# there: a Debian 11 "bullseye" chroot (glibc 2.31, what Ubuntu 20.04 has
# too) made with debootstrap from the configured Debian registry, with a
# CPython 3.11 built inside it from Debian's python3.11 source package
# (bullseye itself ships 3.9).
#   bash scripts/bullseye_check.sh dist/quarnel-*-cp311-*manylinux_2_28_x86_64.whl
# The chroot with its CPython is kept under build/release/bullseye; the test
# dependencies are downloaded on the host as manylinux wheels and installed
# offline, so the chroot needs no network or certificates of its own.
# Needs root (debootstrap, chroot); scripts/release_manylinux.sh calls it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$PWD
wheel=$(realpath "$1")
rel=$root/build/release
chroot=$rel/bullseye
start=$SECONDS
step() { echo "bullseye: [$((SECONDS - start))s] $*"; }
case "$(basename "$wheel")" in
  *-cp311-cp311-*x86_64.whl) ;;
  *) echo "bullseye: expects an x86-64 cp311 wheel, got $(basename "$wheel")" >&2; exit 1 ;;
esac
if [ "$(id -u)" -ne 0 ]; then
  echo "bullseye: needs root (debootstrap and chroot)" >&2; exit 1
fi
need_debian_packages debootstrap

# (in_chroot, scripts/lib.sh: proc and /dev/shm in a private mount
# namespace, gone with the command whatever happens)
chroot_env=(PATH=/opt/python3.11/bin:/usr/sbin:/usr/bin:/sbin:/bin)

if [ ! -x "$chroot/opt/python3.11/bin/python3.11" ]; then
  if [ ! -f "$chroot/.debootstrap-done" ]; then
    mirror=$(debian_mirror)
    step "debootstrap bullseye from $mirror (a few minutes, once)"
    rm -rf "$chroot"
    debootstrap --variant=minbase \
      --include=gcc,make,libc6-dev,zlib1g-dev,libffi-dev,libbz2-dev,liblzma-dev,libssl-dev,xz-utils \
      bullseye "$chroot" "$mirror" >"$rel/debootstrap.log" 2>&1 || { tail -n 30 "$rel/debootstrap.log"; exit 1; }
    touch "$chroot/.debootstrap-done"
  fi
  # CPython 3.11 from Debian's source package (on the host: it has deb-src).
  # Upstream's tree as Debian ships it, without Debian's patches (they adapt
  # it to Debian's own layout).
  python_src=$rel/src/cpython-3.11
  if [ ! -x "$python_src/configure" ]; then
    step "apt-get source python3.11 (upstream tree, Debian's patches left out)"
    mkdir -p "$rel/src" && rm -rf "$python_src"
    # Newest first; a registry mirror can list a version whose files it
    # does not serve (yet).
    (cd "$rel/src" && rm -f python3.11_* &&
      for version in $(apt-cache showsrc python3.11 | sed -n 's/^Version: //p' | sort -rV); do
        apt-get source --download-only -qq "python3.11=$version" >>apt-source-python.log 2>&1 && break
      done &&
      dpkg-source -x --skip-patches python3.11_*.dsc "$python_src" >>apt-source-python.log 2>&1) ||
      { cat "$rel/src/apt-source-python.log"; exit 1; }
  fi
  step "building CPython $(cd "$rel/src" && ls python3.11_*.dsc | sed 's/^python3.11_//; s/.dsc$//') inside the chroot (several minutes, once)"
  rm -rf "$chroot/build/cpython" && mkdir -p "$chroot/build"
  cp -a "$python_src" "$chroot/build/cpython"
  in_chroot "$chroot" sh -c 'cd /build/cpython && ./configure --prefix=/opt/python3.11 --with-ensurepip=no >configure.log 2>&1 &&
    make -j2 >make.log 2>&1 && make altinstall >install.log 2>&1' ||
    { tail -n 40 "$chroot"/build/cpython/*.log; exit 1; }
  # What the tests need of the standard library (configure probes, for
  # one, sem_open on the /dev/shm mounted above).
  in_chroot "$chroot" python3.11 -c "import bz2, ctypes, lzma, zlib; from _multiprocessing import SemLock" || {
    grep -A3 "necessary bits\|Failed to build" "$chroot/build/cpython/make.log"
    rm -rf "$chroot/opt/python3.11"; exit 1; }
  rm -rf "$chroot/build/cpython"
fi
step "$(in_chroot "$chroot" python3.11 -c 'import platform, sys; print("CPython", sys.version.split()[0], "on glibc", platform.libc_ver()[1])')"

# The wheel's dependencies and the test extras, as wheels for this chroot.
wheels=$chroot/build/wheels
rm -rf "$wheels" && mkdir -p "$wheels"
cp "$wheel" "$wheels/"
"$root/.venv/bin/python" -m pip download -q --disable-pip-version-check -d "$wheels" \
  --only-binary :all: --python-version 3.11 --implementation cp --platform manylinux_2_31_x86_64 \
  --platform manylinux_2_28_x86_64 --platform manylinux2014_x86_64 --platform manylinux_2_17_x86_64 \
  "$wheel[test]" pip
# The test suite and what it reads, without anything built; the Unicode
# test data the tests compare with is the host's (bullseye's is older).
rm -rf "$chroot/build/quarnel" && mkdir -p "$chroot/build/quarnel"
cp -a pyproject.toml CHANGELOG.md tests examples scripts "$chroot/build/quarnel/"
mkdir -p "$chroot/usr/share/unicode"
cp -a /usr/share/unicode/. "$chroot/usr/share/unicode/"
rm -rf "$chroot/build/venv"
in_chroot "$chroot" python3.11 -m venv --without-pip /build/venv
pip_wheel=$(cd "$wheels" && ls pip-*.whl)
in_chroot "$chroot" /build/venv/bin/python "/build/wheels/$pip_wheel/pip" install -q --no-index \
  --find-links /build/wheels "/build/wheels/$(basename "$wheel")[test]"
step "$(basename "$wheel") installed; the Python suite:"
in_chroot "$chroot" sh -c 'cd /tmp && QUARNEL_TEST_INSTALLED=1 /build/venv/bin/python -m pytest -q -rs -p no:cacheprovider /build/quarnel/tests/python'
step "done"
