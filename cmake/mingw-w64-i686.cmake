# Cross build for 32-bit Windows with Debian's MinGW-w64: the tool as it
# ships, one binary for 32-bit and 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KV_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
