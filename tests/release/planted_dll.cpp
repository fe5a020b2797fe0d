// A DLL planted beside a program under a system DLL's name. When loaded it
// leaves a file beside itself, NAME.dll.loaded-by-PROGRAM.exe, and does nothing else.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t marker[MAX_PATH * 3] = {};
    wchar_t program[MAX_PATH] = {};
    if (GetModuleFileNameW(self, marker, MAX_PATH) == 0 ||
        GetModuleFileNameW(nullptr, program, MAX_PATH) == 0) {
        return TRUE;
    }
    const wchar_t* programName = program;
    for (const wchar_t* c = program; *c != L'\0'; ++c) {
        if (*c == L'\\' || *c == L'/') {
            programName = c + 1;
        }
    }
    lstrcatW(marker, L".loaded-by-");
    lstrcatW(marker, programName);
    CloseHandle(CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return TRUE;
}
