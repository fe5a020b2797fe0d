// Where Wine does not do what Windows documents, stand-ins that do take the
// place of Windows' own functions: the DLL search where
// SetDefaultDllDirectories is missing (Vista, and 7 without KB2533623; where
// it exists, the release tests show a DLL planted beside the program not
// loaded), and a program path longer than its buffer.
#include <gtest/gtest.h>

#include <string>

#include "selftest/handles.h"
#include "win/dll_search.h"
#include "win/program_search.h"

namespace flashgate::win {
namespace {

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

// GetModuleFileNameW as Windows has it for a path of `ProgramPath::text`:
// cut to the buffer, with the whole buffer's size returned, where it is longer.
struct ProgramPath {
    static inline std::wstring text;
    static DWORD WINAPI GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size) {
        const DWORD length = static_cast<DWORD>(text.size()) < size ? static_cast<DWORD>(text.size()) : size - 1;
        text.copy(buffer, length);
        buffer[length] = L'\0';
        if (length < text.size()) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return size;
        }
        return length;
    }
};

// A program folder whose name does not fit is not searched in a shortened
// form, which could be another folder holding another WinPhlash.exe: the
// search fails. One that just fits is searched.
TEST(ProgramFolder, ANameCutShortFailsTheSearchAndOneThatJustFitsIsSearched) {
    wchar_t temp[MAX_PATH + 1] = L"";
    const std::wstring base = std::wstring(temp, GetTempPathW(ARRAYSIZE(temp), temp)) + L"flashgate-long-" +
                              std::to_wstring(GetCurrentProcessId());
    const std::wstring program = L"\\flashgate.exe", name = L"fg-probe.exe";  // searched for, never started
    // A folder whose name, with the program's, is MAX_PATH - 1 characters.
    const size_t folderLength = MAX_PATH - 1 - program.size();
    if (base.size() + 2 > folderLength) {
        GTEST_SKIP() << "the temporary folder's name is too long for a folder whose name just fits";
    }
    const std::wstring folder = base + L"\\" + std::wstring(folderLength - base.size() - 1, L'p');
    ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring file = folder + L"\\" + name;
    test::UniqueFile(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));

    wchar_t found[MAX_PATH] = L"";
    ProgramPath::text = folder + program;
    ASSERT_EQ(ProgramPath::text.size(), size_t{MAX_PATH - 1});
    EXPECT_EQ(FindProgramAsProcessCreationDoes(name.c_str(), found, ProgramPath::GetModuleFileNameW), S_OK);
    EXPECT_STREQ(found, file.c_str());

    // The same folder, as the cut-off start of a longer one's name.
    ProgramPath::text = folder + L"\\" + std::wstring(40, L'q') + program;
    found[0] = L'\0';
    EXPECT_TRUE(FAILED(FindProgramAsProcessCreationDoes(name.c_str(), found, ProgramPath::GetModuleFileNameW)));
    EXPECT_STREQ(found, L"");

    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(base.c_str());
}

}  // namespace
}  // namespace flashgate::win
