// Takes the flash utility's place in end-to-end runs. It writes how it was
// started to the file named by FLASHGATE_STANDIN_RECORD, then stays alive for
// as long as the file named by FLASHGATE_STANDIN_HOLD exists.
#include <windows.h>

#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(name, value, ARRAYSIZE(value));
    return length > 0 && length < ARRAYSIZE(value) ? std::wstring(value, length) : std::wstring();
}

std::wstring Hex(unsigned long value) {
    wchar_t text[16];
    wsprintfW(text, L"0x%08lx", value);
    return text;
}

bool WriteUtf8(const std::wstring& path, const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                        size, nullptr, nullptr);
    // Written under another name first, so that a reader never sees half a record.
    const std::wstring partial = path + L".partial";
    const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size() &&
           MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);

    wchar_t path[MAX_PATH * 2] = L"";
    GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    wchar_t folder[MAX_PATH * 2] = L"";
    GetCurrentDirectoryW(ARRAYSIZE(folder), folder);

    const std::wstring record = Environment(L"FLASHGATE_STANDIN_RECORD");
    if (!record.empty()) {
        WriteUtf8(record, L"pid=" + std::to_wstring(GetCurrentProcessId()) +
                              L"\nflags=" + Hex(startup.dwFlags) +
                              L"\nshow=" + std::to_wstring(startup.wShowWindow) +
                              L"\npath=" + path +
                              L"\ncommand_line=" + GetCommandLineW() +
                              L"\ncurrent_folder=" + folder + L"\n");
    }

    // Bounded, so that a test that goes wrong leaves nothing running for long.
    const std::wstring hold = Environment(L"FLASHGATE_STANDIN_HOLD");
    for (int waited = 0; !hold.empty() && waited < 120000; waited += 50) {
        if (GetFileAttributesW(hold.c_str()) == INVALID_FILE_ATTRIBUTES) {
            break;
        }
        Sleep(50);
    }
    return 0;
}
