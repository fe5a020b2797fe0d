// The update gate's two platform operations on Windows: the notice and the
// start of the flash utility.
#pragma once

#include <windows.h>

#include "gate/update_gate.h"

namespace flashgate::win {

class WindowsGate {
public:
    // A modal message box with no owner; returns when the user dismisses it.
    HRESULT ShowNotice(const Notice& notice);

    // Plain process creation from `commandLine`, without waiting for it.
    HRESULT StartProgram(const char16_t* commandLine, int showState);
};

}  // namespace flashgate::win
