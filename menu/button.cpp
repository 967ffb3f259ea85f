// Bevelled push buttons: set-up, drawing and the per-frame press state
// machine. Buttons are told apart by their label; the press tracking is kept
// in three globals shared by every button. Main thread only.
#include "menu/button.h"

#include <utility>

#include "media/surface.h"
#include "media/text.h"
#include "shared/world.h"

std::string ALMOSTPRESSED;
int32_t MOUSENOTRELEASED = 0;
std::string MOUSENOTRELEASEDSTRING;

namespace {
// The face is the same on every button, whatever its shade colours.
constexpr int32_t FACER = 212, FACEG = 206, FACEB = 201;
// An inner red below this selects the sunken look.
constexpr int32_t SUNKENBELOW = 199;

bool OVERBUTTON(const BUTTONTYPE& b) {
    return b.X < KELMOUSEX && KELMOUSEX < b.X + b.W && b.Y < KELMOUSEY && KELMOUSEY < b.Y + b.H;
}

void SWAPSHADES(BUTTONTYPE& b) {
    std::swap(b.OUTERR, b.INNERR);
    std::swap(b.OUTERG, b.INNERG);
    std::swap(b.OUTERB, b.INNERB);
}

// A record shows swapped shades exactly while its ARMED is 1, whatever the
// shared label state says (two records with one label share that state).
void ARM(BUTTONTYPE& b) {
    if (b.ARMED == 0) SWAPSHADES(b);
    b.ARMED = 1;
    ALMOSTPRESSED = b.TEXT;
}

void DISARM(BUTTONTYPE& b) {
    if (b.ARMED != 0) SWAPSHADES(b);
    b.ARMED = 0;
    ALMOSTPRESSED.clear();
}
}  // namespace

void MENUFILL(int32_t x, int32_t y, int32_t w, int32_t h, int32_t r, int32_t g, int32_t b) {
    if (w <= 0 || h <= 0) return;
    KELFILLRECT(x, y, w, h, static_cast<uint8_t>(r & 0xFF), static_cast<uint8_t>(g & 0xFF),
                static_cast<uint8_t>(b & 0xFF));
}

void SETBUTTON(BUTTONTYPE& button, int32_t x, int32_t y, int32_t w, int32_t h, const std::string& text) {
    button.X = x;
    button.Y = y;
    button.W = w;
    button.H = h;
    button.TEXT = text;
    button.OUTERR = 128;
    button.OUTERG = 128;
    button.OUTERB = 128;
    button.INNERR = 212;
    button.INNERG = 208;
    button.INNERB = 200;
    button.ARMED = 0;
}

void BUTTONRENDER(BUTTONTYPE& button) {
    const BUTTONTYPE& b = button;
    const bool sunken = b.INNERR < SUNKENBELOW;
    if (!sunken) {
        MENUFILL(b.X, b.Y, b.W, b.H, 0, 0, 0);
        MENUFILL(b.X, b.Y, b.W - 1, b.H - 1, b.OUTERR, b.OUTERG, b.OUTERB);
        MENUFILL(b.X, b.Y, b.W - 2, b.H - 2, 255, 255, 255);
        MENUFILL(b.X + 1, b.Y + 1, b.W - 3, b.H - 3, FACER, FACEG, FACEB);
    } else {
        MENUFILL(b.X + 1, b.Y + 1, b.W, b.H, 255, 255, 255);
        MENUFILL(b.X, b.Y, b.W, b.H, 0, 0, 0);
        MENUFILL(b.X + 2, b.Y + 2, b.W - 3, b.H - 3, b.INNERR, b.INNERG, b.INNERB);
        MENUFILL(b.X + 3, b.Y + 3, b.W - 3, b.H - 3, FACER, FACEG, FACEB);
    }
    int32_t tw = 0;
    int32_t th = 0;
    KELTEXTSIZE(b.TEXT, tw, th);
    const double shift = sunken ? 2.0 : 0.0;
    const int32_t tx = ROUNDEVEN(b.X + b.W / 2.0 - tw / 2.0 + shift);
    const int32_t ty = ROUNDEVEN(b.Y + b.H / 2.0 - th / 2.0 + shift);
    KELPRINT(tx, ty, KELCOLOUR(b.TEXTR & 0xFF, b.TEXTG & 0xFF, b.TEXTB & 0xFF), b.TEXT);
}

int32_t BUTTONPRESSED(BUTTONTYPE& button) {
    const bool down = (KELMOUSEBUTTONS & 1) != 0;
    // The held pointer may have been dragged onto another button that was
    // polled first and took the arm; this one would otherwise keep showing
    // its swapped (sunken) shades and invert them at its next arming.
    if (button.ARMED != 0 && ALMOSTPRESSED != button.TEXT) {
        SWAPSHADES(button);
        button.ARMED = 0;
    }
    if (!down) {
        MOUSENOTRELEASED = 0;
        MOUSENOTRELEASEDSTRING.clear();
    }
    if (OVERBUTTON(button)) {
        if (down) {
            if (ALMOSTPRESSED != button.TEXT) {
                MOUSENOTRELEASED = 1;
                MOUSENOTRELEASEDSTRING = button.TEXT;
                ARM(button);
            }
            return 0;
        }
        MOUSENOTRELEASED = 0;
        if (ALMOSTPRESSED == button.TEXT) {
            DISARM(button);
            return 1;
        }
        return 0;
    }
    if (ALMOSTPRESSED == button.TEXT) DISARM(button);
    if (MOUSENOTRELEASEDSTRING == button.TEXT && MOUSENOTRELEASED != 0) return 2;
    return 0;
}
