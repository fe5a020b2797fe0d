// The DLL search restriction, with a fallback for Windows without
// SetDefaultDllDirectories.
#include "win/dll_search.h"

#include "win/system_function.h"

namespace flashgate::win {

void RestrictDllSearchToSystem32() {
    // Looked up at run time: Vista, and 7 without KB2533623, lack it, and a
    // static import would keep the program from loading there.
    RestrictDllSearchToSystem32(SystemFunction<SetDefaultDllDirectoriesFunction>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"));
}

void RestrictDllSearchToSystem32(SetDefaultDllDirectoriesFunction setDefaultDllDirectories,
                                 SetDllDirectoryFunction setDllDirectory) {
    if (setDefaultDllDirectories != nullptr &&
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return;
    }
    // Takes the current folder out of the search; the program's own folder
    // stays in it, which nothing older than KB2533623 can change.
    setDllDirectory(L"");
}

}  // namespace flashgate::win
