# The one place for compiler and linker flags.

# Warnings for everything we compile ourselves.
add_library(flashgate_warnings INTERFACE)
target_compile_options(flashgate_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)

if(WIN32)
  # Code for Windows: Unicode, Vista's API level, no exceptions or RTTI.
  add_library(flashgate_windows_code INTERFACE)
  target_compile_definitions(flashgate_windows_code INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600)
  target_compile_options(flashgate_windows_code INTERFACE
    -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -ffunction-sections -fdata-sections)

  # Every Windows executable is linked statically, so that it imports only
  # DLLs that ship with Windows.
  add_library(flashgate_windows_static INTERFACE)
  target_link_options(flashgate_windows_static INTERFACE
    -static -static-libgcc -static-libstdc++)

  # The program itself: GUI subsystem, wWinMain, unused sections dropped,
  # symbols stripped.
  add_library(flashgate_windows_program INTERFACE)
  target_link_libraries(flashgate_windows_program INTERFACE flashgate_windows_static)
  target_link_options(flashgate_windows_program INTERFACE
    -municode -mwindows -Wl,--gc-sections -s)
endif()
