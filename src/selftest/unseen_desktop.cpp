// The unseen desktops, made once for a run.
#include "selftest/unseen_desktop.h"

namespace flashgate::selftest {
namespace {

constexpr wchar_t kStation[] = L"flashgate-selftest-unseen";
constexpr wchar_t kPrivateDesktop[] = L"flashgate-selftest-private";

std::wstring NameOf(HANDLE object) {
    wchar_t name[MAX_PATH] = L"";
    return GetUserObjectInformationW(object, UOI_NAME, name, sizeof name - sizeof name[0], nullptr) ? name : L"";
}

}  // namespace

UnseenDesktop::UnseenDesktop(Kind kind) {
    if (kind == Kind::StationOfItsOwn) {
        MakeStationOfItsOwn();
    } else {
        // Made on the self-test's own station, where no one switches to it.
        desktop_.reset(CreateDesktopW(kPrivateDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr));
        if (!desktop_) {
            Fail(L"CreateDesktopW");
        }
    }
    if (!desktop_) {
        return;
    }
    const HWINSTA station = station_ ? station_.get() : GetProcessWindowStation();
    keeper_.emplace(station, desktop_.get());
    const std::wstring stationName = NameOf(station);
    if (stationName.empty()) {
        Fail(L"naming the window station");
        return;
    }
    desktopName_ = stationName + L"\\" + NameOf(desktop_.get());
}

void UnseenDesktop::MakeStationOfItsOwn() {
    station_.reset(CreateWindowStationW(kStation, 0, WINSTA_ALL_ACCESS, nullptr));
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
}

std::wstring UnseenDesktop::trouble() const {
    const std::wstring keeper = keeper_ ? keeper_->trouble() : L"";
    return trouble_ + (trouble_.empty() || keeper.empty() ? L"" : L"; ") + keeper;
}

void UnseenDesktop::Fail(const wchar_t* what) {
    trouble_ += (trouble_.empty() ? L"" : L"; ") + std::wstring(what) + L" failed, error " +
                std::to_wstring(GetLastError());
}

}  // namespace flashgate::selftest
