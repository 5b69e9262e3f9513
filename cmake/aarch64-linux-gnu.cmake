# Cross-compiling for 64-bit Arm with Debian's cross toolchain (g++-aarch64-linux-gnu) and the
# multiarch :arm64 libraries; programs built for the target run under qemu-aarch64-static (the
# tests and gtest's test discovery). scripts/cross_check.sh uses it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# Headers and libraries of the target: the multiarch folders of the host's root, and the cross
# toolchain's own root.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} /)

# The programs run with the multiarch C library (libc6:arm64) and its own loader, which the
# emulator finds at /lib/ld-linux-aarch64.so.1. The cross toolchain's root has another build of
# the C library: its loader with the multiarch libc.so.6 disagree on their private data, and the
# first thread a program starts never runs.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64-static)
