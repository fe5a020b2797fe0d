// Whether a program carries an Authenticode signature this Windows trusts,
// and what Smart App Control, which refuses programs without one, is set to.
#pragma once

#include <string>

#include "selftest/judging.h"

namespace flashgate::selftest {

Signing ReadSigning(const std::wstring& program);

}  // namespace flashgate::selftest
