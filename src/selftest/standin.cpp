// Takes the flash utility's place wherever the self-test (or a test) starts
// flashgate.exe: it changes nothing and flashes nothing. It writes how it was
// started to the file named by FLASHGATE_STANDIN_RECORD, stays alive for as
// long as the file named by FLASHGATE_STANDIN_HOLD exists (at most two
// minutes), and then writes the record again with ended=yes. Without a hold
// file it ends at once, and without a record file it writes nothing.
#include <windows.h>

#include <string>

#include "program_support.h"

using flashgate::test::Environment;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t path[MAX_PATH * 2] = L"";
    GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));

    const std::wstring record = Environment(L"FLASHGATE_STANDIN_RECORD");
    bool known = false;
    const std::wstring started = L"flags=" + std::to_wstring(startup.dwFlags) +
                                 L"\nshow=" + std::to_wstring(startup.wShowWindow) + L"\npath=" + path +
                                 L"\ncommand_line=" + GetCommandLineW() +
                                 L"\nelevated=" + (flashgate::test::ProcessElevated(known) ? L"yes" : L"no") + L"\n";
    if (!record.empty()) {
        flashgate::test::WriteUtf8(record, started);
    }
    // Bounded, so that a run that goes wrong leaves nothing running for long.
    const std::wstring hold = Environment(L"FLASHGATE_STANDIN_HOLD");
    for (int waited = 0; !hold.empty() && waited < 120000 && GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES;
         waited += 50) {
        Sleep(50);
    }
    if (!record.empty() && !hold.empty()) {
        flashgate::test::WriteUtf8(record, started + L"ended=yes\n");
    }
    return 0;
}
