// Stands in for the flash utility when the DLL search is tested: a program
// without the DLL search restriction that sets up COM as flashgate does, so
// that it loads the same DLLs by name, a planted one included.
#include <windows.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        CoUninitialize();
    }
    return 0;
}
