// A flashgate.exe with one fault, to show that the self-test catches it and
// says what it saw. FLASHGATE_FAULT=wrong-title: the wrong-model notice with
// its title one letter off. FLASHGATE_FAULT=waits: starts WinPhlash.exe as
// the gate does, then waits for it to end. FLASHGATE_FAULT=hidden: starts it
// hidden, and does not wait.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t fault[32] = L"";
    GetEnvironmentVariableW(L"FLASHGATE_FAULT", fault, ARRAYSIZE(fault));
    if (std::wstring(fault) == L"waits" || std::wstring(fault) == L"hidden") {
        wchar_t commandLine[] = L"WinPhlash.exe";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = std::wstring(fault) == L"hidden" ? SW_HIDE : SW_SHOWNORMAL;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
            return 3;
        }
        if (std::wstring(fault) == L"waits") {
            WaitForSingleObject(started.hProcess, INFINITE);
        }
        return 0;
    }
    MessageBoxW(nullptr, L"This BIOS is not for your Notebook PC.", L"Winphlash", MB_OK | MB_ICONEXCLAMATION);
    return 2;
}
