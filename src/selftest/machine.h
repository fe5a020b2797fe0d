// What the self-test says about the machine it runs on: the Windows version
// and architecture, whether anyone can see this session's windows, and
// whether Windows would ask for consent to elevate.
#pragma once

#include <windows.h>

#include <string>

namespace flashgate::selftest {

// "Windows 10.0.19045 (Windows 10 Pro 22H2), x64 machine", and the Wine
// version where Wine stands in for Windows.
std::wstring WindowsDescription();

// "x86 (under WoW64 on an ARM64 machine)": this self-test's architecture,
// which is that of the flashgate.exe beside it.
std::wstring ProgramArchitecture();

// Whether a notice shown here can be seen, and so met: the window station is
// visible (WSF_VISIBLE), and this is not session 0 while Windows names
// another session the console's (since Vista no one can reach session 0's
// desktop). `said` names the station and the session, for the report.
bool NoticesCanBeSeen(std::wstring& said);

// What decides whether Windows asks for consent before it starts a program
// that requires administrator rights, with Windows' defaults for values that
// are missing.
struct ConsentSetting {
    bool elevationKnown = false;  // Vista and later
    bool elevated = false;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;  // Limited: an administrator, not elevated
    DWORD enableLua = 1;
    DWORD promptAdmin = 5;  // ConsentPromptBehaviorAdmin; 0 elevates without asking
    DWORD promptUser = 3;   // ConsentPromptBehaviorUser; 0 denies without asking
};
ConsentSetting ReadConsentSetting();

// Empty where Windows would ask for consent; otherwise why it would not.
std::wstring WhyNoConsentPrompt(const ConsentSetting& setting);
std::wstring WhyNoConsentPrompt();  // this session's

}  // namespace flashgate::selftest
