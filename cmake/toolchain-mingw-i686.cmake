# Cross-compiles for 32-bit Windows (PE32) with MinGW-w64.
set(FLASHGATE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
