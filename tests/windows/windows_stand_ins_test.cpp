// Where Wine does not do what Windows documents, stand-ins that do take the
// place of Windows' own functions: the shell's start of a program, the DLL
// search where SetDefaultDllDirectories is missing (Vista, and 7 without
// KB2533623; where it exists, the release tests show a DLL planted beside the
// program not loaded), sessions, which Wine has none of, a start that asks
// for the program hidden, which Wine does not apply to a message box, and a
// program path longer than its buffer.
#include <gtest/gtest.h>

#include <string>

#include "selftest/handles.h"
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
    static inline std::wstring folder;  // the start's folder, as the call saw it
    // The request's window, as the call saw it: a window of this process's,
    // and not shown.
    static inline bool ownWindow = false, windowShown = true, toolWindow = false;

    static BOOL WINAPI ShellExecuteExW(SHELLEXECUTEINFOW* info) {
        asked = *info;
        folder = info->lpDirectory != nullptr ? info->lpDirectory : L"(none)";
        DWORD owner = 0;
        GetWindowThreadProcessId(info->hwnd, &owner);
        ownWindow = IsWindow(info->hwnd) && owner == GetCurrentProcessId();
        windowShown = IsWindowVisible(info->hwnd) != FALSE;
        toolWindow = (GetWindowLongW(info->hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0;
        if (fails) {
            errorBoxes += (info->fMask & SEE_MASK_FLAG_NO_UI) ? 0 : 1;
            SetLastError(ERROR_CANCELLED);
            return FALSE;
        }
        unfinishedStarts += (info->fMask & SEE_MASK_NOASYNC) ? 0 : 1;
        return TRUE;
    }
};

// Exactly these flags: no zone check (a downloaded package's mark of the web
// would bring a security warning first, or with no UI a refusal), no message,
// finished before it returns; nothing that asks anything else. The start is
// made in this program's current folder, where process creation would have
// made it (the elevation service's own would be System32), and its request
// has a window of this program's, never shown and gone after the call:
// without a valid one, Windows flashes the consent prompt in the taskbar.
TEST(ShellStart, AsksForTheFileShownNormallyHereWithAWindowOfItsOwnAndWithoutAZoneCheck) {
    wchar_t path[] = L"C:\\BIOS\\WinPhlash.exe";
    wchar_t current[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(StartThroughShell(path, SW_SHOWNORMAL, WindowsShell::ShellExecuteExW), S_OK);
    EXPECT_STREQ(WindowsShell::asked.lpFile, path);
    EXPECT_EQ(WindowsShell::asked.nShow, SW_SHOWNORMAL);
    EXPECT_EQ(WindowsShell::unfinishedStarts, 0);
    EXPECT_EQ(WindowsShell::asked.fMask, static_cast<ULONG>(SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS));
    EXPECT_EQ(WindowsShell::folder, current);
    EXPECT_TRUE(WindowsShell::ownWindow);
    EXPECT_FALSE(WindowsShell::windowShown);
    EXPECT_TRUE(WindowsShell::toolWindow);  // shown by anyone, it would still get no taskbar button
    EXPECT_FALSE(IsWindow(WindowsShell::asked.hwnd));
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

// What Windows reports of the station, the sessions and the program's start,
// as a test sets it.
struct WindowsSessions {
    enum Station { Visible, Invisible, Unknown };
    static inline Station station = Visible;
    static inline DWORD session = 1;  // kUnknown: ProcessIdToSessionId fails
    static inline DWORD console = 1;
    static constexpr DWORD kUnknown = 0xFFFFFFFE;
    static inline DWORD startFlags = 0;
    static inline WORD showState = SW_SHOWDEFAULT;

    static BOOL WINAPI GetUserObjectInformationW(HANDLE, int index, PVOID info, DWORD size, LPDWORD) {
        if (station == Unknown || index != UOI_FLAGS || size < sizeof(USEROBJECTFLAGS)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        *static_cast<USEROBJECTFLAGS*>(info) = {FALSE, FALSE, station == Visible ? DWORD{WSF_VISIBLE} : 0};
        return TRUE;
    }
    static BOOL WINAPI ProcessIdToSessionId(DWORD, DWORD* id) {
        if (session == kUnknown) {
            return FALSE;  // and writes nothing
        }
        *id = session;
        return TRUE;
    }
    static DWORD WINAPI WTSGetActiveConsoleSessionId() { return console; }
    static void WINAPI GetStartupInfoW(LPSTARTUPINFOW startup) {
        *startup = STARTUPINFOW{};
        startup->cb = sizeof *startup;
        startup->dwFlags = startFlags;
        startup->wShowWindow = showState;
    }
};

const SessionReport kStandInWindows{WindowsSessions::GetUserObjectInformationW, WindowsSessions::ProcessIdToSessionId,
                                    WindowsSessions::WTSGetActiveConsoleSessionId, WindowsSessions::GetStartupInfoW};

// A notice can be seen on a visible station (or one that cannot say), unless
// the program runs in session 0 and Windows names another session as the
// console's: there no one can reach session 0's desktop. No console session
// named (0xFFFFFFFF, a switch under way) leaves the station to decide, and a
// console in session 0 (XP, Windows PE) sees its notices.
TEST(NoticeSession, OnlyAVisibleStationOutsideAnUnreachableSessionZeroCanShowANotice) {
    for (const auto station : {WindowsSessions::Visible, WindowsSessions::Invisible, WindowsSessions::Unknown}) {
        for (const DWORD session : {DWORD{0}, DWORD{1}, DWORD{2}, WindowsSessions::kUnknown}) {
            for (const DWORD console : {DWORD{0}, DWORD{1}, DWORD{2}, DWORD{0xFFFFFFFF}}) {
                WindowsSessions::station = station;
                WindowsSessions::session = session;
                WindowsSessions::console = console;
                const bool unreachableSessionZero = session == 0 && console != 0 && console != 0xFFFFFFFF;
                EXPECT_EQ(NoticeCanBeSeen(kStandInWindows), station != WindowsSessions::Invisible && !unreachableSessionZero)
                    << "station " << station << ", session " << session << ", console " << console;
            }
        }
    }
}

// Windows shows a program's first top-level window in the show state its
// starter gave (STARTF_USESHOWWINDOW): a notice started hidden is one no one
// sees. SW_HIDE hides it, and so does a state beyond SW_MAX, which ShowWindow
// refuses; every other shows it, the minimised ones as a taskbar button,
// which the user can click. Without the flag the state is not used at all.
TEST(NoticeSession, OnlyAStartAskedForHiddenHidesTheNotice) {
    WindowsSessions::station = WindowsSessions::Visible;
    WindowsSessions::session = WindowsSessions::console = 1;
    for (const DWORD flags : {DWORD{0}, DWORD{STARTF_USESHOWWINDOW}, DWORD{STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES}}) {
        for (WORD show = 0; show <= 16; ++show) {
            WindowsSessions::startFlags = flags;
            WindowsSessions::showState = show;
            const bool hidden = (flags & STARTF_USESHOWWINDOW) != 0 && (show == SW_HIDE || show > SW_FORCEMINIMIZE);
            EXPECT_EQ(NoticeCanBeSeen(kStandInWindows), !hidden) << "flags " << flags << ", show state " << show;
        }
    }
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
