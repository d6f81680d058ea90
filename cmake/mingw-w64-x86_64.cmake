# Cross build for 64-bit Windows with Debian's MinGW-w64: the build the Wine
# test bench runs (its Wine runs 64-bit programs only; see the README).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KV_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
