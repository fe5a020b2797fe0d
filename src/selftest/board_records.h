// The main board as the self-test reads it for itself, through WMI's typed
// interfaces, and the outcome README promises for it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace flashgate::selftest {

struct BoardRecord {
    enum class Version { Text, Null, Unreadable } version = Version::Text;
    std::wstring text;     // when Text
    HRESULT error = S_OK;  // when Unreadable
};

struct BoardReading {
    std::vector<BoardRecord> records;
    const wchar_t* failedStep = nullptr;  // the WMI step that failed, if any
    HRESULT error = S_OK;
};

// Every Win32_BaseBoard record of the local machine, in the order WMI gives
// them. COM must be initialised on this thread.
BoardReading ReadBoardRecords();

enum class Outcome { Admit, AdministratorNotice, WrongModelNotice };

// What README's table promises for the board: the last record whose Version
// could be read decides.
Outcome ExpectedOutcome(const BoardReading& board);

// A record's Version for people: quoted text, with its UTF-16 units where
// any is outside printable ASCII; or null, or unreadable with the error.
std::wstring DescribeVersion(const BoardRecord& record);

std::wstring Hex(unsigned long value, int digits = 8);

}  // namespace flashgate::selftest
