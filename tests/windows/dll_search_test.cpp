// The DLL search restriction where Windows lacks SetDefaultDllDirectories
// (Vista, and 7 without KB2533623). Wine keeps the current folder in the
// search whatever SetDllDirectoryW is given, so Windows' documented rule
// stands in for it here. Where SetDefaultDllDirectories exists, the release
// tests show a DLL planted beside the program not loaded.
#include <gtest/gtest.h>

#include "win/dll_search.h"

namespace flashgate::win {
namespace {

// Windows' SetDllDirectoryW as documented, as far as the current folder goes:
// null restores the standard search, which has it; an empty string takes it
// out; a folder takes its place.
struct WindowsDllSearch {
    static inline bool searchesCurrentFolder = true;
    static BOOL WINAPI SetDllDirectoryW(LPCWSTR folder) {
        searchesCurrentFolder = folder == nullptr;
        return TRUE;
    }
};

TEST(DllSearch, WithoutSetDefaultDllDirectoriesTheCurrentFolderIsTakenOut) {
    RestrictDllSearchToSystem32(nullptr, WindowsDllSearch::SetDllDirectoryW);
    EXPECT_FALSE(WindowsDllSearch::searchesCurrentFolder);
}

}  // namespace
}  // namespace flashgate::win
