# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain.
#
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
#
# Libraries come only from the prefixes that scripts/build-deps windows
# links into build-windows/deps, one a library, and from MinGW's own
# sysroot, never from the Linux system: a Linux libSDL2.so found by mistake
# would link nothing but fail late and confusingly.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix flavour: its libstdc++ has std::thread, std::mutex and friends
# (winpthreads underneath); the win32 flavour lacks them in GCC 12.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# ar, ranlib, objcopy and the rest are found from the compilers' prefix.

set(MUSICDISK_WINDOWS_DEPS "${CMAKE_BINARY_DIR}/deps" CACHE PATH
    "Folder holding the prefixes of the Windows builds of SDL2, libopenmpt and GoogleTest")
set(windows_deps_prefixes)
foreach(library sdl2 libopenmpt googletest)
  list(APPEND windows_deps_prefixes "${MUSICDISK_WINDOWS_DEPS}/${library}")
endforeach()
# try_compile projects read this file again with a binary dir of their own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MUSICDISK_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH ${windows_deps_prefixes} /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)   # build tools run on Linux
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees the prefixes' .pc files and nothing of the system's.
list(TRANSFORM windows_deps_prefixes APPEND /lib/pkgconfig OUTPUT_VARIABLE windows_pkgconfig)
string(REPLACE ";" ":" windows_pkgconfig "${windows_pkgconfig}")
set(ENV{PKG_CONFIG_LIBDIR} "${windows_pkgconfig}")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Executables carry libstdc++, libgcc and winpthread inside, so they need
# only the DLLs every Windows has (plus opengl32/glu32).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine, in a prefix kept inside the build folder.
find_program(MUSICDISK_WINE wine)
if(MUSICDISK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run;${CMAKE_BINARY_DIR}/wineprefix")
endif()
