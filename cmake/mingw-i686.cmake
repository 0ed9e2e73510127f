# 32-bit Windows (the programs' own target), built with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SKELVANE_MINGW_TRIPLET i686-w64-mingw32)
set(SKELVANE_WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
