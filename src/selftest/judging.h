// What the self-test concludes from one meeting with flashgate.exe: the
// scenario, what the board must lead to, what was seen and what the stand-in
// wrote, turned into one report line. Plain C++, no Windows: the Windows
// side gathers the facts, and the native tests hold every rule here to the
// fault it catches.
#pragma once

#include <map>
#include <string>

#include "selftest/expectation.h"
#include "selftest/report.h"

namespace flashgate::selftest {

// How the notice is met.
enum class Dismissal {
    Ok,      // the OK button
    Escape,  // the Escape key
    Close,   // the close box
    Unseen,  // started on a window station no one can see, as a service is
};

// How flashgate.exe is started: as a double-click starts it, or with the show
// state a script, a shortcut or a deployment tool may ask for.
enum class Start {
    Plain,      // no show state asked for
    Hidden,     // STARTF_USESHOWWINDOW with SW_HIDE
    Minimised,  // STARTF_USESHOWWINDOW with SW_SHOWMINNOACTIVE
    PrivateDesktop,  // on a desktop of WinSta0 that no one switches to (lpDesktop)
};

enum StandInFolders : unsigned { kNowhere = 0, kOwn = 1, kCurrent = 2, kOnPath = 4 };

struct Scenario {
    const wchar_t* name;
    enum class For { Notice, Admit, EveryBoard } board;
    unsigned standIn;  // StandInFolders
    Dismissal dismissal;
    const wchar_t* about;
    Start start = Start::Plain;
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
    {L"hidden-start", Scenario::For::EveryBoard, kOwn, Dismissal::Ok,
     L"started hidden, as a script or a deployment tool may: no notice, and WinPhlash.exe shown normally",
     Start::Hidden},
    {L"minimised-start", Scenario::For::EveryBoard, kOwn, Dismissal::Ok,
     L"started minimised, as a shortcut may: the notice all the same, and WinPhlash.exe shown normally",
     Start::Minimised},
    {L"private-desktop", Scenario::For::EveryBoard, kOwn, Dismissal::Ok,
     L"started on a desktop no one switches to, as some deployment tools do: no notice, and WinPhlash.exe shown "
     L"normally",
     Start::PrivateDesktop},
};

struct NoticeSeen {
    std::wstring title, text, buttons, icon;
    bool held = false;       // the program kept running, waiting on it, while it was up
    bool minimised = false;  // it came up minimised, a taskbar button
};

// What a meeting with the program saw.
struct Seen {
    std::wstring error;  // set if the program could not be started or watched
    bool ended = false;
    unsigned long exitCode = 0;
    unsigned notices = 0;
    NoticeSeen notice;           // the first one
    bool dismissed = true;       // every notice went when it was dismissed
    bool okByCommand = false;    // OK's click did not take, the command it sends did
    bool noOkButton = false;     // a notice to be dismissed by OK had none
    unsigned unseenNotices = 0;  // notices no one could see: on a desktop no one sees, or kept hidden
    unsigned otherWindows = 0;   // visible windows of the program that are not notices
    unsigned started = 0;        // processes the program started, directly or not
    std::wstring startedNames;   // the file names of those seen running, for a person to read
    unsigned runningAtEnd = 0;   // of those, still running when the program ended
    unsigned long secondsAfterStandIn = 0;  // if not ended: it was still running this long after the stand-in started
    bool afterDismissal = false;     // if not ended: it was still running long after its last notice went
    bool watchedWithoutJob = false;  // a job could not be made to hold it, so it was watched without one
    bool foregroundHandedOn = false;  // the self-test's foreground was handed on to it (MeetingPlan::handForeground)
};

// What a started stand-in wrote: key=value lines; empty if none was started.
using Record = std::map<std::wstring, std::wstring>;

// One run of a scenario, as the Windows side gathered it.
struct ScenarioRun {
    const Scenario* scenario = nullptr;
    Outcome outcome = Outcome::WrongModelNotice;
    bool visible = true;  // a notice on this window station can be seen
    Seen seen;
    Record record;
    std::wstring expectedFrom;  // the WinPhlash.exe the program must have started
    bool fromExpected = false;  // the record's path is that file (known by identity, which only Windows can tell)
    unsigned long limitSeconds = 30;  // from the start to the program's end
};

struct Judgement {
    Report::Result result;
    std::wstring detail;
};

// Empty where the scenario is for a board like this one; else why it is not.
std::wstring NotForThisBoard(const Scenario& scenario, Outcome outcome);

Judgement Judge(const ScenarioRun& run);

// The consent checks, which a person answers: whether the elevated stand-in
// ran (accepted), in the program's current folder, or nothing ran (declined).
struct ElevationRun {
    bool accept = true;
    Seen seen;
    Record record;
    bool fromOwnFolder = false;    // the record's path is the program's own folder's WinPhlash.exe
    bool inCurrentFolder = false;  // the record's current folder is the program's
    std::wstring expectedCurrent;  // the program's current folder
    unsigned long limitSeconds = 120;
};
Judgement JudgeElevation(const ElevationRun& run);

// A person's answer to "Did the prompt come to the front by itself, without
// a click on the taskbar? [y/n]" after a consent check, the first character
// of the line typed (0 where none came); `handedOn`: the self-test held the
// foreground and handed it on to flashgate.exe, as Explorer does on a
// double-click.
Judgement JudgePromptInFront(bool handedOn, wchar_t answer);

}  // namespace flashgate::selftest
