// Fakes for the WMI steps and the gate's platform operations. They behave as
// WMI and Windows do where it matters: objects are released once, when their
// slot is emptied or refilled; a Version may be text, null or unreadable; an
// enumeration may end or fail part-way; a step writes nothing when it fails.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "board/board_version_prefix.h"
#include "board/step_result.h"
#include "gate/update_gate.h"

namespace flashgate::testing {

inline constexpr StepResult kFailed = static_cast<StepResult>(0x80041003u);  // WBEM_E_ACCESS_DENIED

// Everything released, in order, by name.
using ReleaseJournal = std::vector<std::string>;

// A reference to one platform object, like a ComPtr: it releases the object
// when emptied or when a new object replaces it.
class FakeObjectRef {
public:
    FakeObjectRef() = default;
    FakeObjectRef(std::string name, ReleaseJournal* journal) : name_(std::move(name)), journal_(journal) {}
    FakeObjectRef(const FakeObjectRef&) = delete;
    FakeObjectRef& operator=(const FakeObjectRef&) = delete;
    FakeObjectRef& operator=(FakeObjectRef&& other) noexcept {
        Reset();
        name_ = std::move(other.name_);
        journal_ = other.journal_;
        other.journal_ = nullptr;
        return *this;
    }
    ~FakeObjectRef() { Reset(); }

    void Reset() {
        if (journal_ != nullptr) {
            journal_->push_back(name_);
            journal_ = nullptr;
        }
    }
    explicit operator bool() const { return journal_ != nullptr; }

private:
    std::string name_;
    ReleaseJournal* journal_ = nullptr;
};

struct FakeBoardRecord {
    enum class Version { Text, Null, Unreadable };
    Version version = Version::Text;
    std::u16string text;

    static FakeBoardRecord WithText(std::u16string text) { return {Version::Text, std::move(text)}; }
    static FakeBoardRecord WithNullVersion() { return {Version::Null, {}}; }
    static FakeBoardRecord WithUnreadableVersion() { return {Version::Unreadable, {}}; }
};

class FakeWmi {
public:
    using Services = FakeObjectRef;
    using ResultSet = FakeObjectRef;
    using Walker = FakeObjectRef;
    using Record = FakeObjectRef;

    enum class FailingStep { None, Bind, Query, StartWalk };

    std::vector<FakeBoardRecord> records;
    FailingStep failingStep = FailingStep::None;
    std::size_t walkFailsAfter = SIZE_MAX;  // records delivered before moving on fails
    ReleaseJournal released;

    StepResult BindServices(Services& services) { return Make(FailingStep::Bind, "services", services); }

    StepResult ExecQuery(const Services& services, ResultSet& resultSet) {
        return services ? Make(FailingStep::Query, "result set", resultSet) : kEmptySlot;
    }

    StepResult StartWalk(const ResultSet& resultSet, Walker& walker) {
        return resultSet ? Make(FailingStep::StartWalk, "walker", walker) : kEmptySlot;
    }

    StepResult NextRecord(const Walker& walker, Record& record) {
        if (!walker) {
            return kEmptySlot;
        }
        if (delivered_ == walkFailsAfter) {
            return kFailed;
        }
        if (delivered_ == records.size()) {
            return kStepNoMore;
        }
        record = FakeObjectRef("record " + std::to_string(delivered_), &released);
        ++delivered_;
        return kStepOk;
    }

    // Reads the record delivered last, which is the one in the slot.
    StepResult ReadVersion(const Record& record, BoardVersionPrefix& prefix) {
        if (!record) {
            return kEmptySlot;
        }
        const FakeBoardRecord& board = records.at(delivered_ - 1);
        switch (board.version) {
        case FakeBoardRecord::Version::Text:
            prefix = BoardVersionPrefix::FromVersionText(board.text.data(), board.text.size());
            return kStepOk;
        case FakeBoardRecord::Version::Null:
            prefix = BoardVersionPrefix::Valueless();
            return kStepOk;
        case FakeBoardRecord::Version::Unreadable:
            break;
        }
        return kFailed;
    }

private:
    static constexpr StepResult kEmptySlot = static_cast<StepResult>(0x80004003u);  // E_POINTER

    StepResult Make(FailingStep step, const char* name, FakeObjectRef& output) {
        if (failingStep == step) {
            return kFailed;
        }
        output = FakeObjectRef(name, &released);
        return kStepOk;
    }

    std::size_t delivered_ = 0;
};

// Records what the gate did, in order; each operation can be made to fail.
class FakeGate {
public:
    struct Event {
        enum class Kind { Notice, Start, ShellStart } kind;
        std::u16string text;   // notice text, command line or file name
        std::u16string title;
        unsigned style = 0;
        int showState = 0;
        ReleaseJournal releasedBefore;  // what had been released when it happened
    };

    std::vector<Event> events;
    StepResult noticeResult = kStepOk;
    StepResult startResult = kStepOk;
    StepResult shellStartResult = kStepOk;
    const ReleaseJournal* journal = nullptr;  // to see what was released before each event

    StepResult ShowNotice(const Notice& notice) {
        events.push_back({Event::Kind::Notice, notice.text, notice.title, notice.style, 0, ReleasedSoFar()});
        return noticeResult;
    }

    StepResult StartProgram(const char16_t* commandLine, int showState) {
        events.push_back({Event::Kind::Start, commandLine, {}, 0, showState, ReleasedSoFar()});
        return startResult;
    }

    StepResult StartProgramThroughShell(const char16_t* fileName, int showState) {
        events.push_back({Event::Kind::ShellStart, fileName, {}, 0, showState, ReleasedSoFar()});
        return shellStartResult;
    }

private:
    ReleaseJournal ReleasedSoFar() const { return journal ? *journal : ReleaseJournal{}; }
};

inline BoardVersionPrefix Prefix(std::u16string_view text) {
    return BoardVersionPrefix::FromVersionText(text.data(), text.size());
}

}  // namespace flashgate::testing
