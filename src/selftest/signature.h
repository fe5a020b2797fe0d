// Whether a program carries an Authenticode signature this Windows trusts,
// and what Smart App Control, which blocks programs without one unless
// Microsoft's cloud service predicts them safe, is set to.
#pragma once

#include <string>

#include "selftest/signing.h"

namespace flashgate::selftest {

Signing ReadSigning(const std::wstring& program);

}  // namespace flashgate::selftest
