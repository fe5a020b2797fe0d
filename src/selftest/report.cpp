// The report, written as it goes so that a person sees each check as it ends.
#include "selftest/report.h"

#include <windows.h>

#include "selftest/program_support.h"

namespace flashgate::selftest {

namespace {

void WriteLine(DWORD handle, const std::wstring& text) {
    const HANDLE out = GetStdHandle(handle);
    const std::wstring line = text + L"\n";
    DWORD mode = 0, written = 0;
    // A console shows UTF-16 as it is; a pipe or a file gets UTF-8.
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } else {
        const std::string bytes = test::Utf8(line);
        WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

}  // namespace

void ErrorLine(const std::wstring& text) { WriteLine(STD_ERROR_HANDLE, L"flashgate-selftest: " + text); }

void Report::Line(const std::wstring& text) {
    text_ += text + L"\r\n";
    if (toConsole_) {
        WriteLine(STD_OUTPUT_HANDLE, text);
    }
}

void Report::Check(const std::wstring& name, Result result, const std::wstring& detail) {
    switch (result) {
    case Result::Ok:
        ++passed_;
        Line(name + L": ok" + (detail.empty() ? L"" : L": " + detail));
        break;
    case Result::Failed:
        ++failed_;
        Line(name + L": FAIL: " + detail);
        break;
    case Result::Skipped:
        if (unexplainedSkipsFail_) {
            ++failed_;
            Line(name + L": FAIL: skipped: " + detail + L"; expected it to run (--no-unexplained-skips)");
            break;
        }
        [[fallthrough]];
    case Result::NotApplicable:
        ++skipped_;
        Line(name + L": skipped: " + detail);
        break;
    }
}

void Report::Summary() {
    Line(std::to_wstring(passed_) + L" passed, " + std::to_wstring(failed_) + L" failed, " + std::to_wstring(skipped_) +
         L" skipped");
}

bool Report::WriteTo(const std::wstring& path) const {
    const test::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes = test::Utf8(text_);
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

}  // namespace flashgate::selftest
