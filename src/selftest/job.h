// Jobs of our own, and the one way the self-test, its Windows-side runner,
// the end-to-end launcher and the bench start a program they watch: started
// suspended, put in a job that ends everything in it when it goes, resumed.
// Nothing the program starts can escape the job, and nothing outlives it.
#pragma once

#include <windows.h>

#include <string>

#include "handles.h"

namespace flashgate::test {

// A job that ends every process in it when its last handle is closed, with
// `limits` besides; none where Windows makes none.
inline UniqueHandle KillOnCloseJob(DWORD limits = 0) {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION information{};
    information.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | limits;
    if (job && !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &information, sizeof information)) {
        job.reset();
    }
    return job;
}

// How many processes the job has held in all, and holds now.
inline JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
    QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, nullptr);
    return accounting;
}

inline STARTUPINFOW NewStartupInfo() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return startup;
}

// What CreateProcessW is given.
struct ProgramStart {
    std::wstring application;  // empty: the command line's first word, searched for
    std::wstring commandLine;
    const wchar_t* folder = nullptr;   // null: ours
    wchar_t* environment = nullptr;    // a UTF-16 block of NAME=value strings; null: ours
    STARTUPINFOW startup = NewStartupInfo();
    DWORD creationFlags = 0;  // CREATE_SUSPENDED and CREATE_UNICODE_ENVIRONMENT are added
    bool inheritHandles = false;
};

// A program started suspended, not yet resumed; `error` is CreateProcessW's
// where none started.
struct SuspendedStart {
    UniqueProcessInformation program;
    DWORD error = ERROR_SUCCESS;
};

inline SuspendedStart StartSuspended(ProgramStart start) {
    PROCESS_INFORMATION started{};
    SuspendedStart result;
    if (CreateProcessW(start.application.empty() ? nullptr : start.application.c_str(), start.commandLine.data(),
                       nullptr, nullptr, start.inheritHandles,
                       start.creationFlags | CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, start.environment,
                       start.folder, &start.startup, &started)) {
        result.program = UniqueProcessInformation(started);
    } else {
        result.error = GetLastError();
    }
    return result;
}

// A program running in a job of ours; `job` is none where Windows would not
// put it in one (a job that lets nothing break away, on Windows 7), or where
// none was asked for, and the program runs all the same.
struct JobStart {
    UniqueProcessInformation program;
    UniqueHandle job;
    DWORD error = ERROR_SUCCESS;  // CreateProcessW's, where nothing started
    bool readied = false;         // `ready` succeeded
};

// `ready`, if given, is called with the program's process id before it runs
// an instruction of its own (AllowSetForegroundWindow, say).
inline JobStart StartInJob(const ProgramStart& start, bool inJob = true, BOOL(WINAPI* ready)(DWORD) = nullptr) {
    JobStart result;
    SuspendedStart suspended = StartSuspended(start);
    if (!suspended.program) {
        result.error = suspended.error;
        return result;
    }
    result.program = std::move(suspended.program);
    if (inJob) {
        result.job = KillOnCloseJob();
        if (result.job && !AssignProcessToJobObject(result.job.get(), result.program.process())) {
            result.job.reset();
        }
    }
    result.readied = ready != nullptr && ready(result.program.id());
    ResumeThread(result.program.thread());
    result.program.CloseThread();
    return result;
}

}  // namespace flashgate::test
