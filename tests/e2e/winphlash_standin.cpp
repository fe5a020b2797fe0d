// Takes the flash utility's place in end-to-end runs. It writes how it was
// started to the file named by FLASHGATE_STANDIN_RECORD, then stays alive for
// as long as the file named by FLASHGATE_STANDIN_HOLD exists.
#include <windows.h>

#include <string>

#include "test_program_support.h"

using flashgate::test::Environment;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t path[MAX_PATH * 2] = L"";
    GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));

    const std::wstring record = Environment(L"FLASHGATE_STANDIN_RECORD");
    if (!record.empty()) {
        flashgate::test::WriteUtf8(record, L"flags=" + std::to_wstring(startup.dwFlags) +
                                               L"\nshow=" + std::to_wstring(startup.wShowWindow) +
                                               L"\npath=" + path + L"\ncommand_line=" + GetCommandLineW() + L"\n");
    }
    // Bounded, so that a test that goes wrong leaves nothing running for long.
    const std::wstring hold = Environment(L"FLASHGATE_STANDIN_HOLD");
    for (int waited = 0; !hold.empty() && waited < 120000 && GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES;
         waited += 50) {
        Sleep(50);
    }
    return 0;
}
