// Where Wine does not do what Windows documents, stand-ins that do take the
// place of Windows' own functions: the shell's start of a program, and the
// DLL search where SetDefaultDllDirectories is missing (Vista, and 7 without
// KB2533623). Where it exists, the release tests show a DLL planted beside
// the program not loaded.
#include <gtest/gtest.h>

#include "win/dll_search.h"
#include "win/windows_gate.h"

namespace flashgate::win {
namespace {

// Windows' shell reports a failed start in a message box of its own unless
// told not to, and may hand the start to another thread and return before it
// is made, which a program that ends right after would cut short. Wine's does
// neither.
struct WindowsShell {
    static inline bool fails = false;
    static inline int errorBoxes = 0;
    static inline int unfinishedStarts = 0;
    static inline SHELLEXECUTEINFOW asked{};

    static BOOL WINAPI ShellExecuteExW(SHELLEXECUTEINFOW* info) {
        asked = *info;
        if (fails) {
            errorBoxes += (info->fMask & SEE_MASK_FLAG_NO_UI) ? 0 : 1;
            SetLastError(ERROR_CANCELLED);
            return FALSE;
        }
        unfinishedStarts += (info->fMask & SEE_MASK_NOASYNC) ? 0 : 1;
        return TRUE;
    }
};

TEST(ShellStart, AsksForTheFileShownNormallyAndFinishedBeforeItReturns) {
    wchar_t path[] = L"C:\\BIOS\\WinPhlash.exe";
    EXPECT_EQ(StartThroughShell(path, SW_SHOWNORMAL, WindowsShell::ShellExecuteExW), S_OK);
    EXPECT_STREQ(WindowsShell::asked.lpFile, path);
    EXPECT_EQ(WindowsShell::asked.nShow, SW_SHOWNORMAL);
    EXPECT_EQ(WindowsShell::unfinishedStarts, 0);
}

TEST(ShellStart, ADeclinedStartFailsWithoutAMessage) {
    WindowsShell::fails = true;
    EXPECT_EQ(StartThroughShell(L"C:\\BIOS\\WinPhlash.exe", SW_SHOWNORMAL, WindowsShell::ShellExecuteExW),
              HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_EQ(WindowsShell::errorBoxes, 0);
    WindowsShell::fails = false;
}

// Windows' SetDllDirectoryW as documented, as far as the current folder goes:
// null restores the standard search, which has it; an empty string takes it
// out; a folder takes its place. Wine's keeps it in the search whatever it is
// given.
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
