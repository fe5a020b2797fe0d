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

WineDesktopKeeper::WineDesktopKeeper(HWINSTA station, HDESK desktop)
    : station_(station), desktop_(desktop) {
    if (WineGetVersion() == nullptr) {
        return;
    }
    ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready_ || !stop_) {
        Fail(L"the keeper's CreateEventW");
        return;
    }
    thread_.reset(CreateThread(nullptr, 0, Keep, this, 0, nullptr));
    if (!thread_) {
        Fail(L"the keeper's CreateThread");
        return;
    }
    WaitForSingleObject(ready_.get(), INFINITE);
}

WineDesktopKeeper::~WineDesktopKeeper() {
    if (thread_) {
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
    }
}

void WineDesktopKeeper::Fail(const wchar_t* what) {
    trouble_ += (trouble_.empty() ? L"" : L"; ") + std::wstring(what) + L" failed, error " +
                std::to_wstring(GetLastError());
}

DWORD WINAPI WineDesktopKeeper::Keep(void* self) {
    WineDesktopKeeper& keeper = *static_cast<WineDesktopKeeper*>(self);
    // SetThreadDesktop takes only a desktop of the process's own window
    // station: for another station's, the process is on that one until the
    // thread is on its desktop (its maker waits on `ready` meanwhile), and
    // back on its own after.
    const HWINSTA own = GetProcessWindowStation();
    const bool switchStation = keeper.station_ != own;
    if (switchStation && !SetProcessWindowStation(keeper.station_)) {
        keeper.Fail(L"the keeper's SetProcessWindowStation");
    } else {
        if (!SetThreadDesktop(keeper.desktop_)) {
            keeper.Fail(L"the keeper's SetThreadDesktop");
        }
        GetDesktopWindow();
        if (switchStation && !SetProcessWindowStation(own)) {
            keeper.Fail(L"the keeper's SetProcessWindowStation back");
        }
    }
    SetEvent(keeper.ready_.get());
    const HANDLE stop = keeper.stop_.get();
    while (MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    return 0;
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
