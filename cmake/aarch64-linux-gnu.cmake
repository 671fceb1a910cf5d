# Cross-compiling for 64-bit ARM Linux with Debian's cross compiler
# (g++-aarch64-linux-gnu) against Debian's arm64 packages unpacked into a
# folder (scripts/arm64-sysroot.sh prints it):
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DIMAGEBENCH_ARM64_SYSROOT=<folder> \
#         -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake ...
# The C library and libstdc++ come from the cross compiler's own folder
# (/usr/aarch64-linux-gnu); everything else from the unpacked packages.
# Programs run through qemu-aarch64 with the folder as its library prefix.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(ARM64_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ARM64_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ARM64_TRIPLET}-g++)

# try_compile runs in a project of its own: hand it the folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES IMAGEBENCH_ARM64_SYSROOT)
if(NOT IMAGEBENCH_ARM64_SYSROOT AND DEFINED ENV{IMAGEBENCH_ARM64_SYSROOT})
  set(IMAGEBENCH_ARM64_SYSROOT $ENV{IMAGEBENCH_ARM64_SYSROOT})
endif()
if(NOT IMAGEBENCH_ARM64_SYSROOT)
  message(FATAL_ERROR "IMAGEBENCH_ARM64_SYSROOT: the folder of arm64 packages (scripts/arm64-sysroot.sh)")
endif()
set(IMAGEBENCH_ARM64_SYSROOT ${IMAGEBENCH_ARM64_SYSROOT} CACHE PATH "Debian's arm64 packages, unpacked")

set(CMAKE_FIND_ROOT_PATH ${IMAGEBENCH_ARM64_SYSROOT} /usr/${ARM64_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The linker follows the shared libraries' own dependencies inside the folder.
set(_arm64_libs ${IMAGEBENCH_ARM64_SYSROOT}/lib/${ARM64_TRIPLET} ${IMAGEBENCH_ARM64_SYSROOT}/usr/lib/${ARM64_TRIPLET})
foreach(_dir IN LISTS _arm64_libs)
  string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_dir}")
  string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,-rpath-link,${_dir}")
endforeach()

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${IMAGEBENCH_ARM64_SYSROOT})
endif()
