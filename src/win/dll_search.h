// Keeps DLLs that lie beside the program or in the current folder from being
// loaded in place of the system's own.
#pragma once

#include <windows.h>

namespace flashgate::win {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCWSTR);

// Limits the search for DLLs loaded by name to System32. Call it first, before
// anything can load a DLL. The search for programs is not affected: process
// creation still finds the flash utility beside this program.
void RestrictDllSearchToSystem32();

// The same with the functions given (tests stand in for Windows' own): the
// SetDefaultDllDirectories is null where Windows lacks it (Vista, and 7
// without KB2533623), and then only the current folder is taken out.
void RestrictDllSearchToSystem32(SetDefaultDllDirectoriesFunction setDefaultDllDirectories,
                                 SetDllDirectoryFunction setDllDirectory = SetDllDirectoryW);

}  // namespace flashgate::win
