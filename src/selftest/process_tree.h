// Following what a program starts: how the self-test watches the programs
// it starts (in a job of its own where Windows lets it make one), and the
// processes a program started, directly or not.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "selftest/handles.h"

namespace flashgate::selftest {

// How the programs the self-test starts are watched, decided once for the run.
struct Watching {
    bool inJob = true;        // each in a job of the self-test's own, which ends all it started
    DWORD creationFlags = 0;  // CREATE_BREAKAWAY_FROM_JOB where the self-test's own job allows it
    std::wstring said;        // for the report's head
};

// A job of the self-test's own for each program where Windows lets it make
// one, and otherwise none. `withoutJob` asks for none (--no-job).
Watching HowToWatch(bool withoutJob);

// The processes a program started, directly or not: those in its job or,
// without one, those whose parent is the program or one of them and that
// were made after it (a process id can be used again). Wine's desktop
// processes are Wine's, not the program's, even where the program's need of
// a desktop started one: they are kept apart.
class ProcessTree {
public:
    // `job` may be null; the program's handles must outlive the tree.
    ProcessTree(HANDLE job, HANDLE program, DWORD programId);

    // Notes those running now.
    void Look();

    // How many the program started; the job also counts those that came and
    // went between two looks.
    unsigned Started() const;

    // Of those seen, how many are running now.
    unsigned Running() const;

    // Ends them all, and waits a while for each to have ended.
    void EndAll();

    // The file names of those seen, once each, for a person to read.
    const std::wstring& names() const { return names_; }

private:
    struct Process {
        test::UniqueHandle handle;
        bool desktop;
    };

    std::vector<DWORD> InJob() const;
    std::vector<DWORD> ByParent() const;

    HANDLE job_;
    DWORD programId_;
    FILETIME created_{};
    std::map<DWORD, Process> seen_;
    std::wstring names_;
};

}  // namespace flashgate::selftest
