// The machine as the self-test reports it.
#include "selftest/machine.h"

#include <windows.h>

#include "selftest/handles.h"
#include "selftest/program_support.h"
#include "selftest/wine_ways.h"
#include "win/system_function.h"

namespace flashgate::selftest {
namespace {

using win::SystemFunction;

std::wstring RegistryText(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t value[256] = L"";
    DWORD size = sizeof value;
    return RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS ? value : L"";
}

std::wstring MachineName(unsigned machine) {
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return L"x86";
    case IMAGE_FILE_MACHINE_AMD64: return L"x64";
    case 0xAA64: return L"ARM64";  // IMAGE_FILE_MACHINE_ARM64
    default: return L"machine type " + std::to_wstring(machine);
    }
}

// The machine's own architecture, which a 32-bit program is not told by
// GetSystemInfo. IsWow64Process2 (Windows 10 1511 and later) also knows ARM64.
std::wstring NativeMachine() {
    using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    const auto isWow64Process2 =
        SystemFunction<IsWow64Process2Function>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2");
    USHORT process = 0, native = 0;
    if (isWow64Process2 != nullptr && isWow64Process2(GetCurrentProcess(), &process, &native)) {
        return MachineName(native);
    }
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return L"x86";
    case PROCESSOR_ARCHITECTURE_AMD64: return L"x64";
    case 12: return L"ARM64";  // PROCESSOR_ARCHITECTURE_ARM64
    default: return L"processor architecture " + std::to_wstring(system.wProcessorArchitecture);
    }
}

}  // namespace

std::wstring WindowsDescription() {
    // RtlGetVersion tells the truth whatever this program's manifest says.
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    const auto rtlGetVersion = SystemFunction<RtlGetVersionFunction>(ntdll, "RtlGetVersion");
    if (rtlGetVersion != nullptr) {
        rtlGetVersion(&version);
    }
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    std::wstring release = RegistryText(HKEY_LOCAL_MACHINE, key, L"DisplayVersion");
    if (release.empty()) {
        release = RegistryText(HKEY_LOCAL_MACHINE, key, L"ReleaseId");
    }
    std::wstring text = L"Windows " + std::to_wstring(version.dwMajorVersion) + L"." +
                        std::to_wstring(version.dwMinorVersion) + L"." + std::to_wstring(version.dwBuildNumber) +
                        L" (" + RegistryText(HKEY_LOCAL_MACHINE, key, L"ProductName") +
                        (release.empty() ? L"" : L" " + release) + L"), " + NativeMachine() + L" machine";
    if (const std::wstring wine = WineVersion(); !wine.empty()) {
        text += L", as Wine " + wine + L" stands in for it";
    }
    return text;
}

std::wstring ProgramArchitecture() {
    std::wstring text = sizeof(void*) == 8 ? L"x64" : L"x86";
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
        text += L" (under WoW64 on an " + NativeMachine() + L" machine)";
    }
    return text;
}

bool NoticesCanBeSeen(std::wstring& said) {
    const HWINSTA station = GetProcessWindowStation();
    wchar_t name[256] = L"";
    GetUserObjectInformationW(station, UOI_NAME, name, sizeof name, nullptr);
    said = L"window station " + std::wstring(name);
    USEROBJECTFLAGS flags{};
    if (GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) && (flags.dwFlags & WSF_VISIBLE) == 0) {
        said += L", not visible (a service or a headless session)";
        return false;
    }
    DWORD session = 0;
    const DWORD console = WTSGetActiveConsoleSessionId();
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0 && console != 0 && console != 0xFFFFFFFF) {
        said += L" in session 0, which no one can reach (the console is session " + std::to_wstring(console) + L")";
        return false;
    }
    said += L", visible";
    return true;
}

ConsentSetting ReadConsentSetting() {
    ConsentSetting setting;
    setting.elevated = test::ProcessElevated(setting.elevationKnown);
    test::UniqueHandle token;
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        GetTokenInformation(token.get(), TokenElevationType, &setting.type, sizeof setting.type, &size);
    }
    const wchar_t* key = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
    for (const auto& [name, value] : {std::pair{L"EnableLUA", &setting.enableLua},
                                      {L"ConsentPromptBehaviorAdmin", &setting.promptAdmin},
                                      {L"ConsentPromptBehaviorUser", &setting.promptUser}}) {
        size = sizeof *value;
        RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_DWORD, nullptr, value, &size);
    }
    return setting;
}

std::wstring WhyNoConsentPrompt(const ConsentSetting& setting) {
    if (!setting.elevationKnown) {
        return L"this Windows has no elevation (older than Vista)";
    }
    if (setting.elevated) {
        return L"this session is elevated already, so Windows would not ask";
    }
    if (setting.enableLua == 0) {
        return L"User Account Control is off (EnableLUA is 0), so Windows would not ask";
    }
    if (setting.type == TokenElevationTypeLimited && setting.promptAdmin == 0) {
        return L"an administrator is elevated here without a prompt (ConsentPromptBehaviorAdmin is 0), so Windows "
               L"would not ask";
    }
    if (setting.type == TokenElevationTypeDefault && setting.promptUser == 0) {
        return L"a standard user's request to elevate is denied here without a prompt (ConsentPromptBehaviorUser is "
               L"0), so Windows would not ask";
    }
    return L"";
}

std::wstring WhyNoConsentPrompt() { return WhyNoConsentPrompt(ReadConsentSetting()); }

}  // namespace flashgate::selftest
