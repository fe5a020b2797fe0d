// Jobs where Windows allows them, parent processes where it does not.
#include "selftest/process_tree.h"

#include <tlhelp32.h>

#include <set>

#include "selftest/job.h"
#include "selftest/scratch.h"
#include "selftest/wine_ways.h"

namespace flashgate::selftest {
namespace {

// Whether a program started with `flags` can be put in a job of the
// self-test's own. Tried on a suspended copy of the self-test, which runs
// none of its code and is ended at once.
bool JobCanHold(DWORD flags) {
    test::ProgramStart start;
    start.application = ThisProgram();
    start.commandLine = L"\"" + start.application + L"\"";
    start.creationFlags = flags;
    const test::SuspendedStart probe = test::StartSuspended(start);
    if (!probe.program) {
        return false;
    }
    const test::UniqueHandle job = test::KillOnCloseJob();
    const bool held = job && AssignProcessToJobObject(job.get(), probe.program.process());
    TerminateProcess(probe.program.process(), 1);
    WaitForSingleObject(probe.program.process(), 5000);
    return held;
}

}  // namespace

Watching HowToWatch(bool withoutJob) {
    if (withoutJob) {
        return {false, 0,
                L"without a job, as asked (--no-job): what a program starts is found by its parent process "
                L"and ended one by one"};
    }
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || !inJob) {
        return {true, 0, L"each program in a job of the self-test's own"};
    }
    // Task Scheduler, Run As and some remote sessions start programs in a
    // job. A program leaves it where the job lets it (else its start with
    // CREATE_BREAKAWAY_FROM_JOB fails); where it does not, a job of the
    // self-test's own holds it only where Windows nests jobs (8 and later).
    if (JobCanHold(CREATE_BREAKAWAY_FROM_JOB)) {
        return {true, CREATE_BREAKAWAY_FROM_JOB,
                L"the self-test runs in a job that lets programs break away: each is started outside it, in a job of "
                L"the self-test's own"};
    }
    if (JobCanHold(0)) {
        return {true, 0, L"the self-test runs in a job that lets no program break away: each is watched in a job nested in it"};
    }
    return {false, 0,
            L"the self-test runs in a job that lets no program break away, and this Windows puts no job inside "
            L"another (7 and older): programs are watched without a job, what they start found by its parent "
            L"process and ended one by one"};
}

ProcessTree::ProcessTree(HANDLE job, HANDLE program, DWORD programId) : job_(job), programId_(programId) {
    FILETIME exited, kernel, user;
    GetProcessTimes(program, &created_, &exited, &kernel, &user);
}

void ProcessTree::Look() {
    for (const DWORD id : job_ != nullptr ? InJob() : ByParent()) {
        if (id == programId_ || seen_.count(id) != 0) {
            continue;
        }
        test::UniqueHandle process(
            OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id));
        FILETIME created{}, exited, kernel, user;
        if (!process) {
            continue;
        }
        if (job_ == nullptr && (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user) ||
                                CompareFileTime(&created, &created_) < 0)) {
            continue;
        }
        wchar_t path[MAX_PATH] = L"";
        DWORD length = MAX_PATH;
        const bool named = QueryFullProcessImageNameW(process.get(), 0, path, &length) != FALSE;
        // A process that is only starting may have no name yet: it is looked at again.
        if (!named && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            continue;
        }
        const std::wstring file(path, named ? length : 0);
        const bool desktop = named && IsWineDesktopProcess(file);
        seen_[id] = {std::move(process), desktop};
        const std::wstring name = file.substr(file.find_last_of(L'\\') + 1);
        if (named && !desktop && (L"," + names_ + L",").find(L"," + name + L",") == std::wstring::npos) {
            names_ += (names_.empty() ? L"" : L",") + name;
        }
    }
}

unsigned ProcessTree::Started() const {
    unsigned seen = 0, desktops = 0;
    for (const auto& [id, process] : seen_) {
        (process.desktop ? desktops : seen) += 1;
    }
    const DWORD total = job_ != nullptr ? test::Accounting(job_).TotalProcesses : 0;
    return total > 1 + desktops + seen ? total - 1 - desktops : seen;
}

unsigned ProcessTree::Running() const {
    unsigned running = 0;
    for (const auto& [id, process] : seen_) {
        running += !process.desktop && WaitForSingleObject(process.handle.get(), 0) == WAIT_TIMEOUT ? 1U : 0U;
    }
    return running;
}

void ProcessTree::EndAll() {
    if (job_ != nullptr) {
        TerminateJobObject(job_, 1);
    }
    for (const auto& [id, process] : seen_) {
        if (job_ == nullptr && !process.desktop) {
            TerminateProcess(process.handle.get(), 1);
        }
    }
    for (const auto& [id, process] : seen_) {
        WaitForSingleObject(process.handle.get(), process.desktop ? 0 : 5000);
    }
}

std::vector<DWORD> ProcessTree::InJob() const {
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];
    } ids{};
    ids.list.NumberOfAssignedProcesses = 64;
    std::vector<DWORD> found;
    if (QueryInformationJobObject(job_, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr)) {
        for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
            found.push_back(static_cast<DWORD>(ids.list.ProcessIdList[i]));
        }
    }
    return found;
}

std::vector<DWORD> ProcessTree::ByParent() const {
    std::vector<PROCESSENTRY32W> all;
    const test::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot) {
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
            all.push_back(entry);
        }
    }
    std::set<DWORD> family{programId_};
    for (const auto& [id, process] : seen_) {
        family.insert(id);
    }
    std::vector<DWORD> found;
    for (bool grew = true; grew;) {
        grew = false;
        for (const PROCESSENTRY32W& entry : all) {
            if (family.count(entry.th32ParentProcessID) != 0 && family.insert(entry.th32ProcessID).second) {
                found.push_back(entry.th32ProcessID);
                grew = true;
            }
        }
    }
    return found;
}

}  // namespace flashgate::selftest
