// Shared set-up of the menu tests (see menutest.h).
#include "tests/menu/menutest.h"

#include <algorithm>

#include "main/spine.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/video.h"
#include "menu/button.h"
#include "menu/inputbox.h"

void MENUTESTVIDEO() {
    static SCRATCHDIR dir;
    static bool started = false;
    if (!started) {
        STARTTESTVIDEO(800, 600, 32);
        started = true;
    }
}

void MOUSE(int32_t x, int32_t y, int32_t buttons) {
    KELMOUSEX = x;
    KELMOUSEY = y;
    KELMOUSEBUTTONS = buttons;
}

void PAINTSCREEN(int r, int g, int b) {
    KELRESETCLIP();
    SDL_FillRect(KELSCREENSURFACE, nullptr, SDL_MapRGB(KELSCREENSURFACE->format, static_cast<Uint8>(r),
                                                       static_cast<Uint8>(g), static_cast<Uint8>(b)));
}

namespace {
template <typename MATCH>
bool FINDBOX(MATCH match, int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom) {
    bool found = false;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            if (!match(READPIXEL(x, y))) continue;
            if (!found) {
                left = right = x;
                top = bottom = y;
                found = true;
            }
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return found;
}
}  // namespace

bool FINDCOLOURBOX(RGB colour, int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom) {
    return FINDBOX([&](const RGB& p) { return p == colour; }, x0, y0, x1, y1, left, top, right, bottom);
}

bool FINDINKBOX(int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom) {
    return FINDBOX([](const RGB& p) { return p.R < 100 && p.G < 100 && p.B < 100; }, x0, y0, x1, y1, left, top,
                   right, bottom);
}

void PrintTo(const RGB& colour, std::ostream* os) {
    *os << "(" << colour.R << ", " << colour.G << ", " << colour.B << ")";
}

void MENUTEST::SetUp() {
    MENUTESTVIDEO();
    USEFAKECLOCK(1000);
    KELMULTIKEY(0);  // drain whatever an earlier test left queued
    KELRESETKEYS();
    MOUSE(0, 0, 0);
    ALMOSTPRESSED.clear();
    MOUSENOTRELEASED = 0;
    MOUSENOTRELEASEDSTRING.clear();
    OLDVALUE.clear();
    OLDVALUEOWNER = nullptr;
    LASTKEY = 0;
    LASTTIME = 0;
    QUITLOOP = 0;
    PAINTSCREEN(MARKER.R, MARKER.G, MARKER.B);
}
