// Desktops no one sees, for meeting flashgate.exe where no notice could be
// seen: a window station of the self-test's own, as a service's is (only
// WinSta0 is ever visible, so one made here never is), or a desktop of the
// self-test's own station that no one switches to, as some deployment and
// remote-support tools start installers on.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "selftest/handles.h"
#include "selftest/wine_ways.h"

namespace flashgate::selftest {

// Made with the self-test's own names, which every run uses: a later run
// opens one that is still there, as it is under Wine, whose desktop process
// for it may live on.
class UnseenDesktop {
public:
    enum class Kind {
        StationOfItsOwn,  // "flashgate-selftest-unseen\Default"
        PrivateDesktop,   // "WinSta0\flashgate-selftest-private", never switched to
    };
    explicit UnseenDesktop(Kind kind);
    UnseenDesktop(const UnseenDesktop&) = delete;
    UnseenDesktop& operator=(const UnseenDesktop&) = delete;

    // "station\desktop", for STARTUPINFO's lpDesktop; empty where it could
    // not be made.
    const std::wstring& desktopName() const { return desktopName_; }
    HDESK desktop() const { return desktop_.get(); }

    // Empty, or what went wrong in making it, for the report's head.
    std::wstring trouble() const;

private:
    void Fail(const wchar_t* what);
    void MakeStationOfItsOwn();

    test::UniqueWindowStation station_;  // of its own; none for a private desktop
    test::UniqueDesktop desktop_;
    std::optional<WineDesktopKeeper> keeper_;  // goes first, before the desktop
    std::wstring desktopName_;
    std::wstring trouble_;
};

}  // namespace flashgate::selftest
