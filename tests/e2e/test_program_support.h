// Small pieces shared by the Windows programs of the end-to-end tests and the
// benchmark: environment values, records written whole, and job accounting.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace flashgate::test {

inline std::wstring Environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? value : L"";
}

// Writes `text` as UTF-8, under another name first, so that a reader polling
// for the file never sees half of it.
inline bool WriteUtf8(const std::wstring& path, const std::wstring& text) {
    std::string bytes(text.size() * 3, '\0');
    bytes.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                         bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
    const std::wstring partial = path + L".partial";
    // The file is closed when the statement that writes it ends, before the move.
    const bool written = static_cast<bool>(std::ofstream(partial.c_str(), std::ios::binary) << bytes);
    return written && MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// How many processes the job has held in all, and holds now.
inline JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr);
    return accounting;
}

}  // namespace flashgate::test
