# The one place for compiler and linker flags.

# Warnings for everything we compile ourselves. Compile options are given for
# C++ only, here and below: the resource compiler is handed a target's options
# too, and windres knows none of them.
set(flashgate_warning_options
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
add_library(flashgate_warnings INTERFACE)
target_compile_options(flashgate_warnings INTERFACE
  "$<$<COMPILE_LANGUAGE:CXX>:${flashgate_warning_options}>")

if(WIN32)
  # Code for Windows: Unicode, Vista's API level, no exceptions or RTTI.
  # The prefix maps keep the source and build folders out of anything the
  # compiler records (__FILE__, debug information), so that where a build ran
  # does not change what it makes.
  set(flashgate_windows_options
    -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -ffunction-sections -fdata-sections
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
    -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
  add_library(flashgate_windows_code INTERFACE)
  target_compile_definitions(flashgate_windows_code INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600)
  target_compile_options(flashgate_windows_code INTERFACE
    "$<$<COMPILE_LANGUAGE:CXX>:${flashgate_windows_options}>")

  # Every Windows executable is linked statically, so that it imports only
  # DLLs that ship with Windows.
  add_library(flashgate_windows_static INTERFACE)
  target_link_options(flashgate_windows_static INTERFACE
    -static -static-libgcc -static-libstdc++)

  # The self-test kit's programs: static, stripped, and as reproducible as
  # the program, since they ship beside it.
  add_library(flashgate_windows_kit INTERFACE)
  target_link_libraries(flashgate_windows_kit INTERFACE flashgate_windows_static)
  target_link_options(flashgate_windows_kit INTERFACE -s -Wl,--gc-sections -Wl,--no-insert-timestamp)

  # The program itself: GUI subsystem, wWinMain, unused sections dropped,
  # symbols stripped. Loaded at a random address (with 64-bit entropy on x64),
  # data never executable, and no link time in the header, so that two builds
  # of one commit are byte for byte the same.
  add_library(flashgate_windows_program INTERFACE)
  target_link_libraries(flashgate_windows_program INTERFACE flashgate_windows_static)
  target_link_options(flashgate_windows_program INTERFACE
    -municode -mwindows -Wl,--gc-sections -s
    -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-insert-timestamp)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(flashgate_windows_program INTERFACE -Wl,--high-entropy-va)
  endif()
endif()
