// Icons told by their colours.
#include "selftest/notice_icon.h"

namespace flashgate::selftest {

Canvas::Canvas(int width, int height)
    : screen_(GetDC(nullptr)), dc_(CreateCompatibleDC(screen_.get())),
      bitmap_(CreateCompatibleBitmap(screen_.get(), width, height)), selected_(dc_.get(), bitmap_.get()) {
    PatBlt(dc_.get(), 0, 0, width, height, WHITENESS);
}

std::wstring IconKind(HDC picture, const RECT& area) {
    long yellow = 0, red = 0, blue = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF c = GetPixel(picture, x, y);
            const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
            yellow += r > 200 && g > 150 && b < 100 ? 1 : 0;
            red += r > 160 && g < 90 && b < 90 ? 1 : 0;
            blue += b > 150 && r < 120 ? 1 : 0;
        }
    }
    // A sixth of the square or more for the triangle, and as much for a disc.
    const long size = (area.right - area.left) * (area.bottom - area.top);
    return size <= 0            ? L"none"
           : yellow * 10 >= size ? L"exclamation"
           : red * 10 >= size    ? L"hand"
           : blue * 10 >= size   ? L"information or question"
                                 : L"none";
}

std::wstring IconOfHandle(HICON icon, int width, int height) {
    const Canvas canvas(width, height);
    if (!DrawIconEx(canvas.dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL)) {
        return L"";
    }
    return IconKind(canvas.dc(), {0, 0, width, height});
}

}  // namespace flashgate::selftest
