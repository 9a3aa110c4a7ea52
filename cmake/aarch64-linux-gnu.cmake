# Cross-compiling for 64-bit ARM Linux, by default with Debian's cross
# compiler (g++-aarch64-linux-gnu) against multiarch arm64 libraries
# (/usr/lib/aarch64-linux-gnu; the headers in /usr/include are shared).
# Programs run under qemu-aarch64 user-mode emulation, which uses the
# multiarch arm64 loader (libc6:arm64); scripts/cross_aarch64.sh drives it.
# The release script (scripts/release_manylinux.sh) names its own compilers
# (zig's, for glibc 2.28) and pkg-config directory instead.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
if(NOT CMAKE_C_COMPILER)
  set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
endif()
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
endif()
# The caller may give its own launcher (say, qemu-aarch64 with an
# environment for an arm64 Python that CMake runs to find NumPy).
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
endif()

# pkg-config reads the arm64 .pc files only (plus any directory the caller
# puts first in PKG_CONFIG_PATH), unless the caller sets PKG_CONFIG_LIBDIR.
if(NOT DEFINED ENV{PKG_CONFIG_LIBDIR})
  set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
endif()
