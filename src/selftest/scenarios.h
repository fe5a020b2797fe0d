// The scenarios: a fresh folder with flashgate.exe and, where the scenario
// wants it, a stand-in WinPhlash.exe; the program met as a user meets it;
// and what it must have done, which the board decides.
#pragma once

#include <string>

#include "selftest/board_records.h"
#include "selftest/meeting.h"
#include "selftest/report.h"

namespace flashgate::selftest {

enum StandInFolders : unsigned { kNowhere = 0, kOwn = 1, kCurrent = 2, kOnPath = 4 };

struct Scenario {
    const wchar_t* name;
    enum class For { Notice, Admit, EveryBoard } board;
    unsigned standIn;  // StandInFolders
    Dismissal dismissal;
    const wchar_t* about;
};

inline constexpr Scenario kScenarios[] = {
    {L"notice-ok", Scenario::For::Notice, kOwn, Dismissal::Ok, L"the notice, dismissed by its OK button"},
    {L"notice-escape", Scenario::For::Notice, kOwn, Dismissal::Escape, L"the notice, dismissed by the Escape key"},
    {L"notice-close", Scenario::For::Notice, kOwn, Dismissal::Close, L"the notice, dismissed by its close box"},
    {L"own", Scenario::For::Admit, kOwn, Dismissal::Ok, L"WinPhlash.exe in the program's own folder"},
    {L"own-before-current", Scenario::For::Admit, kOwn | kCurrent, Dismissal::Ok,
     L"WinPhlash.exe in the program's folder and the current one: its own wins"},
    {L"current", Scenario::For::Admit, kCurrent, Dismissal::Ok, L"WinPhlash.exe only in the current folder"},
    {L"path", Scenario::For::Admit, kOnPath, Dismissal::Ok, L"WinPhlash.exe only in a folder on PATH"},
    {L"nowhere", Scenario::For::Admit, kNowhere, Dismissal::Ok, L"no WinPhlash.exe anywhere: nothing shown"},
    {L"unseen", Scenario::For::EveryBoard, kOwn, Dismissal::Unseen,
     L"started on a window station no one can see: no notice"},
};

struct ScenarioSetting {
    std::wstring program;        // the flashgate.exe checked
    std::wstring standIn;        // the stand-in, copied as WinPhlash.exe
    std::wstring elevatedStandIn;  // the one that requires administrator rights
    Outcome outcome = Outcome::WrongModelNotice;
    bool visible = true;         // a notice on this window station can be seen
    std::wstring pictureBase;
    Watching watching;
};

void RunScenario(const Scenario& scenario, const ScenarioSetting& setting, Report& report);

// For a person at the machine: the stand-in requires administrator rights,
// Windows asks for consent, and the person accepts (or declines) it.
void RunElevationScenario(bool accept, const ScenarioSetting& setting, Report& report);

}  // namespace flashgate::selftest
