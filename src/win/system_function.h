// Functions of Windows' own DLLs looked up by name at run time, for those the
// program must not import: missing on some Windows versions, or needed on one
// rare path only.
#pragma once

#include <windows.h>

namespace flashgate::win {

// `name` in `module` as a `Function`, or null when either is missing.
template <class Function>
Function SystemFunction(HMODULE module, const char* name) {
    const FARPROC found = module != nullptr ? GetProcAddress(module, name) : nullptr;
    // void(*)() is the one function type that converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

}  // namespace flashgate::win
