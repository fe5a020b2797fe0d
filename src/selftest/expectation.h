// What README promises for a board: its records as the self-test read them,
// the outcome they must lead to, and a Version described for people. Plain
// C++, so that the native tests hold it to README's table.
#pragma once

#include <string>
#include <vector>

namespace flashgate::selftest {

struct BoardRecord {
    enum class Version { Text, Null, Unreadable } version = Version::Text;
    std::wstring text;  // when Text
    long error = 0;     // the HRESULT, when Unreadable
};

struct BoardReading {
    std::vector<BoardRecord> records;
    const wchar_t* failedStep = nullptr;  // the WMI step that failed, if any
    long error = 0;
};

enum class Outcome { Admit, AdministratorNotice, WrongModelNotice };

// The last record whose Version could be read decides.
Outcome ExpectedOutcome(const BoardReading& board);

// A record's Version for people: quoted text, with its UTF-16 units where
// any is outside printable ASCII; or null, or unreadable with the error.
std::wstring DescribeVersion(const BoardRecord& record);

std::wstring Hex(unsigned long value, int digits = 8);

}  // namespace flashgate::selftest
