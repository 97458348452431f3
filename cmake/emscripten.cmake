# Builds for the browser with Debian's emscripten.
#
#   cmake --preset web      (after scripts/build-deps web)
#
# Libraries come only from build-web/deps, which scripts/build-deps web
# points at its cached builds of SDL2, libopenmpt and GoogleTest.

# Test programs run under node, whose own fetch (node 18 on) would take
# the program's wasm file for a URL.
set(CMAKE_CROSSCOMPILING_EMULATOR "node;--no-experimental-fetch" CACHE FILEPATH "runs the test programs")
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

set(MUSICDISK_WEB_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-web/deps" CACHE PATH
    "Folder of the web builds of sdl2, libopenmpt and googletest")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MUSICDISK_WEB_DEPS)
# Our SDL2, not the package file of emscripten's port, which would be
# downloaded.
set(SDL2_DIR "${MUSICDISK_WEB_DEPS}/sdl2/lib/cmake/SDL2" CACHE PATH "SDL2's package file")
list(APPEND CMAKE_FIND_ROOT_PATH
     "${MUSICDISK_WEB_DEPS}/sdl2" "${MUSICDISK_WEB_DEPS}/libopenmpt" "${MUSICDISK_WEB_DEPS}/googletest")
set(ENV{PKG_CONFIG_LIBDIR} "${MUSICDISK_WEB_DEPS}/libopenmpt/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# emcc runs parts of itself under node, which finds their modules only in
# Debian's folder when node is not Debian's own.
foreach(lang C CXX)
  set(CMAKE_${lang}_COMPILER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
  set(CMAKE_${lang}_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
endforeach()
