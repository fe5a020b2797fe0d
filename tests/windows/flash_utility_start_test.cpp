// Where the flash utility is started from. The shell start, taken when the
// flash utility requires elevation, must start the very file that plain
// process creation starts, in every folder layout; the stand-in flash utility
// records where it was started from.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "selftest/program_support.h"
#include "selftest/search_order.h"
#include "win/program_search.h"
#include "win/windows_gate.h"

namespace flashgate::win {
namespace {

namespace fs = std::filesystem;

// A variable of this process's environment as a start made now sees it: not
// the C runtime's copy (_wgetenv), taken when the program started, which
// misses every SetEnvironmentVariableW since.
std::wstring Variable(const wchar_t* name) {
    std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

fs::path OwnFolder() {
    wchar_t path[MAX_PATH];
    return fs::path(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))).parent_path();
}

// The folders process creation searches, in its order. The current folder and
// one at the front of PATH are made for the test; the stand-in's record goes
// beside them. The system folders are written to only in a Windows made for
// the tests (a Wine prefix), which says so in FLASHGATE_DISPOSABLE_WINDOWS.
// Nothing but the stand-in is ever started: each start is preceded, just
// before it, by the look at every file it could reach.
class FlashUtilityLayout : public ::testing::Test {
protected:
    void SetUp() override {
        searched_ = {OwnFolder(), current_};
        if (Variable(L"FLASHGATE_DISPOSABLE_WINDOWS") == L"1") {
            const fs::path windows = test::WindowsFolder();
            searched_.insert(searched_.end(), {test::SystemFolder(), windows / L"System", windows});
        }
        searched_.push_back(onPath_);
        for (const fs::path& folder : searched_) {
            fs::create_directories(folder);
        }
        savedDirectory_ = fs::current_path();
        fs::current_path(current_);
        savedPath_ = Variable(L"PATH");
        SetEnvironmentVariableW(L"PATH", (onPath_.wstring() + L";" + savedPath_).c_str());
    }

    void TearDown() override {
        fs::current_path(savedDirectory_);
        SetEnvironmentVariableW(L"PATH", savedPath_.c_str());
        Put({});
        fs::remove_all(scratch_);
    }

    // The stand-in that lies beside this suite, as `name` in each of
    // `folders` with its orders beside it, and nowhere else that this test
    // put one. Fails where a file of that name is there already, which is not
    // this test's to replace.
    bool Put(const std::vector<fs::path>& folders, const std::wstring& name = L"WinPhlash.exe") {
        // A stand-in that is still ending holds its file for a moment.
        for (const fs::path& file : put_) {
            std::error_code inUse;
            for (int tries = 0; !fs::remove(file, inUse) && inUse && tries < 100; ++tries) {
                Sleep(50);
            }
            fs::remove(file.parent_path() / test::kStandInOrders, inUse);
        }
        put_.clear();
        for (const fs::path& folder : folders) {
            if (!CopyFileW((OwnFolder() / L"flashgate-standin.exe").c_str(), (folder / name).c_str(), TRUE)) {
                return false;
            }
            put_.push_back(folder / name);
            if (!test::TellStandIn(folder.wstring(), record_.wstring())) {
                return false;
            }
        }
        return true;
    }

    // A file named `name` that a start made now could reach, with the
    // environment and current folder as they are now, and that this test did
    // not put there (a real flash utility, say), or nothing. Every folder is
    // looked in, the current one too whatever the system is told.
    std::wstring Foreign(const std::wstring& name = L"WinPhlash.exe") const {
        wchar_t current[MAX_PATH] = L"";
        GetCurrentDirectoryW(MAX_PATH, current);
        return test::FirstNotOurs(test::ProcessCreationSearchFolders(OwnFolder(), current, Variable(L"PATH")), name,
                                  std::vector<std::wstring>(put_.begin(), put_.end()));
    }

    // What the started stand-in wrote down: waits for its record, then
    // removes it for the next start.
    std::map<std::wstring, std::wstring> Record() {
        for (int waited = 0; waited < 10000 && !fs::exists(record_); waited += 50, Sleep(50)) {
        }
        auto values = test::ReadRecord(record_.wstring());
        fs::remove(record_);
        return values;
    }

