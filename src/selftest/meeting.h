// Meets flashgate.exe the way a user would: starts it, finds its notice by
// process id, reads it, checks that the program waits on it, dismisses it,
// and says what happened, including what the program started.
#pragma once

#include <windows.h>

#include <string>

#include "selftest/judging.h"
#include "selftest/process_tree.h"
#include "selftest/unseen_desktop.h"
#include "selftest/wine_ways.h"

namespace flashgate::selftest {

struct MeetingPlan {
    std::wstring program;
    std::wstring currentFolder;
    std::wstring environment;  // a block of NAME=value strings, as CreateProcessW takes it
    Dismissal dismissal = Dismissal::Ok;
    Start start = Start::Plain;
    const UnseenDesktop* unseen = nullptr;  // where no one sees: started there, not on the session's desktop
    std::wstring standInRecord;  // the file a started stand-in writes
    std::wstring holdFile;       // exists while the program runs, so that a started stand-in lives on
    std::wstring pictureBase;    // if set, the first notice waits for a picture (see HoldForPicture)
    DWORD programLimitMs = 30000 * SlowerBy();  // from the start to the program's end
    // The self-test's right to set the foreground handed on to the program,
    // as Explorer hands its own on to a program a double-click starts.
    bool handForeground = false;
    Watching watching;
};

// Runs the plan; returns once the program and everything it started has ended
// (ended by force after the time limits, which what was seen then shows).
Seen Meet(const MeetingPlan& plan);

}  // namespace flashgate::selftest
