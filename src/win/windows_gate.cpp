// MessageBoxW, CreateProcessW and the shell's start, as thin as the gate needs them.
#include "win/windows_gate.h"

#include "win/system_function.h"

namespace flashgate::win {
namespace {

const wchar_t* AsWide(const char16_t* text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
    return reinterpret_cast<const wchar_t*>(text);
}

HRESULT LastError() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// The folders process creation searches, in its order, as one list for
// SearchPathW. Any folder that cannot be named makes the list unusable: a
// search without it could find another file than process creation did.
class SearchList {
public:
    // A folder name of `length` characters; 0 is a failed lookup.
    void Add(const wchar_t* folder, DWORD length) {
        if (length == 0 || length >= MAX_PATH || used_ + length + 2 > kCapacity) {
            complete_ = false;
            return;
        }
        CopyMemory(list_ + used_, folder, length * sizeof(wchar_t));
        used_ += length;
        list_[used_++] = L';';
        list_[used_] = L'\0';
    }

    // PATH last; a program without one searches only the folders before it.
    void AddPath() {
        if (GetEnvironmentVariableW(L"PATH", list_ + used_, kCapacity - used_) >= kCapacity - used_) {
            complete_ = false;
        }
    }

    const wchar_t* get() const { return complete_ ? list_ : nullptr; }

private:
    // Five folders and PATH, which Windows caps at 32,767 characters; the
    // stack has room for it.
    static constexpr DWORD kCapacity = 32767 + 5 * MAX_PATH;
    wchar_t list_[kCapacity];  // text up to used_, written by Add
    DWORD used_ = 0;
    bool complete_ = true;
};

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

}  // namespace

bool StartedHidden(const STARTUPINFOW& startup) {
    // SW_HIDE is the one documented show state that shows nothing. A value
    // beyond SW_MAX is none at all: ShowWindow refuses it
    // (ERROR_INVALID_SHOWWIN_COMMAND) and the window is never shown. Every
    // other state shows it, the minimised ones as a taskbar button.
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 &&
           (startup.wShowWindow == SW_HIDE || startup.wShowWindow > SW_MAX);
}

// Deployment tools may run the program as a service, in session 0, on a
// window station no one can see; a message box there would hold the program,
// and the deployment with it, for ever.
bool NoticeCanBeSeen(const SessionReport& windows) {
    // A starter that asks for the program hidden (a script's Run with 0, a
    // deployment tool's hidden option) hides its notice with it: one that no
    // one sees, and that holds the program just the same.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    windows.getStartupInfo(&startup);
    if (StartedHidden(startup)) {
        return false;
    }
    USEROBJECTFLAGS flags{};
    if (windows.getUserObjectInformation(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
        (flags.dwFlags & WSF_VISIBLE) == 0) {
        return false;
    }
    // Session 0 holds services and no user since Vista: an interactive
    // service, or a tool that starts programs on session 0's own
    // WinSta0\Default, runs on a station that calls itself visible, but no one
    // can switch to its desktop. Where the console is session 0 itself (XP,
    // Windows PE), notices there are seen; where Windows names no console
    // session (0xFFFFFFFF, while one is being switched), the station decides.
    DWORD session = 0;
    if (!windows.processIdToSessionId(GetCurrentProcessId(), &session) || session != 0) {
        return true;
    }
    const DWORD console = windows.activeConsoleSessionId();
    return console == 0 || console == 0xFFFFFFFF;
}

bool NoticeCanBeSeen() {
    return NoticeCanBeSeen(
        {GetUserObjectInformationW, ProcessIdToSessionId, WTSGetActiveConsoleSessionId, GetStartupInfoW});
}

HRESULT WindowsGate::ShowNotice(const Notice& notice) {
    if (!NoticeCanBeSeen()) {
        return HRESULT_FROM_WIN32(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
    }
    return MessageBoxW(nullptr, AsWide(notice.text), AsWide(notice.title), notice.style) != 0
               ? S_OK
               : LastError();
}

HRESULT WindowsGate::StartProgram(const char16_t* commandLine, int showState) {
    // CreateProcessW may write into its command line, so it gets a copy.
    wchar_t writable[MAX_PATH];
    const int length = lstrlenW(AsWide(commandLine));
    if (length >= MAX_PATH) {
        return E_INVALIDARG;
    }
    lstrcpynW(writable, AsWide(commandLine), MAX_PATH);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showState);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, writable, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return LastError();
    }
    // The flash utility runs on by itself; nothing of it is kept.
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return S_OK;
}

HRESULT WindowsGate::StartProgramThroughShell(const char16_t* fileName, int showState) {
    wchar_t path[MAX_PATH];
    const HRESULT hr = FindProgramAsProcessCreationDoes(AsWide(fileName), path);
    if (FAILED(hr)) {
        return hr;
    }
    // shell32 is loaded on this path only, and from System32 by its full
    // name; it stays loaded until the program ends a moment later.
    wchar_t shell32[MAX_PATH];
    const UINT folder = GetSystemDirectoryW(shell32, MAX_PATH);
    if (folder == 0 || folder + sizeof "\\shell32.dll" > MAX_PATH) {
        return LastError();
    }
    lstrcatW(shell32, L"\\shell32.dll");
    const auto shellExecuteEx =
        SystemFunction<ShellExecuteExFunction>(LoadLibraryW(shell32), "ShellExecuteExW");
    return shellExecuteEx != nullptr ? StartThroughShell(path, showState, shellExecuteEx) : LastError();
}

HRESULT StartThroughShell(const wchar_t* path, int showState, ShellExecuteExFunction shellExecuteEx) {
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof start;
    // NOASYNC: the program ends right after this call, so the shell must have
    // finished before it returns. FLAG_NO_UI: a failure shows no message.
    // NOZONECHECKS: a package unpacked from a download carries the mark of the
    // web, on which the shell would first ask "Open File - Security Warning"
    // (or, with FLAG_NO_UI, refuse); process creation, which this start stands
    // in for, makes no zone check, and the user is to see only the consent prompt.
    start.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOZONECHECKS;
    start.lpFile = path;
    start.nShow = showState;
    // Windows' elevation service makes the process, not this one: named
    // here, the current folder is the one process creation would have given
    // it (a flash utility may look there for its image). Its environment is
    // the user's own; the shell's start has none to give.
    wchar_t folder[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    start.lpDirectory = length > 0 && length < MAX_PATH ? folder : nullptr;
    // A request whose window is no valid window of the requester's has
    // Windows flash the consent prompt in the taskbar instead of showing it.
    const RequestWindow owner;
    start.hwnd = owner.get();
    return shellExecuteEx(&start) ? S_OK : LastError();
}

HRESULT FindProgramAsProcessCreationDoes(const wchar_t* fileName, wchar_t (&path)[MAX_PATH],
                                         GetModuleFileNameFunction getModuleFileName) {
    SearchList folders;
    wchar_t folder[MAX_PATH];

    // The program's own folder, up to and with its last backslash. A path cut
    // short (the whole buffer used) would name another folder: none at all.
    DWORD length = getModuleFileName(nullptr, folder, MAX_PATH);
    if (length >= MAX_PATH) {
        length = 0;
    }
    while (length > 0 && folder[length - 1] != L'\\') {
        --length;
    }
    folders.Add(folder, length);
    // Process creation leaves the current folder out where the system is told to.
    if (NeedCurrentDirectoryForExePathW(fileName)) {
        folders.Add(folder, GetCurrentDirectoryW(MAX_PATH, folder));
    }
    folders.Add(folder, GetSystemDirectoryW(folder, MAX_PATH));
    // The 16-bit system folder has no function of its own: it is System in the
    // Windows folder, which comes next.
    const DWORD windows = GetWindowsDirectoryW(folder, MAX_PATH - 7);
    if (windows == 0 || windows >= MAX_PATH - 7) {
        return HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
    }
    lstrcatW(folder, L"\\System");
    folders.Add(folder, windows + 7);
    folders.Add(folder, windows);
    folders.AddPath();
    if (folders.get() == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }

    const DWORD found = SearchPathW(folders.get(), fileName, nullptr, MAX_PATH, path, nullptr);
    if (found == 0) {
        return LastError();
    }
    return found < MAX_PATH ? S_OK : HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace flashgate::win
