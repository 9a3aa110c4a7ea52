#!/usr/bin/env bash
# Makes a free-threaded CPython (built with --disable-gil) from Debian's
# source package of that version, and prints the interpreter's path on its
# last line:
#   bash scripts/free_threaded_python.sh 3.13t           # plain build (gcc)
#   bash scripts/free_threaded_python.sh 3.13t --tsan    # ThreadSanitizer build (clang)
# Upstream's tree as Debian ships it, Debian's patches left out (they adapt
# it to Debian's own layout), configured without PGO or LTO so that a fresh
# machine makes it within minutes. The source comes through an apt
# configuration of our own under $QUARNEL_CACHE (deb-src entries for the
# Debian releases that serve it: the host's sources are left alone), and
# the interpreter is installed into $QUARNEL_CACHE/cpython-<Debian source
# version>-ft[-tsan], made once and reused; a newer source version, once
# served, gives a new build beside it. Build output goes to a log there; a
# failure shows its end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
version=${1:?usage: free_threaded_python.sh X.Yt [--tsan]}
version=${version%t}
variant=ft
[ "${2:-}" = --tsan ] && variant=ft-tsan
package=python$version
start=$SECONDS
step() { echo "free-threaded python $version${variant#ft}: [$((SECONDS - start))s] $*" >&2; }
# One make of a variant at a time: a second caller (a stage, while the test
# command makes it in the background) waits for the first, then finds it made.
mkdir -p "$QUARNEL_CACHE"
exec 9>"$QUARNEL_CACHE/cpython-$version-$variant.lock"
if ! flock -n 9; then
  step "waiting for the make of it that is under way"
  flock 9
fi

# Building CPython (what pip, venv and the tests need of its standard
# library: ssl, zlib, ctypes, bz2, lzma, sqlite3, uuid), unpacking its source.
packages=(gcc make dpkg-dev xz-utils pkg-config libssl-dev zlib1g-dev libffi-dev libbz2-dev liblzma-dev
  libsqlite3-dev uuid-dev libreadline-dev libncurses-dev libgdbm-dev)
[ "$variant" = ft-tsan ] && packages+=(clang)
need_debian_packages "${packages[@]}"
if [ "$variant" = ft-tsan ]; then
  # The sanitizer's runtime of the default clang (Debian 12: clang 14).
  clang_major=$(clang -dumpversion | cut -d. -f1)
  need_debian_packages "libclang-rt-$clang_major-dev"
fi

# A private apt configuration that knows only deb-src entries: its lists
# and caches live under the cache, refreshed once a day.
apt_dir=$QUARNEL_CACHE/apt-src
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
cat >"$apt_dir/sources.list" <<'EOS'
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian trixie main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian trixie-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security trixie-security main
EOS
apt_src=(apt-get -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts"
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o Debug::NoLocking=1)
apt_cache=(apt-cache -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts"
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache")
if [ -z "$(find "$apt_dir/lists" -maxdepth 1 -name '*Sources*' -mmin -1440 2>/dev/null | head -n 1)" ]; then
  step "updating the source package lists"
  "${apt_src[@]}" update -qq >"$apt_dir/update.log" 2>&1 || { cat "$apt_dir/update.log"; exit 1; }
fi
# Newest first; a mirror can list a version whose files it does not serve (yet).
mapfile -t source_versions < <("${apt_cache[@]}" showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' | sort -ruV)
if ((${#source_versions[@]} == 0)); then
  echo "free-threaded python $version: Debian serves no source package $package" >&2
  exit 1
fi

for source_version in "${source_versions[@]}"; do
  prefix=$QUARNEL_CACHE/cpython-$source_version-$variant
  python=$prefix/bin/python${version}t
  if [ -x "$python" ] && [ -f "$prefix/.complete" ]; then
    step "$("$python" -VV | head -n 1) (cached)"
    echo "$python"
    exit 0
  fi
  src=$QUARNEL_CACHE/src/$package-$source_version
  if [ ! -x "$src/configure" ]; then
    step "apt-get source $package=$source_version (upstream tree, Debian's patches left out)"
    download=$QUARNEL_CACHE/src/download-$source_version
    rm -rf "$download" "$src" && mkdir -p "$download"
    if ! (cd "$download" && "${apt_src[@]}" source --download-only -qq "$package=$source_version" >apt.log 2>&1); then
      step "not served: $(tail -n 1 "$download/apt.log")"
      continue
    fi
    dpkg-source -x --skip-patches "$download"/*.dsc "$src" >"$download/dpkg-source.log" 2>&1 ||
      { cat "$download/dpkg-source.log"; exit 1; }
    rm -rf "$download"
  fi
  break
done
[ -x "$src/configure" ] || { echo "free-threaded python $version: no source of $package could be fetched" >&2; exit 1; }

build=$QUARNEL_CACHE/build/cpython-$source_version-$variant
rm -rf "$build" "$prefix" && mkdir -p "$build"
configure=(--prefix="$prefix" --disable-gil --with-ensurepip=no --disable-test-modules)
compilers=()
if [ "$variant" = ft-tsan ]; then
  configure+=(--with-thread-sanitizer)
  compilers=(CC=clang CXX=clang++)
fi
step "configure ${configure[*]} ${compilers[*]}"
(cd "$build" && env "${compilers[@]}" "$src/configure" "${configure[@]}" >configure.log 2>&1) ||
  { tail -n 40 "$build/configure.log"; exit 1; }
step "make -j$(nproc) (several minutes, once)"
(cd "$build" && nice -n 10 make -j"$(nproc)" >make.log 2>&1 && make altinstall >install.log 2>&1) ||
  { tail -n 60 "$build"/make.log "$build"/install.log 2>/dev/null; exit 1; }
# What the tests need of the standard library must have been built.
"$python" -c "import bz2, ctypes, lzma, ssl, sqlite3, zlib, sys; assert not sys._is_gil_enabled()" || {
  grep -A4 "necessary bits\|Failed to build\|could not build" "$build/make.log"
  exit 1
}
# pip comes from the source's own bundled wheel (venv's ensurepip needs it).
"$python" -m ensurepip --default-pip >"$build/ensurepip.log" 2>&1 || { cat "$build/ensurepip.log"; exit 1; }
# The interpreter's own known races, for ThreadSanitizer runs on it.
[ "$variant" = ft-tsan ] && cp "$src/Tools/tsan/suppressions_free_threading.txt" "$prefix/share/tsan-suppressions.txt"
touch "$prefix/.complete"
rm -rf "$build"
step "built $("$python" -VV | head -n 1)"
echo "$python"
