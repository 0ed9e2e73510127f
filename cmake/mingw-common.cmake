# Shared part of the two Windows cross toolchains (Debian's mingw-w64, the
# POSIX-threads flavour). Included by mingw-i686.cmake and
# mingw-x86_64.cmake after they set SKELVANE_MINGW_TRIPLET and
# SKELVANE_WINE_BITS.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${SKELVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SKELVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SKELVANE_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SKELVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the programs need nothing beyond the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test executables run under Wine (scripts/wine-run.sh prepares the prefix).
get_filename_component(_skelvane_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${_skelvane_root}/scripts/wine-run.sh;${SKELVANE_WINE_BITS}")
