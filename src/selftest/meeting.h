// Meets flashgate.exe the way a user would: starts it, finds its notice by
// process id, reads it, checks that the program waits on it, dismisses it,
// and says what happened, including what the program started.
#pragma once

#include <windows.h>

#include <string>

namespace flashgate::selftest {

enum class Dismissal {
    Ok,      // the OK button
    Escape,  // the Escape key
    Close,   // the close box
    Unseen,  // started on a window station no one can see, as a service is
};

struct MeetingPlan {
    std::wstring program;
    std::wstring currentFolder;
    std::wstring environment;  // a block of NAME=value strings, as CreateProcessW takes it
    Dismissal dismissal = Dismissal::Ok;
    std::wstring standInRecord;  // the file a started stand-in writes
    std::wstring holdFile;       // exists while the program runs, so that a started stand-in lives on
    std::wstring pictureBase;    // if set, the first notice waits for a picture (see HoldForPicture)
    DWORD programLimitMs = 30000;  // from the start to the program's end
};

struct NoticeSeen {
    std::wstring title, text, buttons, icon;
    bool held = false;  // the program was still running, waiting on it, a moment after it showed
};

struct Meeting {
    std::wstring error;  // set if the program could not be started or watched
    bool ended = false;
    DWORD exitCode = 0;
    unsigned notices = 0;
    NoticeSeen notice;         // the first one
    bool dismissed = true;     // every notice went when it was dismissed
    unsigned otherWindows = 0; // visible windows of the program that are not notices
    unsigned started = 0;      // processes the program started, directly or not
    std::wstring startedNames; // the file names of those seen running, for a person to read
    unsigned runningAtEnd = 0; // of those, still running when the program ended
    DWORD secondsAfterStandIn = 0;  // if not ended: it was still running this long after the stand-in started
};

// Runs the plan; returns once the program and everything it started has ended
// (ended by force after the time limits, which the result then shows).
Meeting Meet(const MeetingPlan& plan);

// Returns once this thread's desktop is there. Windows' desktops are there
// before any program; Wine starts a desktop's process when a program first
// needs it, and one started for flashgate.exe would count as something it
// started.
void AwaitDesktop(int tries = 120);  // half a second a try

// Ends the window station made for unseen meetings.
void EndUnseenStation();

}  // namespace flashgate::selftest
