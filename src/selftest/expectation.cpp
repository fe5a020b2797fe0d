// README's table, as the self-test holds flashgate.exe to it.
#include "selftest/expectation.h"

namespace flashgate::selftest {

Outcome ExpectedOutcome(const BoardReading& board) {
    const BoardRecord* last = nullptr;
    for (const BoardRecord& record : board.records) {
        last = record.version == BoardRecord::Version::Unreadable ? last : &record;
    }
    if (last == nullptr || (last->version == BoardRecord::Version::Text && last->text.empty())) {
        return Outcome::AdministratorNotice;
    }
    const bool begins41 = last->version == BoardRecord::Version::Text && last->text.compare(0, 2, L"41") == 0;
    return begins41 ? Outcome::Admit : Outcome::WrongModelNotice;
}

std::wstring Hex(unsigned long value, int digits) {
    std::wstring text(static_cast<size_t>(digits), L'0');
    for (size_t at = text.size(); at-- > 0; value >>= 4) {
        text[at] = L"0123456789ABCDEF"[value & 15];
    }
    return text;
}

std::wstring DescribeVersion(const BoardRecord& record) {
    switch (record.version) {
    case BoardRecord::Version::Null:
        return L"null (no value)";
    case BoardRecord::Version::Unreadable:
        return L"unreadable (error 0x" + Hex(static_cast<unsigned long>(record.error) & 0xFFFFFFFFu) + L")";
    case BoardRecord::Version::Text:
        break;
    }
    std::wstring shown = L"\"", units;
    bool printable = true;
    for (const wchar_t unit : record.text) {
        const bool ascii = unit >= 0x20 && unit < 0x7F;
        shown += ascii ? unit : L'?';
        units += L" " + Hex(static_cast<unsigned long>(unit), 4);
        printable = printable && ascii;
    }
    shown += L"\"";
    return printable ? shown : shown + L" (UTF-16 units" + units + L")";
}

}  // namespace flashgate::selftest
