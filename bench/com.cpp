// COM initialised for the thread and left again, nothing more: with the empty
// program, it splits the floor's time into process start, COM and WMI.
#include <windows.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        CoUninitialize();
    }
    return 0;
}
