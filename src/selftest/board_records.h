// The main board as the self-test reads it for itself, through WMI's typed
// interfaces, none of it flashgate's own code.
#pragma once

#include "selftest/expectation.h"

namespace flashgate::selftest {

// Every Win32_BaseBoard record of the local machine, in the order WMI gives
// them. COM must be initialised on this thread.
BoardReading ReadBoardRecords();

}  // namespace flashgate::selftest
