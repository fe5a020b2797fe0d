// The unseen window station, its desktop and the thread that keeps it.
#include "selftest/unseen_station.h"

namespace flashgate::selftest {
namespace {

constexpr wchar_t kStation[] = L"flashgate-selftest-unseen";

}  // namespace

UnseenStation::UnseenStation()
    : station_(CreateWindowStationW(kStation, 0, WINSTA_ALL_ACCESS, nullptr)),
      ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!station_) {
        Fail(L"CreateWindowStationW");
        return;
    }
    // A desktop is made on the station the process is on.
    const HWINSTA visible = GetProcessWindowStation();
    if (!SetProcessWindowStation(station_.get())) {
        Fail(L"SetProcessWindowStation to it");
        return;
    }
    desktop_.reset(CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr));
    if (!desktop_) {
        Fail(L"CreateDesktopW");
    }
    if (!SetProcessWindowStation(visible)) {
        Fail(L"SetProcessWindowStation back");
    }
    if (!desktop_) {
        return;
    }
    if (!ready_ || !stop_) {
        Fail(L"CreateEventW");
        return;
    }
    keeper_.reset(CreateThread(nullptr, 0, KeepDesktop, this, 0, nullptr));
    if (!keeper_) {
        Fail(L"CreateThread");
        return;
    }
    WaitForSingleObject(ready_.get(), INFINITE);
    desktopName_ = std::wstring(kStation) + L"\\Default";
}

UnseenStation::~UnseenStation() {
    if (keeper_) {
        SetEvent(stop_.get());
        WaitForSingleObject(keeper_.get(), INFINITE);
    }
}

void UnseenStation::Fail(const wchar_t* what) {
    trouble_ += (trouble_.empty() ? L"" : L"; ") + std::wstring(what) + L" failed, error " +
                std::to_wstring(GetLastError());
}

// Wine makes a desktop's window, starting a desktop process for it, when a
// program first needs that desktop. This thread needs it first and keeps it
// until the self-test ends, so that neither that process nor the window is
// the program's: where Wine's desktop process does not stay, the window is
// this thread's and would go with it. On Windows the desktop needs no
// keeper, and the thread does no harm.
DWORD WINAPI UnseenStation::KeepDesktop(void* self) {
    UnseenStation& unseen = *static_cast<UnseenStation*>(self);
    // SetThreadDesktop takes only a desktop of the process's own window
    // station: the process is on the unseen one until the desktop is there
    // (its maker waits on `ready` meanwhile), and back on its own after.
    const HWINSTA visible = GetProcessWindowStation();
    if (!SetProcessWindowStation(unseen.station_.get())) {
        unseen.Fail(L"the keeper's SetProcessWindowStation");
    } else {
        if (!SetThreadDesktop(unseen.desktop_.get())) {
            unseen.Fail(L"the keeper's SetThreadDesktop");
        }
        // Wine makes a desktop's window when a thread first needs it, and on
        // a station no one can see starts no process for it: this thread's.
        GetDesktopWindow();
        if (!SetProcessWindowStation(visible)) {
            unseen.Fail(L"the keeper's SetProcessWindowStation back");
        }
    }
    SetEvent(unseen.ready_.get());
    const HANDLE stop = unseen.stop_.get();
    while (MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    return 0;
}

}  // namespace flashgate::selftest
