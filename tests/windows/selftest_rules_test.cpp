// The self-test's own rules that only Windows can show, which every
// end-to-end check rests on: how it reads the suite's results, the
// environment it gives the programs it starts, where it looks
// before it starts anything, what it counts as started, how its stand-in
// learns what to do, what it leaves, and what it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "selftest/job.h"
#include "selftest/machine.h"
#include "selftest/notice_icon.h"
#include "selftest/notice_reading.h"
#include "selftest/program_support.h"
#include "selftest/report.h"
#include "selftest/scratch.h"
#include "selftest/search_order.h"
#include "selftest/windows_layer.h"
#include "selftest/wine_ways.h"

namespace flashgate::selftest {
namespace {

// A run of the Windows-side suite as its results record and exit status
// show it: one check a test, whatever its message holds, and one more where
// the run went wrong, naming the test it was in.
TEST(SelfTestSuiteResults, EachRecordedTestIsOneCheckAndARunThatWentWrongIsNamed) {
    struct Case {
        std::vector<std::pair<std::wstring, std::wstring>> record;
        DWORD exitCode;
        std::vector<std::wstring> checks;
    };
    const std::vector<Case> cases = {
        {{{L"A.Passes", L"ok"}, {L"A.Fails", L"FAIL: Expected: 1   Actual: 2"}, {L"B.Skips", L"skipped: no utility"},
          {L"ended", L"yes"}},
         1,
         {L"windows-layer A.Passes: ok", L"windows-layer A.Fails: FAIL: Expected: 1   Actual: 2",
          L"windows-layer B.Skips: skipped: no utility"}},
        {{{L"A.Says", L"ok: windows-layer A.Says: FAIL: x"}, {L"B.Skips", L"skipped: FAIL: y"},
          {L"C.Fails", L"FAIL: expected ok, was FAIL: z"}, {L"ended", L"yes"}},
         1,
         {L"windows-layer A.Says: ok: windows-layer A.Says: FAIL: x", L"windows-layer B.Skips: skipped: FAIL: y",
          L"windows-layer C.Fails: FAIL: expected ok, was FAIL: z"}},
        {{{L"A.Passes", L"ok"}, {L"running", L"B.Hangs"}},
         STILL_ACTIVE,
         {L"windows-layer A.Passes: ok", L"windows-layer: FAIL: the suite did not end within ten minutes, in B.Hangs"}},
        {{{L"A.Passes", L"ok"}, {L"running", L"B.Dies"}},
         0xC0000005,
         {L"windows-layer A.Passes: ok",
          L"windows-layer: FAIL: the suite stopped with status 3221225477 after 1 tests, in B.Dies"}},
        {{{L"A.Passes", L"ok"}},
         0,
         {L"windows-layer A.Passes: ok",
          L"windows-layer: FAIL: the suite stopped with status 0 after 1 tests, before its end"}},
        {{}, 0, {L"windows-layer: FAIL: the suite ended with status 0 and wrote no results"}},
        {{{L"ended", L"yes"}}, 0, {L"windows-layer: FAIL: the suite ended with status 0 after 0 tests"}},
        {{{L"A.Passes", L"ok"}, {L"ended", L"yes"}},
         1,
         {L"windows-layer A.Passes: ok", L"windows-layer: FAIL: the suite ended with status 1 after 1 tests"}},
        {{{L"A.Passes", L"passed"}, {L"ended", L"yes"}},
         1,
         {L"windows-layer A.Passes: FAIL: recorded as \"passed\", expected ok, FAIL or skipped"}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        Report report(false, false);
        for (const SuiteCheck& check : SuiteChecks(cases[i].record, cases[i].exitCode)) {
            report.Check(check.name, check.result, check.detail);
        }
        const std::wstring path = ScratchRoot() + L"\\report.txt";
        ASSERT_TRUE(report.WriteTo(path));
        std::vector<std::wstring> lines = test::Lines(test::ReadUtf8(path));
        EXPECT_EQ(lines, cases[i].checks) << "case " << i;
    }
    RemoveScratch();
}

// The block's NAME=value strings, in order.
std::vector<std::wstring> Entries(const std::wstring& block) {
    std::vector<std::wstring> entries;
    for (size_t at = 0; at < block.size() && block[at] != L'\0'; at += entries.back().size() + 1) {
        entries.emplace_back(block.c_str() + at);
    }
    return entries;
}

TEST(SelfTestEnvironment, VariablesAreSetAndTakenOutByNameWhateverTheirCaseAndKeptSorted) {
    SetEnvironmentVariableW(L"FLASHGATE_RULES_GONE", L"1");
    SetEnvironmentVariableW(L"FLASHGATE_RULES_KEPT", L"2");
    const std::wstring block = EnvironmentBlock({{L"path", L"C:\\only"}}, {L"flashgate_rules_gone"});
    SetEnvironmentVariableW(L"FLASHGATE_RULES_GONE", nullptr);
    SetEnvironmentVariableW(L"FLASHGATE_RULES_KEPT", nullptr);

    ASSERT_EQ(block.substr(block.size() - 2), std::wstring(2, L'\0'));
    const std::vector<std::wstring> entries = Entries(block);
    int paths = 0, kept = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::wstring name = entries[i].substr(0, entries[i].find(L'=', 1));
        paths += CompareStringOrdinal(name.c_str(), -1, L"PATH", -1, TRUE) == CSTR_EQUAL ? 1 : 0;
        kept += entries[i] == L"FLASHGATE_RULES_KEPT=2" ? 1 : 0;
        EXPECT_EQ(entries[i].rfind(L"FLASHGATE_RULES_GONE=", 0), std::wstring::npos);
        if (i > 0) {
            const std::wstring before = entries[i - 1].substr(0, entries[i - 1].find(L'=', 1));
            EXPECT_NE(CompareStringOrdinal(before.c_str(), -1, name.c_str(), -1, TRUE), CSTR_GREATER_THAN) << name;
        }
    }
    EXPECT_EQ(paths, 1);
    EXPECT_EQ(kept, 1);
    EXPECT_NE(std::find(entries.begin(), entries.end(), L"path=C:\\only"), entries.end());
}

TEST(SelfTestSearchOrder, FoldersComeInProcessCreationsOrderAndEveryFileFoundCounts) {
    const std::wstring windows = test::WindowsFolder();
    EXPECT_EQ(test::ProcessCreationSearchFolders(L"C:\\own", L"C:\\current", L"C:\\a;;C:\\b;"),
              (std::vector<std::wstring>{L"C:\\own", L"C:\\current", test::SystemFolder(), windows + L"\\System",
                                         windows, L"C:\\a", L"C:\\b"}));
    EXPECT_EQ(test::ProcessCreationSearchFolders(L"C:\\own", L"", L"").size(), 4u);

    namespace fs = std::filesystem;
    const fs::path scratch = fs::temp_directory_path() / (L"flashgate-rules-" + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(scratch / L"first");
    fs::create_directories(scratch / L"second");
    fs::create_directories(scratch / L"third" / L"WinPhlash.exe");  // a folder of that name is not the file
    std::ofstream(scratch / L"second" / L"WinPhlash.exe") << "stand-in";
    const std::vector<std::wstring> folders = {(scratch / L"third").wstring(), (scratch / L"first").wstring(),
                                               (scratch / L"second").wstring()};
    std::ofstream(scratch / L"first" / L"WinPhlash.exe") << "stand-in";
    const std::vector<std::wstring> found = test::EveryFound(folders, L"WinPhlash.exe");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(fs::path(found[0]), scratch / L"first" / L"WinPhlash.exe");
    EXPECT_EQ(fs::path(found[1]), scratch / L"second" / L"WinPhlash.exe");
    EXPECT_TRUE(test::EveryFound({(scratch / L"third").wstring()}, L"WinPhlash.exe").empty());
    fs::remove_all(scratch);
}

// Wine's desktop process is the one process a program may cause to start
// without having started it; nothing else is let off.
TEST(SelfTestStartedPrograms, OnlyWineDesktopProcessIsNotTheProgramsDoing) {
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const std::wstring windows = test::WindowsFolder();
    EXPECT_EQ(IsWineDesktopProcess(windows + L"\\system32\\explorer.exe"), wine);
    EXPECT_EQ(IsWineDesktopProcess(windows + L"\\SysWOW64\\EXPLORER.EXE"), wine);
    EXPECT_FALSE(IsWineDesktopProcess(windows + L"\\explorer.exe"));
    EXPECT_FALSE(IsWineDesktopProcess(windows + L"\\system32\\WinPhlash.exe"));
    EXPECT_FALSE(IsWineDesktopProcess(L"C:\\kit\\explorer.exe"));
    EXPECT_FALSE(IsWineDesktopProcess(windows + L"\\system32\\explorer.exe.exe"));
}

// Started hidden, a program's notice is one Windows keeps hidden: the self-
// test finds such a window of a program's only when it asks for hidden ones.
TEST(SelfTestWindows, AWindowNeverShownIsFoundOnlyAmongTheHiddenToo) {
    const HWND hidden = CreateWindowExW(0, L"#32770", L"never shown", WS_POPUP | WS_CAPTION, 0, 0, 100, 100, nullptr,
                                        nullptr, nullptr, nullptr);
    ASSERT_NE(hidden, nullptr);
    const auto found = [&](Shown shown) {
        const std::vector<HWND> windows = WindowsOf(GetCurrentProcessId(), nullptr, nullptr, shown);
        return std::find(windows.begin(), windows.end(), hidden) != windows.end();
    };
    EXPECT_FALSE(found(Shown::Only));
    EXPECT_TRUE(found(Shown::OrNot));
    EXPECT_EQ(ClassOf(hidden), L"#32770");
    DestroyWindow(hidden);
}

// The stand-in learns what to do from the file beside it, not from its
// environment, which Windows' elevation service does not pass on: started
// with next to no environment, it writes its record where it was told, with
// the folder it ran in. (Copied under its own name, which no flash utility has.)
TEST(SelfTestStandIn, WithoutAnEnvironmentItWritesItsRecordWhereItWasTold) {
    const std::wstring folder = ScratchRoot() + L"\\stand-in \u00FC", current = ScratchRoot() + L"\\current";
    const std::wstring standIn = folder + L"\\flashgate-standin.exe", record = ScratchRoot() + L"\\record.txt";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(current.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((FolderOf(ThisProgram()) + L"\\flashgate-standin.exe").c_str(), standIn.c_str(), TRUE));
    ASSERT_TRUE(test::TellStandIn(folder, record));
    std::wstring environment = L"SystemRoot=" + test::WindowsFolder() + std::wstring(2, L'\0');
    test::ProgramStart start;
    start.application = standIn;
    start.commandLine = L"\"" + standIn + L"\"";
    start.folder = current.c_str();
    start.environment = environment.data();
    const test::JobStart started = test::StartInJob(start);
    ASSERT_TRUE(started.program) << "error " << started.error;
    EXPECT_EQ(WaitForSingleObject(started.program.process(), 30000), WAIT_OBJECT_0);

    const auto written = test::ReadRecord(record);
    EXPECT_TRUE(SameFile(written.count(L"path") ? written.at(L"path") : L"", standIn));
    EXPECT_TRUE(SameFile(written.count(L"current") ? written.at(L"current") : L"", current));
    EXPECT_EQ(written.count(L"ended"), 0u);  // told of no hold file, it ended at once
    RemoveScratch();
}

// Whether Windows would ask for consent: not where it elevates an
// administrator without a prompt, nor where it denies a standard user's
// request without one; the token's elevation type tells which applies.
TEST(SelfTestConsent, TheConsentChecksRunOnlyWhereWindowsWouldAsk) {
    const auto why = [](bool known, bool elevated, TOKEN_ELEVATION_TYPE type, DWORD lua, DWORD admin, DWORD user) {
        ConsentSetting setting;
        setting.elevationKnown = known;
        setting.elevated = elevated;
        setting.type = type;
        setting.enableLua = lua;
        setting.promptAdmin = admin;
        setting.promptUser = user;
        return WhyNoConsentPrompt(setting);
    };
    const auto limited = TokenElevationTypeLimited, standard = TokenElevationTypeDefault, full = TokenElevationTypeFull;
    EXPECT_EQ(why(true, false, limited, 1, 5, 3), L"");   // an administrator, asked for consent
    EXPECT_EQ(why(true, false, standard, 1, 5, 3), L"");  // a standard user, asked for credentials
    EXPECT_EQ(why(true, false, limited, 1, 5, 0), L"");   // the user's setting is not an administrator's
    EXPECT_EQ(why(true, false, standard, 1, 0, 3), L"");  // nor the other way round
    EXPECT_NE(why(true, false, limited, 1, 0, 3).find(L"ConsentPromptBehaviorAdmin is 0"), std::wstring::npos);
    EXPECT_NE(why(true, false, standard, 1, 5, 0).find(L"ConsentPromptBehaviorUser is 0"), std::wstring::npos);
    EXPECT_NE(why(true, true, full, 1, 5, 3).find(L"elevated already"), std::wstring::npos);
    EXPECT_NE(why(true, false, standard, 0, 5, 3).find(L"EnableLUA is 0"), std::wstring::npos);
    EXPECT_NE(why(false, false, standard, 1, 5, 3).find(L"older than Vista"), std::wstring::npos);
}

// How the self-test reads a notice's icon on Windows: from its handle, drawn
// here. Wine's notices never take this way (their icons are read off the
// screen), so the system's own icons are drawn through it.
TEST(SelfTestIcon, AnIconHandleIsToldByWhatItDraws) {
    const int size = GetSystemMetrics(SM_CXICON);
    EXPECT_EQ(IconOfHandle(LoadIconW(nullptr, IDI_EXCLAMATION), size, size), L"exclamation");
    EXPECT_EQ(IconOfHandle(LoadIconW(nullptr, IDI_HAND), size, size), L"hand");
    EXPECT_EQ(IconOfHandle(LoadIconW(nullptr, IDI_ASTERISK), size, size), L"information or question");
    EXPECT_EQ(IconOfHandle(LoadIconW(nullptr, IDI_QUESTION), size, size), L"information or question");
    EXPECT_EQ(IconOfHandle(nullptr, size, size), L"");  // no handle: the screen is read instead
}

// What the self-test leaves: nothing, even where a file in it is read-only.
TEST(SelfTestScratch, ATreeGoesWithEverythingInItAndTheSameFileIsKnownByAnyName) {
    const std::wstring tree = ScratchRoot() + L"\\tree";
    ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((tree + L"\\inner \u00FC").c_str(), nullptr));
    const std::wstring file = tree + L"\\inner \u00FC\\WinPhlash.exe";
    ASSERT_TRUE(test::WriteUtf8(file, L"stand-in"));
    ASSERT_TRUE(test::WriteUtf8(tree + L"\\other.exe", L"stand-in"));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(SameFile(file, tree + L"\\INNER \u00DC\\.\\winphlash.EXE"));
    EXPECT_FALSE(SameFile(file, tree + L"\\other.exe"));
    EXPECT_FALSE(SameFile(file, tree + L"\\none.exe"));
    EXPECT_TRUE(RemoveTree(tree));
    EXPECT_EQ(GetFileAttributesW(tree.c_str()), INVALID_FILE_ATTRIBUTES);
    RemoveScratch();
}

// The report a vendor attaches is what the console showed, line for line,
// and only a failure makes the self-test fail.
TEST(SelfTestReport, EachCheckIsOneLineAndTheCountIsLast) {
    Report report(false, false);
    report.Line(L"board:    1 record");
    report.Check(L"own", Report::Result::Ok, L"started");
    report.Check(L"current", Report::Result::Ok, L"");
    report.Check(L"path", Report::Result::Skipped, L"a start would reach C:\\x");
    EXPECT_FALSE(report.failed());
    report.Check(L"nowhere", Report::Result::Failed, L"exit status 0, expected 3");
    report.Summary();
    EXPECT_TRUE(report.failed());

    const std::wstring path = ScratchRoot() + L"\\report \u00FC.txt";
    ASSERT_TRUE(report.WriteTo(path));
    EXPECT_EQ(test::ReadUtf8(path), L"board:    1 record\r\nown: ok: started\r\ncurrent: ok\r\n"
                                    L"path: skipped: a start would reach C:\\x\r\n"
                                    L"nowhere: FAIL: exit status 0, expected 3\r\n2 passed, 1 failed, 1 skipped\r\n");
    EXPECT_FALSE(report.WriteTo(ScratchRoot() + L"\\no such folder\\report.txt"));
    RemoveScratch();
}

// Where no skip may go unexplained (--no-unexplained-skips), a skip the
// board or the session explains stays one, and any other fails.
TEST(SelfTestReport, OnlyTheBoardsSkipsStaySkipsWhereNoneMayGoUnexplained) {
    Report report(true, false);
    report.Check(L"notice-ok", Report::Result::NotApplicable, L"for a board that gets a notice");
    EXPECT_FALSE(report.failed());
    report.Check(L"path", Report::Result::Skipped, L"a start could reach C:\\x");
    EXPECT_TRUE(report.failed());
    report.Summary();
    const std::wstring path = ScratchRoot() + L"\\report.txt";
    ASSERT_TRUE(report.WriteTo(path));
    EXPECT_EQ(test::ReadUtf8(path), L"notice-ok: skipped: for a board that gets a notice\r\n"
                                    L"path: FAIL: skipped: a start could reach C:\\x; expected it to run "
                                    L"(--no-unexplained-skips)\r\n0 passed, 1 failed, 1 skipped\r\n");
    RemoveScratch();
}

}  // namespace
}  // namespace flashgate::selftest
