// The shell's start: the request's window and the foreground, and the paths
// the elevated logon session is given.
#include "win/shell_start.h"

#include "win/last_error.h"
#include "win/system_function.h"

namespace flashgate::win {
namespace {

// A window of the program's own for one request, never shown: no taskbar
// button, nothing a user sees. Gone when the holder goes.
class RequestWindow {
public:
    RequestWindow()
        : window_(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  nullptr, nullptr)) {}
    ~RequestWindow() {
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
    }
    RequestWindow(const RequestWindow&) = delete;
    RequestWindow& operator=(const RequestWindow&) = delete;

    HWND get() const { return window_; }

private:
    HWND window_;
};

// "X:\..." (either case).
bool OnDriveLetter(const wchar_t* path) {
    const wchar_t letter = static_cast<wchar_t>(path[0] | 0x20);
    return letter >= L'a' && letter <= L'z' && path[1] == L':' && path[2] == L'\\';
}

bool Begins(const wchar_t* text, const wchar_t* start) {
    const int length = lstrlenW(start);
    return CompareStringOrdinal(text, lstrlenW(text) < length ? -1 : length, start, length, TRUE) == CSTR_EQUAL;
}

// `first` then `second` into `out`, where they fit.
bool Join(const wchar_t* first, const wchar_t* second, wchar_t (&out)[MAX_PATH]) {
    if (lstrlenW(first) + lstrlenW(second) >= MAX_PATH) {
        return false;
    }
    lstrcpyW(out, first);
    lstrcatW(out, second);
    return true;
}

// shell32 is loaded on this path only, and from System32 by its full name;
// it stays loaded until the program ends a moment later.
BOOL WINAPI ShellExecuteExFromSystem32(SHELLEXECUTEINFOW* info) {
    wchar_t shell32[MAX_PATH];
    const UINT folder = GetSystemDirectoryW(shell32, MAX_PATH);
    if (folder == 0 || folder + sizeof "\\shell32.dll" > MAX_PATH) {
        return FALSE;
    }
    lstrcatW(shell32, L"\\shell32.dll");
    using ShellExecuteExFunction = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
    const auto shellExecuteEx = SystemFunction<ShellExecuteExFunction>(LoadLibraryW(shell32), "ShellExecuteExW");
    return shellExecuteEx != nullptr && shellExecuteEx(info);
}

}  // namespace

const ShellFunctions kWindowsShell{ShellExecuteExFromSystem32, SetForegroundWindow, FinalPathOf};

DWORD FinalPathOf(const wchar_t* path, wchar_t* final, DWORD size) {
    // Its attributes only, shared with every other use; a folder too.
    const HANDLE file = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    // The name it was opened by, not the normalized one: a share cannot be
    // asked for normalized names, and Windows would then ask each folder of
    // the path in turn, failing at any the user may not read.
    const DWORD length = GetFinalPathNameByHandleW(file, final, size, FILE_NAME_OPENED | VOLUME_NAME_DOS);
    CloseHandle(file);
    return length;
}

bool ForEveryLogonSession(const wchar_t* path, wchar_t (&reachable)[MAX_PATH], FinalPathFunction finalPathOf) {
    if (!Join(path, L"", reachable)) {
        return false;
    }
    // Under User Account Control the elevated token is a logon session of
    // its own, without the drive letters the user's mapped or `subst`ed in
    // this one; a UNC path, or a letter of a volume, every session has.
    if (!OnDriveLetter(path)) {
        return true;
    }
    wchar_t final[MAX_PATH + 8];  // with the "\\?\UNC\" Windows puts before it
    const DWORD length = finalPathOf(path, final, ARRAYSIZE(final));
    if (length == 0 || length >= ARRAYSIZE(final)) {
        return true;
    }
    if (Begins(final, L"\\\\?\\UNC\\")) {
        // "\\?\UNC\server\share\..." is "\\server\share\...".
        Join(L"\\", final + 7, reachable);
    } else if (Begins(final, L"\\\\?\\") && OnDriveLetter(final + 4) && (final[4] | 0x20) != (path[0] | 0x20)) {
        // A letter of its own volume stays; one that stands for a folder of
        // another drive (`subst`) gives way to that drive's.
        Join(final + 4, L"", reachable);
    }
    return true;
}

HRESULT StartThroughShell(const wchar_t* path, int showState, const ShellFunctions& shell) {
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof start;
    // NOASYNC: the program ends right after this call, so the shell must have
    // finished before it returns. FLAG_NO_UI: a failure shows no message.
    // NOZONECHECKS: a package unpacked from a download carries the mark of the
    // web, on which the shell would first ask "Open File - Security Warning"
    // (or, with FLAG_NO_UI, refuse); process creation, which this start stands
    // in for, makes no zone check, and the user is to see only the consent prompt.
    start.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
    wchar_t file[MAX_PATH];
    if (!ForEveryLogonSession(path, file, shell.finalPathOf)) {
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    }
    start.lpFile = file;
    start.nShow = showState;
    // Windows' elevation service makes the process, not this one: named
    // here, the current folder is the one process creation would have given
    // it (a flash utility may look there for its image). Its environment is
    // the user's own; the shell's start has none to give.
    wchar_t current[MAX_PATH], folder[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    start.lpDirectory =
        length > 0 && length < MAX_PATH && ForEveryLogonSession(current, folder, shell.finalPathOf) ? folder : nullptr;
    // Windows shows its consent prompt in front only for a request whose
    // window is the foreground window; asked from the background, the prompt
    // waits as a flashing taskbar button. Where this program may set the
    // foreground (its starter was the foreground process, as Explorer is for
    // a double-click), its request window takes it; where it may not (a
    // deployment tool in the background while the user works elsewhere),
    // Windows refuses and nothing changes. The window is never shown and has
    // no taskbar button, and goes when the call returns.
    const RequestWindow owner;
    start.hwnd = owner.get();
    if (owner.get() != nullptr) {
        shell.setForegroundWindow(owner.get());
    }
    return shell.shellExecuteEx(&start) ? S_OK : LastError();
}

}  // namespace flashgate::win
