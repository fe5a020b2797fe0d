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

// How the programs the self-test starts are watched, decided once for the run.
struct Watching {
    bool inJob = true;        // each in a job of the self-test's own, which ends all it started
    DWORD creationFlags = 0;  // CREATE_BREAKAWAY_FROM_JOB where the self-test's own job allows it
    std::wstring said;        // for the report's head
};

// A job of the self-test's own for each program where Windows lets it make
// one, and otherwise none. `withoutJob` asks for none (--no-job).
Watching HowToWatch(bool withoutJob);

struct MeetingPlan {
    std::wstring program;
    std::wstring currentFolder;
    std::wstring environment;  // a block of NAME=value strings, as CreateProcessW takes it
    Dismissal dismissal = Dismissal::Ok;
    std::wstring standInRecord;  // the file a started stand-in writes
    std::wstring holdFile;       // exists while the program runs, so that a started stand-in lives on
    std::wstring pictureBase;    // if set, the first notice waits for a picture (see HoldForPicture)
    DWORD programLimitMs = 30000;  // from the start to the program's end
    Watching watching;
};

struct NoticeSeen {
    std::wstring title, text, buttons, icon;
    bool held = false;  // the program kept running, waiting on it, while it was up
};

struct Meeting {
    std::wstring error;  // set if the program could not be started or watched
    bool ended = false;
    DWORD exitCode = 0;
    unsigned notices = 0;
    NoticeSeen notice;         // the first one
    bool dismissed = true;     // every notice went when it was dismissed
    bool okByCommand = false;  // OK's click did not take, the command it sends did
    bool noOkButton = false;   // a notice to be dismissed by OK had none
    unsigned unseenNotices = 0;  // notices on the window station no one can see
    unsigned otherWindows = 0; // visible windows of the program that are not notices
    unsigned started = 0;      // processes the program started, directly or not
    std::wstring startedNames; // the file names of those seen running, for a person to read
    unsigned runningAtEnd = 0; // of those, still running when the program ended
    DWORD secondsAfterStandIn = 0;  // if not ended: it was still running this long after the stand-in started
    bool afterDismissal = false;    // if not ended: it was still running long after its last notice went
    bool watchedWithoutJob = false; // a job could not be made to hold it, so it was watched without one
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

// Which icon a message box shows, from the pixels of its picture: the
// exclamation's yellow triangle, the hand's red disc, or the blue disc of
// information and the question; "none" where nothing is drawn.
std::wstring IconKind(HDC picture, const RECT& area);

// The icon a handle holds, drawn here: how the self-test reads a notice's
// icon on Windows, where an icon handle serves every process of the session.
std::wstring IconOfHandle(HICON icon, int width, int height);

}  // namespace flashgate::selftest
