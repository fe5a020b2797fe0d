// A window station no one can see, as a service's is, with its desktop: for
// meeting flashgate.exe where no notice could be seen. Only WinSta0 is ever
// visible, so one made here never is.
#pragma once

#include <windows.h>

#include <string>

#include "selftest/handles.h"

namespace flashgate::selftest {

// Made with the self-test's own name, which every run uses: a later run
// opens the station if it is still there, as it is under Wine, whose desktop
// process for it may live on. A thread of its own needs the desktop first
// and keeps it until the holder goes (see KeepDesktop in the .cpp).
class UnseenStation {
public:
    UnseenStation();
    ~UnseenStation();
    UnseenStation(const UnseenStation&) = delete;
    UnseenStation& operator=(const UnseenStation&) = delete;

    // "station\Default", for STARTUPINFO's lpDesktop; empty where the
    // station or its desktop could not be made.
    const std::wstring& desktopName() const { return desktopName_; }
    HDESK desktop() const { return desktop_.get(); }

    // Empty, or what went wrong in making it, for the report's head.
    const std::wstring& trouble() const { return trouble_; }

private:
    static DWORD WINAPI KeepDesktop(void* self);
    void Fail(const wchar_t* what);

    test::UniqueWindowStation station_;
    test::UniqueDesktop desktop_;
    test::UniqueHandle ready_, stop_, keeper_;
    std::wstring desktopName_;
    std::wstring trouble_;
};

}  // namespace flashgate::selftest
