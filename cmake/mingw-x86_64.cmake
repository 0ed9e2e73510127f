# 64-bit Windows, built with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SKELVANE_MINGW_TRIPLET x86_64-w64-mingw32)
set(SKELVANE_WINE_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
