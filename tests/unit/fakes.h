// Fakes for the WMI steps and the gate's platform operations. They behave as
// WMI and Windows do where it matters: objects are released once, when their
// slot is emptied or refilled; a Version may be text, null or unreadable; an
// enumeration may end or fail part-way; a step writes nothing when it fails.
// Both write what happens, in order, to one journal.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "board/board_version_prefix.h"
#include "board/step_result.h"
#include "gate/update_gate.h"

namespace flashgate::testing {

inline constexpr StepResult kFailed = static_cast<StepResult>(0x80041003u);  // WBEM_E_ACCESS_DENIED

// Objects released (by name), notices shown and programs started, in order.
using Journal = std::vector<std::string>;

// A reference to one platform object, like a ComPtr: it releases the object
// (writes its name to the journal) when emptied or when another replaces it.
struct ReleaseToJournal {
    Journal* journal;
    void operator()(std::string* name) const {
        journal->push_back(*name);
        delete name;
    }
};
struct FakeObjectRef : std::unique_ptr<std::string, ReleaseToJournal> {
    FakeObjectRef() : unique_ptr(nullptr, ReleaseToJournal{nullptr}) {}
    FakeObjectRef(std::string name, Journal* journal) : unique_ptr(new std::string(std::move(name)), ReleaseToJournal{journal}) {}
    void Reset() { reset(); }
};

struct FakeBoardRecord {
    enum class Version { Text, Null, Unreadable } version = Version::Text;
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
    StepResult success = kStepOk;  // what a step that works answers; WMI has other success codes
    Journal journal;  // what is released, and what the gate does

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
        record = FakeObjectRef("record " + std::to_string(delivered_), &journal);
        ++delivered_;
        return kStepOk;
    }

    // Reads the record delivered last, which is the one in the slot.
    StepResult ReadVersion(const Record& record, BoardVersionPrefix& prefix) {
        if (!record) {
            return kEmptySlot;
        }
        const FakeBoardRecord& board = records.at(delivered_ - 1);
        if (board.version == FakeBoardRecord::Version::Unreadable) {
            return kFailed;
        }
        prefix = board.version == FakeBoardRecord::Version::Null
                     ? BoardVersionPrefix::Valueless()
                     : BoardVersionPrefix::FromVersionText(board.text.data(), board.text.size());
        return success;
    }

private:
    static constexpr StepResult kEmptySlot = static_cast<StepResult>(0x80004003u);  // E_POINTER

    StepResult Make(FailingStep step, const char* name, FakeObjectRef& output) {
        if (failingStep == step) {
            return kFailed;
        }
        output = FakeObjectRef(name, &journal);
        return success;
    }

    std::size_t delivered_ = 0;
};

// Writes what the gate does to the journal; each operation can be made to fail.
class FakeGate {
public:
    explicit FakeGate(Journal& journal) : journal_(journal) {}

    StepResult noticeResult = kStepOk;
    StepResult startResult = kStepOk;
    StepResult shellStartResult = kStepOk;

    StepResult ShowNotice(const Notice& notice) {
        return Write("notice " + std::to_string(notice.style) + " " + Ascii(notice.title) + ": " + Ascii(notice.text),
                     noticeResult);
    }
    StepResult StartProgram(const char16_t* commandLine, int showState) {
        return Write("start " + Ascii(commandLine) + ", show " + std::to_string(showState), startResult);
    }
    StepResult StartProgramThroughShell(const char16_t* fileName, int showState) {
        return Write("shell start " + Ascii(fileName) + ", show " + std::to_string(showState), shellStartResult);
    }

private:
    StepResult Write(std::string entry, StepResult result) {
        journal_.push_back(std::move(entry));
        return result;
    }
    // The gate's texts are ASCII.
    static std::string Ascii(std::u16string_view text) { return std::string(text.begin(), text.end()); }

    Journal& journal_;
};

inline BoardVersionPrefix Prefix(std::u16string_view text) {
    return BoardVersionPrefix::FromVersionText(text.data(), text.size());
}

}  // namespace flashgate::testing
