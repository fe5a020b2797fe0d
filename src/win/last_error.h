// The HRESULT of the Win32 call that just failed.
#pragma once

#include <windows.h>

namespace flashgate::win {

// A call that failed without saying why is E_FAIL, never a success.
inline HRESULT LastError() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace flashgate::win
