// The outcome of one platform step, as an HRESULT value, so that the portable
// code can judge the Windows calls' results without Windows headers.
#pragma once

#include <cstdint>

namespace flashgate {

using StepResult = std::int32_t;

inline constexpr StepResult kStepOk = 0;           // S_OK
inline constexpr StepResult kStepNoMore = 1;       // S_FALSE: an enumeration has ended
// HRESULT_FROM_WIN32(ERROR_ELEVATION_REQUIRED): the program asks for administrator rights.
inline constexpr StepResult kStepElevationRequired = static_cast<StepResult>(0x800702E4u);

constexpr bool StepFailed(StepResult result) { return result < 0; }

}  // namespace flashgate
