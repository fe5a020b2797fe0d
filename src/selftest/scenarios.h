// The scenarios, each in a fresh folder with flashgate.exe and, where the
// scenario wants it, a stand-in WinPhlash.exe; the program met as a user
// meets it, and what it did judged against what the board must lead to.
#pragma once

#include <string>

#include "selftest/judging.h"
#include "selftest/process_tree.h"
#include "selftest/report.h"
#include "selftest/unseen_desktop.h"

namespace flashgate::selftest {

struct ScenarioSetting {
    std::wstring program;          // the flashgate.exe checked
    std::wstring standIn;          // the stand-in, copied as WinPhlash.exe
    std::wstring elevatedStandIn;  // the one that requires administrator rights
    Outcome outcome = Outcome::WrongModelNotice;
    bool visible = true;  // a notice on this window station can be seen
    std::wstring pictureBase;
    Watching watching;
    const UnseenDesktop* unseenStation = nullptr;   // for the scenario started where no one can see
    const UnseenDesktop* privateDesktop = nullptr;  // for the one started on a desktop no one switches to
};

void RunScenario(const Scenario& scenario, const ScenarioSetting& setting, Report& report);

// For a person at the machine: the stand-in requires administrator rights,
// Windows asks for consent, and the person accepts (or declines) it.
void RunElevationScenario(bool accept, const ScenarioSetting& setting, Report& report);

}  // namespace flashgate::selftest
