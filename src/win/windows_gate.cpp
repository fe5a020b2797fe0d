// MessageBoxW, CreateProcessW and the shell's start, as thin as the gate needs them.
#include "win/windows_gate.h"

#include "win/last_error.h"
#include "win/program_search.h"

namespace flashgate::win {
namespace {

const wchar_t* AsWide(const char16_t* text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
    return reinterpret_cast<const wchar_t*>(text);
}

}  // namespace

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
    return StartAskingConsent(AsWide(fileName), showState, kWindowsSession, kWindowsShell);
}

HRESULT StartAskingConsent(const wchar_t* fileName, int showState, const SessionReport& windows,
                           const ShellFunctions& shell) {
    // A consent prompt no one can answer would hold the program, or be
    // refused; which of the two Windows does there is not documented.
    if (!NoticeCanBeSeen(windows)) {
        return HRESULT_FROM_WIN32(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION);
    }
    wchar_t path[MAX_PATH];
    const HRESULT hr = FindProgramAsProcessCreationDoes(fileName, path);
    return SUCCEEDED(hr) ? StartThroughShell(path, showState, shell) : hr;
}

}  // namespace flashgate::win
