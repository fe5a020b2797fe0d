// MessageBoxW and CreateProcessW, as thin as the gate needs them.
#include "win/windows_gate.h"

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

}  // namespace

HRESULT WindowsGate::ShowNotice(const Notice& notice) {
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

}  // namespace flashgate::win
