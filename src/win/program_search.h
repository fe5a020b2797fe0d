// The search process creation makes for a program named without a folder,
// made again for the shell's start, which searches otherwise.
#pragma once

#include <windows.h>

namespace flashgate::win {

// The file CreateProcessW starts for a command line that names a program
// without a folder, searched for in the same folders in the same order: the
// running program's own folder, the current folder, the system folders, PATH.
// The program's own path comes from the function given (tests stand in for
// GetModuleFileNameW); a folder that cannot be named whole fails the search.
using GetModuleFileNameFunction = DWORD(WINAPI*)(HMODULE, LPWSTR, DWORD);
HRESULT FindProgramAsProcessCreationDoes(const wchar_t* fileName, wchar_t (&path)[MAX_PATH],
                                         GetModuleFileNameFunction getModuleFileName = GetModuleFileNameW);

}  // namespace flashgate::win
