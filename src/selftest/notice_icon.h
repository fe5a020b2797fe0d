// Which icon a message box shows, told by the pixels of its picture.
#pragma once

#include <windows.h>

#include <string>

#include "selftest/handles.h"

namespace flashgate::selftest {

// A white bitmap of our own to draw or copy a picture into and count its
// pixels: one from the screen is copied in one piece, not asked for pixel by
// pixel.
class Canvas {
public:
    Canvas(int width, int height);

    HDC screen() const { return screen_.get(); }
    HDC dc() const { return dc_.get(); }

private:
    test::UniqueScreenDc screen_;
    test::UniqueMemoryDc dc_;
    test::UniqueBitmap bitmap_;
    test::UniqueSelection selected_;  // declared last: selected out before the bitmap goes
};

// The exclamation's yellow triangle, the hand's red disc, or the blue disc of
// information and the question; "none" where nothing is drawn.
std::wstring IconKind(HDC picture, const RECT& area);

// The icon a handle holds, drawn here: how the self-test reads a notice's
// icon on Windows, where an icon handle serves every process of the session.
// Empty where it cannot be drawn.
std::wstring IconOfHandle(HICON icon, int width, int height);

}  // namespace flashgate::selftest
