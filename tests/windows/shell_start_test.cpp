// The shell's start of a flash utility that requires elevation, through
// stand-ins where Wine does not do what Windows documents: Windows' shell
// reports a failed start in a message box of its own unless told not to,
// and may hand the start to another thread and return before it is made;
// the foreground is Windows' to give; and drive letters are a logon
// session's own. Wine's shell does neither of the first two, and Wine has
// one logon session.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "win/shell_start.h"

namespace flashgate::win {
namespace {

// Windows' foreground: this program may set it (its starter was the
// foreground process, as Explorer is for a double-click) or not.
struct Foreground {
    static inline bool mayBeSet = true;
    static inline HWND window = nullptr;
    static BOOL WINAPI SetForegroundWindow(HWND wanted) {
        if (!mayBeSet) {
            return FALSE;
        }
        window = wanted;
        return TRUE;
    }
};

// What the shell was asked, as the call saw it.
struct WindowsShell {
    static inline bool fails = false;
    static inline int errorBoxes = 0;
    static inline int unfinishedStarts = 0;
    static inline SHELLEXECUTEINFOW asked{};
    static inline std::wstring file, folder;
    // The request's window: a window of this process's, not shown, and
    // whether it was the foreground window when the shell was asked.
    static inline bool ownWindow = false, windowShown = true, toolWindow = false, inFront = false;

