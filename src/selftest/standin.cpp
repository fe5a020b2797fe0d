// Takes the flash utility's place wherever the self-test (or a test) starts
// flashgate.exe: it changes nothing and flashes nothing. It reads what it is
// to do from flashgate-standin.txt beside it (TellStandIn), never from its
// environment, which an elevated start does not pass on: it writes how it
// was started to the record file named there, stays alive for as long as the
// hold file named there exists (at most two minutes), and then writes the
// record again with ended=yes. Without a hold file it ends at once, and
// without orders it writes nothing.
#include <windows.h>

#include <string>

#include "program_support.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t path[MAX_PATH * 2] = L"";
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, ARRAYSIZE(path)));
    wchar_t current[MAX_PATH * 2] = L"";
    GetCurrentDirectoryW(ARRAYSIZE(current), current);

    auto orders = flashgate::test::ReadRecord(self.substr(0, self.find_last_of(L'\\') + 1) +
                                              flashgate::test::kStandInOrders);
    const std::wstring record = orders[L"record"], hold = orders[L"hold"];
    bool known = false;
    const std::wstring started = L"flags=" + std::to_wstring(startup.dwFlags) +
                                 L"\nshow=" + std::to_wstring(startup.wShowWindow) + L"\npath=" + self +
                                 L"\ncurrent=" + current + L"\ncommand_line=" + GetCommandLineW() +
                                 L"\nelevated=" + (flashgate::test::ProcessElevated(known) ? L"yes" : L"no") + L"\n";
    if (!record.empty()) {
        flashgate::test::WriteUtf8(record, started);
    }
    // Bounded, so that a run that goes wrong leaves nothing running for long.
    for (int waited = 0; !hold.empty() && waited < 120000 && GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES;
         waited += 50) {
        Sleep(50);
    }
    if (!record.empty() && !hold.empty()) {
        flashgate::test::WriteUtf8(record, started + L"ended=yes\n");
    }
    return 0;
}
