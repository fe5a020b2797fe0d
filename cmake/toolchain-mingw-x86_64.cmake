# Cross-compiles for 64-bit Windows (PE32+) with MinGW-w64.
set(FLASHGATE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
