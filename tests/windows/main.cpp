// The Windows-side suite's entry: GoogleTest's console output for people and,
// with --results FILE, the results record for the self-test (results_record.h).
#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "results_record.h"
#include "selftest/program_support.h"

namespace {

void ErrorLine(const std::wstring& text) {
    std::fputs(flashgate::test::Utf8(L"flashgate-windows-tests: " + text + L"\n").c_str(), stderr);
}

}  // namespace

// wmain: a results path outside the ANSI code page (a user's temporary folder) arrives whole.
int wmain(int argc, wchar_t** argv) {
    bool recorded = false;
    std::wstring results;
    std::vector<wchar_t*> kept = {argv[0]};  // GoogleTest's arguments, and any it does not know
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--results") != 0) {
            kept.push_back(argv[i]);
        } else if (i + 1 < argc) {
            recorded = true;
            results = argv[++i];
        } else {
            ErrorLine(L"--results needs a FILE");
            return 2;
        }
    }
    int keptCount = static_cast<int>(kept.size());
    kept.push_back(nullptr);
    testing::InitGoogleTest(&keptCount, kept.data());
    if (recorded) {
        auto record = std::make_unique<flashgate::test::ResultsRecord>(results);
        if (!record->Begin()) {
            ErrorLine(L"cannot write the results record " + results);
            return 2;
        }
        testing::UnitTest::GetInstance()->listeners().Append(record.release());
    }
    return RUN_ALL_TESTS();
}
