// A WinPhlash.exe that must never be started: put where the machine's own
// flash utility could lie. Started, it leaves "<its path>.started" beside
// itself and ends.
#include <windows.h>

#include <string>

#include "handles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t path[MAX_PATH * 2] = L"";
    GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    const flashgate::test::UniqueFile mark(CreateFileW((std::wstring(path) + L".started").c_str(), GENERIC_WRITE, 0,
                                                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return 0;
}
