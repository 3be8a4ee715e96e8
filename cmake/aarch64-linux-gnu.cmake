# Cross-build for ARM64 Linux with Debian's g++-aarch64-linux-gnu, tested under qemu-aarch64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The tests run under user-mode qemu, which finds the ARM64 C and C++ libraries under -L.
find_program(VELTRIM_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static NO_CMAKE_FIND_ROOT_PATH)
if(VELTRIM_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELTRIM_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
endif()
