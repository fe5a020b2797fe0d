// Small pieces shared by the self-test, its stand-in flash utility and the
// programs of the tests and the bench: environment values, records of
// key=value lines written whole and read back, and the process's elevation.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "handles.h"

namespace flashgate::test {

inline std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                         bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

inline std::wstring FromUtf8(const std::string& bytes) {
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                        text.data(), static_cast<int>(text.size()))));
    return text;
}

// Writes `text` as UTF-8, under another name first, so that a reader polling
// for the file never sees half of it. (No iostreams: they make a small
// program large and slow to start, which an emulated PC feels.)
inline bool WriteUtf8(const std::wstring& path, const std::wstring& text) {
    const std::wstring partial = path + L".partial";
    UniqueFile file(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    const std::string bytes = Utf8(text);
    DWORD written = 0;
    const bool whole = WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size();
    // Closed before the move, which a file held open would refuse.
    file.reset();
    return whole && MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The whole of a UTF-8 file as text; empty if there is none.
inline std::wstring ReadUtf8(const std::wstring& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return L"";
    }
    std::string bytes(GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return FromUtf8(bytes);
}

// The lines of a text, without their ends (LF or CR LF).
inline std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    for (size_t from = 0; from < text.size();) {
        size_t end = text.find(L'\n', from);
        end = end == std::wstring::npos ? text.size() : end;
        lines.push_back(text.substr(from, end - from - (end > from && text[end - 1] == L'\r' ? 1 : 0)));
        from = end + 1;
    }
    return lines;
}

// The key=value lines of a record written by WriteUtf8, in the file's order;
// a key ends at the first "=", and a line without one is left out. Empty if
// there is no record.
inline std::vector<std::pair<std::wstring, std::wstring>> ReadRecordInOrder(const std::wstring& path) {
    std::vector<std::pair<std::wstring, std::wstring>> lines;
    for (const std::wstring& line : Lines(ReadUtf8(path))) {
        const size_t equals = line.find(L'=');
        if (equals != std::wstring::npos) {
            lines.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        }
    }
    return lines;
}

// The same by key; where a key comes twice, its last value.
inline std::map<std::wstring, std::wstring> ReadRecord(const std::wstring& path) {
    std::map<std::wstring, std::wstring> values;
    for (auto& [key, value] : ReadRecordInOrder(path)) {
        values[key] = std::move(value);
    }
    return values;
}

// What a stand-in flash utility is to do, written beside it for it to read:
// the file it writes its record to, and the one it lives on for as long as
// it exists. Beside it, not in its environment: Windows' elevation service
// starts an elevated one with the user's own environment, not its starter's.
inline constexpr wchar_t kStandInOrders[] = L"flashgate-standin.txt";

inline bool TellStandIn(const std::wstring& folder, const std::wstring& record, const std::wstring& hold = L"") {
    return WriteUtf8(folder + L"\\" + kStandInOrders, L"record=" + record + L"\nhold=" + hold + L"\n");
}

// Whether this process runs with an elevated (administrator) token; `known`
// is false where Windows cannot say (before Vista).
inline bool ProcessElevated(bool& known) {
    UniqueHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    known = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
            GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size);
    return known && elevation.TokenIsElevated != 0;
}

// Start-up information that hands a program our standard handles (started
// with handles inherited).
inline STARTUPINFOW WithOurStandardHandles() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    return startup;
}

}  // namespace flashgate::test
