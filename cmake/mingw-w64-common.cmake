# Shared by the two MinGW-w64 toolchain files; FLASHGATE_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${FLASHGATE_MINGW_TRIPLE})

# The posix thread model: GoogleTest in the Windows-side tests needs std::mutex.
# The program uses no threads and links statically, so it imports the same
# system DLLs with either model.
find_program(CMAKE_C_COMPILER ${FLASHGATE_MINGW_TRIPLE}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${FLASHGATE_MINGW_TRIPLE}-g++-posix)
find_program(CMAKE_RC_COMPILER ${FLASHGATE_MINGW_TRIPLE}-windres)
if(NOT CMAKE_CXX_COMPILER OR NOT CMAKE_RC_COMPILER)
  message(FATAL_ERROR "${FLASHGATE_MINGW_TRIPLE}-g++ or -windres not found: install mingw-w64 (scripts/test does this).")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${FLASHGATE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
