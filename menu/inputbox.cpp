// One-line input boxes and key entry: the held key table turned into one key
// code per frame with a 500 ms repeat, the code turned into a character, and
// the box that edits its owner's string. Main thread only.
#include "menu/inputbox.h"

#include "media/clock.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/text.h"
#include "menu/button.h"
#include "shared/world.h"

std::string OLDVALUE;
const INPUTBOXTYPE* OLDVALUEOWNER = nullptr;
int32_t LASTKEY = 0;
int32_t LASTTIME = 0;

namespace {
constexpr int32_t HIGHESTREPORTEDKEY = 300;  // Shift, Ctrl, Alt and the rest lie above
constexpr int32_t REPEATMS = 500;
constexpr int32_t KEYSPACE = 32;
constexpr int32_t KEYRSHIFT = 303;
constexpr int32_t KEYLSHIFT = 304;
constexpr char CHARBACKSPACE = 8;
constexpr char CHARENTER = 13;
constexpr char CHARESCAPE = 27;

int32_t NOW() { return static_cast<int32_t>(KELGETTICKS()); }

bool INSIDE(const INPUTBOXTYPE& box) {
    return box.X < KELMOUSEX && KELMOUSEX < box.X + box.W && box.Y < KELMOUSEY && KELMOUSEY < box.Y + box.H;
}
}  // namespace

void SETINPUTBOX(INPUTBOXTYPE& box, int32_t x, int32_t y, int32_t w, int32_t h, std::string& text) {
    box.X = x;
    box.Y = y;
    box.W = w;
    box.H = h;
    box.VALUE = &text;
}

int32_t GETSINGLEKEY() {
    int32_t candidate = 0;
    for (int32_t code = HIGHESTREPORTEDKEY; code >= 0; --code) {
        if (KELMULTIKEY(code) != 0) candidate = code;
    }
    if (candidate == 0) {
        LASTKEY = 0;
        return 0;
    }
    const int32_t now = NOW();
    // "LASTTIME has passed": compared as a wrapping difference, so the
    // half-second hold does not end early when the tick count crosses 2^31.
    const bool passed = static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(LASTTIME)) > 0;
    if (candidate != LASTKEY || passed) {
        LASTKEY = candidate;
        LASTTIME = static_cast<int32_t>(static_cast<uint32_t>(now) + REPEATMS);  // wraps like the clock
        return candidate;
    }
    return 0;
}

std::string GGETKEY() {
    const int32_t code = GETSINGLEKEY();
    if (code == 0) return std::string();
    char c = static_cast<char>(code % 256);
    const bool shift = KELMULTIKEY(KEYRSHIFT) != 0 || KELMULTIKEY(KEYLSHIFT) != 0;
    if (shift && KELMULTIKEY(KEYSPACE) == 0 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return std::string(1, c);
}

int32_t INPUTBOXPRESSED(INPUTBOXTYPE& box) {
    if (box.VALUE == nullptr) return 0;  // never set up
    std::string& text = *box.VALUE;
    const bool down = (KELMOUSEBUTTONS & 1) != 0;
    if (INSIDE(box) && down) {
        if (box.ACTIVE == 0) {
            OLDVALUE = text;
            OLDVALUEOWNER = &box;
            box.ACTIVE = 1;
        }
    } else if (down && box.ACTIVE == 1) {
        box.ACTIVE = 0;
        // Only the saved text of this box is dropped: when the click that
        // ends it has just activated another box, that box's saved text
        // stays for its Escape.
        if (OLDVALUEOWNER == &box) {
            OLDVALUE.clear();
            OLDVALUEOWNER = nullptr;
        }
        return 1;
    }
    if (box.ACTIVE == 0) return 0;

    const std::string key = GGETKEY();
    if (key.size() == 1 && key[0] == CHARBACKSPACE) {
        if (text.size() == 1) {
            text = " ";
        } else if (!text.empty()) {
            text.pop_back();
        }
        return 0;
    }
    if (key.size() == 1 && key[0] == CHARESCAPE) {
        text = OLDVALUE;
        box.ACTIVE = 0;
        return 0;
    }
    if (key.size() == 1 && key[0] == CHARENTER) {
        box.ACTIVE = 0;
        return 1;
    }
    text += key;
    const int32_t keep = ROUNDEVEN(box.W / 8.0);
    if (keep <= 0) {
        text.clear();
    } else if (text.size() > static_cast<size_t>(keep)) {
        text.resize(static_cast<size_t>(keep));
    }
    return 0;
}

void INPUTBOXRENDER(INPUTBOXTYPE& box) {
    const int32_t x = box.X, y = box.Y, w = box.W, h = box.H;
    MENUFILL(x, y - 1, 1, h + 1, 0, 0, 0);
    MENUFILL(x - 1, y - 1, 1, h + 2, 128, 128, 128);
    MENUFILL(x, y, w + 2, 1, 0, 0, 0);
    MENUFILL(x, y - 1, w + 2, 1, 128, 128, 128);
    MENUFILL(x + w + 1, y - 1, 1, h + 2, 255, 255, 255);
    MENUFILL(x, y + h + 1, w + 2, 1, 255, 255, 255);
    MENUFILL(x + 1, y + 1, w - 1, h - 1, 255, 255, 255);
    std::string shown = box.VALUE != nullptr ? *box.VALUE : std::string();
    if (box.ACTIVE != 0 && KELGETTICKS() % 1000 < 500) shown += "|";
    if (shown.empty()) shown = " ";
    KELPRINT(x, y, KELCOLOUR(0, 0, 0), shown);
}
