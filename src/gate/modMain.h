// The start-up routine: reads the board, forms the gate verdict and carries it
// out, showing one notice or starting the flash utility.
#pragma once

#include "board/board_query_objects.h"
#include "board/read_board_version_prefix.h"
#include "gate/update_gate.h"

namespace flashgate {

// `Gate` provides the platform operations, each returning its HRESULT:
//   ShowNotice(const Notice&)                      a modal message box; returns when dismissed
//   StartProgram(const char16_t* commandLine, int showState)   plain process creation, never wait
//   StartProgramThroughShell(const char16_t* fileName, int showState)
//       the file that process creation found for that name, started by the shell, never wait
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
    StepResult started = gate.StartProgram(kFlashUtilityCommandLine, kFlashUtilityShowState);
    // A flash utility that requires administrator rights cannot be started by
    // plain process creation from this unelevated program; the shell can,
    // once Windows has asked the user for consent. No other error takes this way.
    if (started == kStepElevationRequired) {
        started = gate.StartProgramThroughShell(kFlashUtilityCommandLine, kFlashUtilityShowState);
    }
    return StepFailed(started) ? ExitStatus::FlashUtilityNotStarted : ExitStatus::FlashUtilityStarted;
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
