// What the self-test says about the machine it runs on: the Windows version
// and architecture, whether anyone can see this session's windows, and
// whether Windows would ask for consent to elevate.
#pragma once

#include <string>

namespace flashgate::selftest {

// "Windows 10.0.19045 (Windows 10 Pro 22H2), x64 machine", and the Wine
// version where Wine stands in for Windows.
std::wstring WindowsDescription();

// Whether the program at this path is Wine's own desktop process, which Wine
// starts for a desktop the first time a program there needs it: explorer.exe
// in a system folder. Never so on Windows, whose desktops need no process.
bool IsWineDesktopProcess(const std::wstring& path);

// "x86 (under WoW64 on an ARM64 machine)": this self-test's architecture,
// which is that of the flashgate.exe beside it.
std::wstring ProgramArchitecture();

// The window station this process runs on and whether it is visible
// (WSF_VISIBLE): only then can a notice be seen, and so met.
bool WindowStationVisible(std::wstring& name);

// Empty where Windows would ask this session for consent before starting a
// program that requires administrator rights; otherwise why it would not.
std::wstring WhyNoConsentPrompt();

}  // namespace flashgate::selftest