    const fs::path scratch_ = fs::temp_directory_path() / (L"flashgate-layout-" + std::to_wstring(GetCurrentProcessId()));
    const fs::path current_ = scratch_ / L"current";
    const fs::path onPath_ = scratch_ / L"on-path";
    const fs::path record_ = scratch_ / L"record.txt";
    // For the starts that must fail: a name no program but this test's has.
    const std::wstring absent_ = L"flashgate-layout-absent-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    std::vector<fs::path> searched_;
    std::vector<fs::path> put_;
    fs::path savedDirectory_;
    std::wstring savedPath_;
};

// The stand-in in one folder of the search, or in two neighbours in the
// search order (the earlier one wins), or nowhere.
TEST_F(FlashUtilityLayout, TheShellStartWouldUseTheFileProcessCreationStarts) {
    struct Layout {
        std::vector<fs::path> folders;
        fs::path expected;                          // the folder that wins, or none
        const wchar_t* leaveOutCurrent = nullptr;  // NoDefaultCurrentDirectoryInExePath
    };
    std::vector<Layout> layouts = {{{}, L""}, {{current_}, L"", L"1"}};
    for (size_t i = 0; i < searched_.size(); ++i) {
        layouts.push_back({{searched_[i]}, searched_[i]});
        if (i + 1 < searched_.size()) {
            layouts.push_back({{searched_[i + 1], searched_[i]}, searched_[i]});
        }
    }
    std::wstring skipped;
    for (const Layout& layout : layouts) {
        // A start that must fail looks for a name that no other program has.
        const std::wstring name = layout.expected.empty() ? absent_ : L"WinPhlash.exe";
        SCOPED_TRACE(testing::Message() << "expected " << layout.expected << " of " << layout.folders.size());
        if (!Put(layout.folders, name)) {
            skipped = L"a " + name + L" is in one of " + std::to_wstring(layout.folders.size()) +
                      L" folders already, which this test did not put there";
            continue;
        }
        SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", layout.leaveOutCurrent);
        wchar_t found[MAX_PATH] = L"";
        const HRESULT search = FindProgramAsProcessCreationDoes(name.c_str(), found);
        if (const std::wstring foreign = Foreign(name); !foreign.empty()) {
            skipped = L"a start would reach " + foreign + L", which this test did not put there";
            SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", nullptr);
            continue;
        }
        const std::u16string commandLine(name.begin(), name.end());
        const HRESULT start = WindowsGate().StartProgram(commandLine.c_str(), SW_SHOWNORMAL);
        SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", nullptr);
        if (layout.expected.empty()) {
            EXPECT_EQ(start, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
            EXPECT_TRUE(FAILED(search));
            continue;
        }
        ASSERT_EQ(start, S_OK);
        EXPECT_EQ(search, S_OK);
        // The same file, whatever the name: a 32-bit program on 64-bit
        // Windows sees System32 through its redirection to SysWOW64.
        const fs::path started = Record()[L"path"];
        EXPECT_TRUE(fs::equivalent(found, started)) << found << " is not " << started;
        EXPECT_TRUE(fs::equivalent(layout.expected / L"WinPhlash.exe", started)) << started;
    }
    if (!skipped.empty()) {
        GTEST_SKIP() << fs::path(skipped).u8string();
    }
}

TEST_F(FlashUtilityLayout, TheShellStartsTheFoundFileShownNormallyOrFailsWithoutOne) {
    ASSERT_TRUE(Put({onPath_}));
    if (const std::wstring foreign = Foreign(); !foreign.empty()) {
        GTEST_SKIP() << "a start would reach " << fs::path(foreign).u8string() << ", which this test did not put there";
    }
    ASSERT_EQ(WindowsGate().StartProgramThroughShell(u"WinPhlash.exe", SW_SHOWNORMAL), S_OK);
    auto record = Record();
    EXPECT_EQ(record[L"show"], L"1");
    EXPECT_TRUE(fs::equivalent(record[L"path"], onPath_ / L"WinPhlash.exe")) << record[L"path"];

    // A start that must fail, of a name that no other program has.
    ASSERT_TRUE(Put({}));
    ASSERT_EQ(Foreign(absent_), L"");
    const std::u16string absent(absent_.begin(), absent_.end());
    EXPECT_TRUE(FAILED(WindowsGate().StartProgramThroughShell(absent.c_str(), SW_SHOWNORMAL)));
}

}  // namespace
}  // namespace flashgate::win
