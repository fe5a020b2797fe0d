// Wine's ways, and the self-test's answers to them.
#include "selftest/wine_ways.h"

#include "selftest/notice_icon.h"
#include "win/system_function.h"

namespace flashgate::selftest {
namespace {

const char* WineGetVersion() {
    using WineGetVersionFunction = const char*(CDECL*)();
    const auto wineGetVersion =
        win::SystemFunction<WineGetVersionFunction>(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
    return wineGetVersion != nullptr ? wineGetVersion() : nullptr;
}

}  // namespace

std::wstring WineVersion() {
    const char* wine = WineGetVersion();
    return wine != nullptr ? std::wstring(wine, wine + lstrlenA(wine)) : L"";
}

unsigned SlowerBy() {
    wchar_t emulated[2] = L"";
    return GetEnvironmentVariableW(L"FLASHGATE_EMULATED", emulated, 2) == 1 && emulated[0] == L'1' ? 4 : 1;
}

void AwaitDesktop(int tries) {
    // On a slow machine Wine may stop waiting for the desktop's process before
    // it is up, and leave starting it to the next program that needs it.
    // On a window station no one can see, Wine starts no desktop process:
    // there the desktop's window is no process's.
    USEROBJECTFLAGS station{};
    const bool visible =
        !GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &station, sizeof station, nullptr) ||
        (station.dwFlags & WSF_VISIBLE) != 0;
    for (; tries > 0; --tries, Sleep(500)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(GetDesktopWindow(), &owner);
        if ((owner != 0 || !visible) && owner != GetCurrentProcessId()) {
            return;
        }
    }
}

bool IsWineDesktopProcess(const std::wstring& path) {
    if (WineGetVersion() == nullptr) {
        return false;
    }
    wchar_t folder[MAX_PATH] = L"";
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    for (const wchar_t* system : {L"\\system32\\explorer.exe", L"\\syswow64\\explorer.exe"}) {
        if (CompareStringOrdinal(path.c_str(), -1, (std::wstring(folder, length) + system).c_str(), -1, TRUE) ==
            CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

std::wstring IconOffScreen(HWND iconControl) {
    RECT area{};
    GetClientRect(iconControl, &area);
    POINT onScreen{0, 0};
    MapWindowPoints(iconControl, nullptr, &onScreen, 1);
    const Canvas canvas(area.right, area.bottom);
    std::wstring kind = L"none";
    // The notice may not be painted yet when it is first seen.
    for (int attempt = 0; attempt < 40 && kind == L"none"; ++attempt, Sleep(50)) {
        BitBlt(canvas.dc(), 0, 0, area.right, area.bottom, canvas.screen(), onScreen.x, onScreen.y, SRCCOPY);
        kind = IconKind(canvas.dc(), area);
    }
    return kind;
}

}  // namespace flashgate::selftest
