// The start-up routine: reads the board, forms the gate verdict and carries it
// out, showing one notice or starting the flash utility.
#pragma once

#include "board/board_query_objects.h"
#include "board/read_board_version_prefix.h"
#include "gate/update_gate.h"

namespace flashgate {

// `Gate` provides the two platform operations, each returning its HRESULT:
//   ShowNotice(const Notice&)                      a modal message box; returns when dismissed
//   StartProgram(const char16_t* commandLine, int showState)   start, never wait
template <class Gate>
ExitStatus CarryOutVerdict(GateVerdict verdict, Gate& gate) {
    // A notice that cannot be shown is passed over silently; the outcome the
    // verdict names stands.
    switch (verdict) {
    case GateVerdict::NoVersion:
        gate.ShowNotice(kAdministratorNotice);
        return ExitStatus::AdministratorNotice;
    case GateVerdict::OtherBoard:
        gate.ShowNotice(kWrongModelNotice);
        return ExitStatus::WrongModelNotice;
    case GateVerdict::Admit:
        break;
    }
    return StepFailed(gate.StartProgram(kFlashUtilityCommandLine, kFlashUtilityShowState))
               ? ExitStatus::FlashUtilityNotStarted
               : ExitStatus::FlashUtilityStarted;
}

// Runs once per program run. The board query objects stay alive until the
// notice has been dismissed or the flash utility started, then go together.
template <class Wmi, class Gate>
ExitStatus Main(Wmi& wmi, Gate& gate) {
    BoardVersionPrefix prefix;          // nothing read
    BoardQueryObjects<Wmi> objects;     // every slot empty
    ReadBoardVersionPrefix(wmi, prefix, objects);
    const ExitStatus status = CarryOutVerdict(FormGateVerdict(prefix), gate);
    objects.Release();
    return status;
}

}  // namespace flashgate
