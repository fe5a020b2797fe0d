// The update gate's fixed values and its verdict on a board version prefix.
#pragma once

#include "board/board_version_prefix.h"

namespace flashgate {

enum class GateVerdict {
    NoVersion,   // no board version obtained: the administrator notice
    OtherBoard,  // not this BIOS's notebook: the wrong-model notice
    Admit,       // start the flash utility
};

// The program's exit status, for deployment tools that start it.
enum class ExitStatus : int {
    FlashUtilityStarted = 0,
    AdministratorNotice = 1,
    WrongModelNotice = 2,
    FlashUtilityNotStarted = 3,  // admitted, but process creation failed
};

struct Notice {
    const char16_t* text;
    const char16_t* title;
    unsigned style;
};

inline constexpr char16_t kModelKey[] = u"41";
inline constexpr unsigned kNoticeStyle = 0x30;  // MB_OK | MB_ICONEXCLAMATION

inline constexpr Notice kAdministratorNotice{
    u"You must be logged in with administrator privilege in order to update the system BIOS.  "
    u"The system BIOS will not be updated.",
    u"Dorvanel", kNoticeStyle};

inline constexpr Notice kWrongModelNotice{
    u"This BIOS is not for your Notebook PC.", u"WinPhlash", kNoticeStyle};

// The bare file name, so that process creation searches the program's own
// folder first, then the current folder, the system folders and PATH.
inline constexpr char16_t kFlashUtilityCommandLine[] = u"WinPhlash.exe";
inline constexpr int kFlashUtilityShowState = 1;  // SW_SHOWNORMAL

constexpr GateVerdict FormGateVerdict(const BoardVersionPrefix& prefix) {
    // A Version without a value is never admitted; it counts as another board.
    if (prefix.state() == BoardVersionPrefix::State::Valueless) {
        return GateVerdict::OtherBoard;
    }
    if (prefix.length() == 0) {
        return GateVerdict::NoVersion;
    }
    // The key is searched for in the prefix with an exact comparison; as the
    // prefix holds at most two characters, it contains the key only by being it.
    static_assert(sizeof kModelKey / sizeof kModelKey[0] - 1 == BoardVersionPrefix::kMaxLength);
    const bool isModelKey = prefix.length() == BoardVersionPrefix::kMaxLength &&
                            prefix.units()[0] == kModelKey[0] && prefix.units()[1] == kModelKey[1];
    return isModelKey ? GateVerdict::Admit : GateVerdict::OtherBoard;
}

}  // namespace flashgate
