// Where the flash utility is started from. The shell start, taken when the
// flash utility requires elevation, must start the very file that plain
// process creation starts, in every folder layout; the stand-in flash utility
// records where it was started from.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "win/windows_gate.h"

namespace flashgate::win {
namespace {

namespace fs = std::filesystem;

std::wstring Lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

fs::path OwnFolder() {
    wchar_t path[MAX_PATH];
    return fs::path(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH))).parent_path();
}

// The folders process creation searches, in its order. The current folder and
// one at the front of PATH are made for the test; the stand-in's record goes
// beside them.
class FlashUtilityLayout : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t system[MAX_PATH], windows[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        GetWindowsDirectoryW(windows, MAX_PATH);
        searched_ = {OwnFolder(), current_, system, fs::path(windows) / L"System", windows, onPath_};
        for (const fs::path& folder : searched_) {
            fs::create_directories(folder);
        }
        savedDirectory_ = fs::current_path();
        fs::current_path(current_);
        savedPath_ = _wgetenv(L"PATH");
        SetEnvironmentVariableW(L"PATH", (onPath_.wstring() + L";" + savedPath_).c_str());
        SetEnvironmentVariableW(L"FLASHGATE_STANDIN_RECORD", record_.c_str());
    }

    void TearDown() override {
        fs::current_path(savedDirectory_);
        SetEnvironmentVariableW(L"PATH", savedPath_.c_str());
        SetEnvironmentVariableW(L"FLASHGATE_STANDIN_RECORD", nullptr);
        Put({});
        fs::remove_all(scratch_);
    }

    // The stand-in, built in the end-to-end tests' folder, as WinPhlash.exe
    // in each of `folders` and nowhere else.
    void Put(const std::vector<fs::path>& folders) {
        for (const fs::path& folder : searched_) {
            fs::remove(folder / L"WinPhlash.exe");
        }
        for (const fs::path& folder : folders) {
            fs::copy_file(OwnFolder().parent_path() / L"e2e" / L"WinPhlash.exe", folder / L"WinPhlash.exe");
        }
    }

    // What the started stand-in wrote down (KEY=value lines, UTF-8): waits
    // for its record, then removes it for the next start.
    std::map<std::string, std::wstring> Record() {
        std::map<std::string, std::wstring> values;
        for (int waited = 0; waited < 10000 && !fs::exists(record_); waited += 50, Sleep(50)) {
        }
        std::ifstream file(record_);
        for (std::string line; std::getline(file, line);) {
            const size_t equals = line.find('=');
            values[line.substr(0, equals)] = fs::u8path(line.substr(equals + 1)).wstring();
        }
        file.close();
        fs::remove(record_);
        return values;
    }

    const fs::path scratch_ = fs::temp_directory_path() / (L"flashgate-layout-" + std::to_wstring(GetCurrentProcessId()));
    const fs::path current_ = scratch_ / L"current";
    const fs::path onPath_ = scratch_ / L"on-path";
    const fs::path record_ = scratch_ / L"record.txt";
    std::vector<fs::path> searched_;
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
    for (const Layout& layout : layouts) {
        Put(layout.folders);
        SCOPED_TRACE(testing::Message() << "expected " << layout.expected << " of " << layout.folders.size());
        SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", layout.leaveOutCurrent);
        wchar_t found[MAX_PATH] = L"";
        const HRESULT search = FindProgramAsProcessCreationDoes(L"WinPhlash.exe", found);
        const HRESULT start = WindowsGate().StartProgram(u"WinPhlash.exe", SW_SHOWNORMAL);
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
        const fs::path started = Record()["path"];
        EXPECT_TRUE(fs::equivalent(found, started)) << found << " is not " << started;
        EXPECT_TRUE(fs::equivalent(layout.expected / L"WinPhlash.exe", started)) << started;
    }
}

TEST_F(FlashUtilityLayout, TheShellStartsTheFoundFileShownNormallyOrFailsWithoutOne) {
    Put({onPath_});
    ASSERT_EQ(WindowsGate().StartProgramThroughShell(u"WinPhlash.exe", SW_SHOWNORMAL), S_OK);
    auto record = Record();
    EXPECT_EQ(record["show"], L"1");
    EXPECT_EQ(Lower(record["path"]), Lower(onPath_ / L"WinPhlash.exe"));

    Put({});
    EXPECT_TRUE(FAILED(WindowsGate().StartProgramThroughShell(u"WinPhlash.exe", SW_SHOWNORMAL)));
}

}  // namespace
}  // namespace flashgate::win
