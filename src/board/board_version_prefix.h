// The board version prefix: what the update gate judges. It is the first two
// UTF-16 units of the main board's "Version", or one of the two states in
// which there is no text to judge.
#pragma once

#include <cstddef>

namespace flashgate {

class BoardVersionPrefix {
public:
    enum class State : unsigned char {
        NothingRead,  // no board's Version was read (the start state)
        Text,         // zero, one or two characters of a Version text
        Valueless,    // a Version was read and carried no value (null)
    };

    static constexpr std::size_t kMaxLength = 2;

    constexpr BoardVersionPrefix() = default;

    // The first kMaxLength units of a Version text of `length` units; a shorter
    // text is taken whole. Units are taken as they are: an embedded NUL counts,
    // and a surrogate pair may be cut in half.
    static constexpr BoardVersionPrefix FromVersionText(const char16_t* text, std::size_t length) {
        BoardVersionPrefix prefix;
        prefix.state_ = State::Text;
        prefix.length_ = length < kMaxLength ? length : kMaxLength;
        for (std::size_t i = 0; i < prefix.length_; ++i) {
            prefix.units_[i] = text[i];
        }
        return prefix;
    }

    static constexpr BoardVersionPrefix Valueless() {
        BoardVersionPrefix prefix;
        prefix.state_ = State::Valueless;
        return prefix;
    }

    constexpr State state() const { return state_; }

    // Nothing read and valueless both have length 0, like empty text.
    constexpr std::size_t length() const { return length_; }

    constexpr const char16_t* units() const { return units_; }

    friend constexpr bool operator==(const BoardVersionPrefix& a, const BoardVersionPrefix& b) {
        if (a.state_ != b.state_ || a.length_ != b.length_) {
            return false;
        }
        for (std::size_t i = 0; i < a.length_; ++i) {
            if (a.units_[i] != b.units_[i]) {
                return false;
            }
        }
        return true;
    }

    friend constexpr bool operator!=(const BoardVersionPrefix& a, const BoardVersionPrefix& b) {
        return !(a == b);
    }

private:
    State state_ = State::NothingRead;
    std::size_t length_ = 0;
    char16_t units_[kMaxLength] = {};
};

}  // namespace flashgate