    static BOOL WINAPI ShellExecuteExW(SHELLEXECUTEINFOW* info) {
        asked = *info;
        file = info->lpFile;
        folder = info->lpDirectory != nullptr ? info->lpDirectory : L"(none)";
        DWORD owner = 0;
        GetWindowThreadProcessId(info->hwnd, &owner);
        ownWindow = IsWindow(info->hwnd) && owner == GetCurrentProcessId();
        windowShown = IsWindowVisible(info->hwnd) != FALSE;
        toolWindow = (GetWindowLongW(info->hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0;
        inFront = info->hwnd != nullptr && Foreground::window == info->hwnd;
        if (fails) {
            errorBoxes += (info->fMask & SEE_MASK_FLAG_NO_UI) ? 0 : 1;
            SetLastError(ERROR_CANCELLED);
            return FALSE;
        }
        unfinishedStarts += (info->fMask & SEE_MASK_NOASYNC) ? 0 : 1;
        return TRUE;
    }
};

// GetFinalPathNameByHandleW's answers for the paths a test names; any other
// path cannot be resolved.
struct FinalPaths {
    static inline std::map<std::wstring, std::wstring> known;
    static inline int asked = 0;
    static DWORD Of(const wchar_t* path, wchar_t* final, DWORD size) {
        ++asked;
        const auto found = known.find(path);
        if (found == known.end()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        if (found->second.size() >= size) {
            return static_cast<DWORD>(found->second.size() + 1);
        }
        found->second.copy(final, found->second.size());
        final[found->second.size()] = L'\0';
        return static_cast<DWORD>(found->second.size());
    }
};

const ShellFunctions kStandInShell{WindowsShell::ShellExecuteExW, Foreground::SetForegroundWindow, FinalPaths::Of};

std::wstring CurrentFolder() {
    wchar_t current[MAX_PATH] = L"";
    return std::wstring(current, GetCurrentDirectoryW(MAX_PATH, current));
}

// Exactly these flags: no zone check (a downloaded package's mark of the web
// would bring a security warning first, or with no UI a refusal), no message,
// finished before it returns; nothing that asks anything else. The start is
// made in this program's current folder, where process creation would have
// made it (the elevation service's own would be System32), and its request
// has a window of this program's, never shown and gone after the call.
// Windows brings its consent prompt forward for a request whose window is
// the foreground window: where this program may set the foreground, the
// request window has it when the shell is asked; where it may not (started
// by a tool in the background), Windows refuses and the request is made all
// the same.
TEST(ShellStart, AsksForTheFileShownNormallyHereFromAnUnseenWindowInFrontWherePossible) {
    const wchar_t path[] = L"C:\\BIOS\\WinPhlash.exe";
    FinalPaths::known = {{path, L"\\\\?\\C:\\BIOS\\WinPhlash.exe"}};
    for (const bool mayBeSet : {true, false}) {
        Foreground::mayBeSet = mayBeSet;
        Foreground::window = nullptr;
        EXPECT_EQ(StartThroughShell(path, SW_SHOWNORMAL, kStandInShell), S_OK);
        EXPECT_EQ(WindowsShell::file, path);
        EXPECT_EQ(WindowsShell::asked.nShow, SW_SHOWNORMAL);
        EXPECT_EQ(WindowsShell::unfinishedStarts, 0);
        EXPECT_EQ(WindowsShell::asked.fMask, static_cast<ULONG>(SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS));
        EXPECT_EQ(WindowsShell::folder, CurrentFolder());
        EXPECT_TRUE(WindowsShell::ownWindow);
        EXPECT_FALSE(WindowsShell::windowShown);
        EXPECT_TRUE(WindowsShell::toolWindow);  // shown by anyone, it would still get no taskbar button
        EXPECT_FALSE(IsWindow(WindowsShell::asked.hwnd));
        EXPECT_EQ(WindowsShell::inFront, mayBeSet) << "foreground may be set: " << mayBeSet;
    }
}

TEST(ShellStart, ADeclinedStartFailsWithoutAMessage) {
    WindowsShell::fails = true;
    EXPECT_EQ(StartThroughShell(L"C:\\BIOS\\WinPhlash.exe", SW_SHOWNORMAL, kStandInShell),
              HRESULT_FROM_WIN32(ERROR_CANCELLED));
    EXPECT_EQ(WindowsShell::errorBoxes, 0);
    WindowsShell::fails = false;
}

// Both the file and the folder are given as the elevated logon session
// reaches them: here the current folder and the file lie on a mapped drive.
TEST(ShellStart, TheElevatedStartGetsPathsEveryLogonSessionReaches) {
    const std::wstring current = CurrentFolder();
    ASSERT_EQ(current[1], L':') << "the suite runs in a folder on a drive letter";
    FinalPaths::known = {{L"Z:\\bios\\WinPhlash.exe", L"\\\\?\\UNC\\helpdesk\\packages\\bios\\WinPhlash.exe"},
                         {current, L"\\\\?\\UNC\\helpdesk\\home" + current.substr(2)}};
    EXPECT_EQ(StartThroughShell(L"Z:\\bios\\WinPhlash.exe", SW_SHOWNORMAL, kStandInShell), S_OK);
    EXPECT_EQ(WindowsShell::file, L"\\\\helpdesk\\packages\\bios\\WinPhlash.exe");
    EXPECT_EQ(WindowsShell::folder, L"\\\\helpdesk\\home" + current.substr(2));
}

// A drive letter only this logon session has gives way to what it stands
// for: a mapped drive to its share's UNC name, a `subst` to the folder it
// names. A local path stays as the user's program named it, whatever the
// case or short names Windows would resolve; a UNC path is not even looked
// up; a path Windows cannot resolve, or whose resolution does not fit, stays
// as it is.
TEST(ShellStart, OnlyADriveLetterOfThisLogonSessionIsResolved) {
    const std::wstring longShare = L"\\\\?\\UNC\\helpdesk\\" + std::wstring(MAX_PATH - 20, L's') + L"\\WinPhlash.exe";
    FinalPaths::known = {
        {L"C:\\BIOS\\WinPhlash.exe", L"\\\\?\\C:\\BIOS\\WinPhlash.exe"},
        {L"c:\\PROGRA~1\\BIOS\\WinPhlash.exe", L"\\\\?\\C:\\Program Files\\BIOS\\WinPhlash.exe"},
        {L"Z:\\WinPhlash.exe", L"\\\\?\\UNC\\helpdesk\\bios\\WinPhlash.exe"},
        {L"S:\\WinPhlash.exe", L"\\\\?\\D:\\packages\\bios\\WinPhlash.exe"},
        {L"W:\\WinPhlash.exe", L"\\\\?\\Volume{6c1f5f2a-0000-0000-0000-100000000000}\\WinPhlash.exe"},
        {L"Y:\\WinPhlash.exe", longShare},
    };
    const struct {
        const wchar_t* path;
        std::wstring reachable;
        int lookups;
    } cases[] = {
        {L"C:\\BIOS\\WinPhlash.exe", L"C:\\BIOS\\WinPhlash.exe", 1},
        {L"c:\\PROGRA~1\\BIOS\\WinPhlash.exe", L"c:\\PROGRA~1\\BIOS\\WinPhlash.exe", 1},
        {L"Z:\\WinPhlash.exe", L"\\\\helpdesk\\bios\\WinPhlash.exe", 1},
        {L"S:\\WinPhlash.exe", L"D:\\packages\\bios\\WinPhlash.exe", 1},
        {L"\\\\helpdesk\\bios\\WinPhlash.exe", L"\\\\helpdesk\\bios\\WinPhlash.exe", 0},
        {L"Q:\\WinPhlash.exe", L"Q:\\WinPhlash.exe", 1},  // cannot be resolved
        {L"W:\\WinPhlash.exe", L"W:\\WinPhlash.exe", 1},  // a volume with no letter
        {L"Y:\\WinPhlash.exe", L"Y:\\WinPhlash.exe", 1},  // a UNC name longer than MAX_PATH
    };
    for (const auto& example : cases) {
        FinalPaths::asked = 0;
        wchar_t reachable[MAX_PATH] = L"";
        EXPECT_TRUE(ForEveryLogonSession(example.path, reachable, FinalPaths::Of));
        EXPECT_EQ(reachable, example.reachable);
        EXPECT_EQ(FinalPaths::asked, example.lookups) << example.path;
    }
    wchar_t reachable[MAX_PATH] = L"";
    EXPECT_FALSE(ForEveryLogonSession((L"C:\\" + std::wstring(MAX_PATH, L'x')).c_str(), reachable, FinalPaths::Of));
}

// Windows' own resolution of a file on a local drive (this suite) names the
// drive it was found on, so that the path stays as it is.
TEST(ShellStart, ALocalFileIsResolvedToItsOwnDrive) {
    wchar_t self[MAX_PATH] = L"";
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    wchar_t final[MAX_PATH + 8] = L"";
    const DWORD length = FinalPathOf(path.c_str(), final, ARRAYSIZE(final));
    ASSERT_GT(length, 0U) << "error " << GetLastError();
    EXPECT_EQ(std::wstring(final, 4), L"\\\\?\\");
    EXPECT_EQ(final[4] | 0x20, path[0] | 0x20) << "resolved to another drive";
    wchar_t reachable[MAX_PATH] = L"";
    EXPECT_TRUE(ForEveryLogonSession(path.c_str(), reachable, FinalPathOf));
    EXPECT_EQ(reachable, path);
}

}  // namespace
}  // namespace flashgate::win
