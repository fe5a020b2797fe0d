// The update gate's platform operations on Windows: the notice and the start
// of the flash utility.
#pragma once

#include <windows.h>

#include "gate/update_gate.h"
#include "win/notice_visibility.h"
#include "win/shell_start.h"

namespace flashgate::win {

class WindowsGate {
public:
    // A modal message box with no owner; returns when the user dismisses it.
    // Where no one could see it, it is not shown and the call fails.
    HRESULT ShowNotice(const Notice& notice);

    // Plain process creation from `commandLine`, without waiting for it.
    HRESULT StartProgram(const char16_t* commandLine, int showState);

    // The file process creation finds for `fileName`, started through the
    // shell, which asks for consent where the program requires elevation.
    // Does not wait for it; shows nothing of its own when it fails.
    HRESULT StartProgramThroughShell(const char16_t* fileName, int showState);
};

// StartProgramThroughShell with the functions given (Windows' own, or a
// test's stand-ins). Where no one could see a notice, no one could answer
// Windows' consent prompt either: nothing is asked, and the start fails.
HRESULT StartAskingConsent(const wchar_t* fileName, int showState, const SessionReport& windows,
                           const ShellFunctions& shell);

}  // namespace flashgate::win
