// The menu widgets frame by frame (button, input box, scroll bar) and the
// pre-game screen's choices through the real PREGAME.
#include "main/spine.h"
#include "menu/button.h"
#include "menu/inputbox.h"
#include "menu/pregame.h"
#include "menu/scrollbar.h"
#include "tests/support/screen.h"

namespace {
// One frame: the mouse, then what the widget returned (or the key pushed)
// and whether it looks sunken (or the key goes down).
struct STEP { int32_t X, Y, BUTTONS, RESULT; bool SUNKEN; };

TEST_F(MENUTEST, ButtonClicksOnlyWhenPressedAndReleasedOnIt) {
    BUTTONTYPE b, other;
    SETBUTTON(b, 10, 100, 200, 100, "Go"), SETBUTTON(other, 10, 210, 200, 100, "Other");
    const STEP STEPS[] = {
        {100, 150, 1, 0, true}, {101, 151, 0, 1, false}, {101, 151, 0, 0, false},  // the click is seen once
        {100, 150, 1, 0, true}, {300, 150, 1, 2, false}, {300, 150, 0, 0, false}, {100, 150, 0, 0, false},
        {500, 500, 1, 0, false}, {100, 150, 1, 0, true}, {300, 150, 1, 2, false}, {100, 150, 0, 0, false},
        {10, 150, 1, 0, false}, {100, 100, 1, 0, false}, {100, 100, 0, 0, false},
        {209, 199, 1, 0, true}, {209, 199, 0, 1, false},  // left and top edges are outside, 209/199 inside
        {100, 150, 1, 0, true}, {100, 250, 1, 0, false},  // the other button takes the arm: raised again
    };
    for (const STEP& s : STEPS) {
        SCOPED_TRACE(&s - STEPS);
        MOUSE(s.X, s.Y, s.BUTTONS), BUTTONPRESSED(other);
        const int32_t clicked = BUTTONPRESSED(b);
        BUTTONRENDER(b);  // sunken: black rim, then the swapped dark shade; raised: white rim, then the face
        EXPECT_EQ(std::tuple(clicked, READPIXEL(10, 100), READPIXEL(12, 102)),
                  std::tuple(s.RESULT, s.SUNKEN ? BLACK : WHITE, s.SUNKEN ? RGB{128, 128, 128} : RGB{212, 206, 201}));
    }
    // The label's ink is centred on the button, two pixels right and down while it is pressed.
    std::vector<std::pair<int, int>> centres;
    for (int32_t buttons : {0, 1}) {
        MOUSE(100, 150, buttons), BUTTONPRESSED(b), BUTTONRENDER(b);
        int x0 = 999, x1 = 0, y0 = 999, y1 = 0;
        for (int i = 0; i < 160 * 80; ++i)
            if (READPIXEL(30 + i % 160, 110 + i / 160).R < 128) x0 = std::min(x0, 30 + i % 160), x1 = std::max(x1, 30 + i % 160), y0 = std::min(y0, 110 + i / 160), y1 = std::max(y1, 110 + i / 160);
        centres.emplace_back((x0 + x1) / 2, (y0 + y1) / 2);
    }
    EXPECT_TRUE(std::abs(centres[0].first - 110) <= 2 && std::abs(centres[0].second - 150) <= 3) << centres[0].first << " " << centres[0].second;
    EXPECT_EQ(centres[1], std::pair(centres[0].first + 2, centres[0].second + 2));
}

// Keys typed into a box after a click into it: shift makes only letters
// capital, keypad 8 is character 8 (Backspace), Enter ends the text. A held
// key repeats after half a second, also with deadlines past the tick count's
// limits; Escape gives the box being typed in its own text back.
TEST_F(MENUTEST, InputBoxesTypeWhatTheKeysSayRepeatHeldKeysAndEscapeRestoresTheRightBox) {
    const struct { const char* start; std::vector<SDLKey> keys; std::string text; } ROWS[] = {
        {"", {SDLK_LSHIFT, SDLK_a, SDLK_1}, "A1"}, {"abc", {SDLK_BACKSPACE, SDLK_KP8}, "a"},
        {"a", {SDLK_BACKSPACE, SDLK_BACKSPACE}, " "}, {"", {SDLK_BACKSPACE}, ""}, {"ab", {SDLK_KP_ENTER}, "ab\x0f"},
    };
    for (const auto& row : ROWS) {
        std::string text = row.start;
        INPUTBOXTYPE box;
        SETINPUTBOX(box, 220, 230, 300, 20, text);
        MOUSE(300, 240, 1), INPUTBOXPRESSED(box), MOUSE(300, 240, 0), INPUTBOXPRESSED(box);
        for (SDLKey k : row.keys) {
            PUSHKEY(k, true), INPUTBOXPRESSED(box);
            if (k != SDLK_LSHIFT) PUSHKEY(k, false), INPUTBOXPRESSED(box);
        }
        PUSHKEY(SDLK_LSHIFT, false), INPUTBOXPRESSED(box);
        EXPECT_EQ(text, row.text) << row.start;
    }
    for (uint32_t start : {1000u, 0x7FFFFF00u, 0xFFFFFF00u}) {
        USEFAKECLOCK(start);
        std::string a = "alpha", b = "beta";
        INPUTBOXTYPE boxa, boxb;
        SETINPUTBOX(boxa, 220, 230, 300, 20, a), SETINPUTBOX(boxb, 220, 270, 300, 20, b);
        auto frame = [&](int32_t y, int32_t buttons) { MOUSE(300, y, buttons), INPUTBOXPRESSED(boxa), INPUTBOXPRESSED(boxb); };
        frame(280, 1), frame(280, 0), PUSHKEY(SDLK_s, true), frame(280, 0);
        FAKENOW += 16, frame(280, 0), FAKENOW += 484, frame(280, 0);  // no repeat before 500 ms, even across 2^31
        EXPECT_EQ(b, "betas") << start;
        FAKENOW += 1, frame(280, 0), frame(280, 0), PUSHKEY(SDLK_s, false), frame(280, 0);
        frame(240, 1), frame(240, 0), PUSHKEY(SDLK_x, true), frame(240, 0), PUSHKEY(SDLK_x, false), frame(240, 0);
        PUSHKEY(SDLK_ESCAPE, true), frame(240, 0), PUSHKEY(SDLK_ESCAPE, false);
        EXPECT_EQ(a + "|" + b + "|" + std::to_string(boxa.ACTIVE + boxb.ACTIVE), "alpha|betass|0") << start;
    }
}

// The thumb's place and size, a value out of range and a maximum of 0
// included.
TEST_F(MENUTEST, ScrollBarThumbsSitWhereTheValueSays) {
    const struct { int32_t x, y, w, h, value, max; std::vector<int> thumb; } ROWS[] = {
        {10, 10, 110, 20, -50, 100, {60, 10, 10, 20}}, {10, 10, 110, 20, 1, 100, {11, 10, 10, 20}},
        {300, 100, 20, 210, 25, 100, {300, 150, 20, 10}}, {0, 50, 100, 10, 7, 0, {0, 50, 10, 10}},
    };
    for (auto r : ROWS) {
        SCROLLBARTYPE bar;
        SETSCROLLBAR(bar, r.x, r.y, r.w, r.h, r.value, r.max);
        EXPECT_EQ((std::vector<int>{bar.SCROLLBUTTON.X, bar.SCROLLBUTTON.Y, bar.SCROLLBUTTON.W, bar.SCROLLBUTTON.H}), r.thumb);
    }
}

// The pre-game screen runs its own loop; the frame hook plays one scripted
// frame (mouse, and a key pressed or released) at a time, and a screen that
// needs more frames than the script has ends in the throw of at().
std::vector<STEP> SCRIPT;
size_t FRAME = 0;

TEST_F(MENUTEST, PreGameChoices) {
    // Starting a server always hosts; joining one's own server joins localhost.
    // The name box keeps 38 characters: a 37-character name takes the "z".
    // Surrounding spaces leave the hosting address hosting.
    const std::string ann = "Ann" + std::string(34, 'n');
    const struct { const char* host; int32_t buttony; std::string after; } ROWS[] = {{"gamehost", 150, "127.0.0.1|z|0|1"},
        {"127.0.0.1", 260, "localhost|z|0|0"}, {" 127.0.0.1  ", 260, " 127.0.0.1  |z|0|1"}, {"gamehost", 370, "gamehost|z|1|0"}};
    PREGAMEFRAMEHOOK = [] {
        const STEP& s = SCRIPT.at(FRAME++);
        if (s.RESULT != 0) PUSHKEY(static_cast<SDLKey>(s.RESULT), s.SUNKEN);
        MOUSE(s.X, s.Y, s.BUTTONS);
    };
    for (const auto& r : ROWS) {
        VX_HOSTNAME = r.host, VX_PLAYERNAME = ann, QUITLOOP = 0, FRAME = 0;
        // Into the name box, "z" typed, the button clicked.
        SCRIPT = {{300, 240, 1, 0, 0}, {300, 240, 0, 0, 0}, {0, 0, 0, 'z', 1}, {0, 0, 0, 'z', 0}, {110, r.buttony, 0, 0, 0},
                  {110, r.buttony, 1, 0, 0}, {110, r.buttony, 1, 0, 0}, {110, r.buttony, 0, 0, 0}};
        PREGAME();
        EXPECT_EQ(FRAME, SCRIPT.size()) << r.host;
        EXPECT_EQ(VX_HOSTNAME + "|" + (VX_PLAYERNAME == ann + "z" ? "z" : VX_PLAYERNAME) + "|" + std::to_string(QUITLOOP.load()) +
                      "|" + std::to_string(ISHOSTADDRESS(VX_HOSTNAME)), r.after);
    }
    PREGAMEFRAMEHOOK = nullptr;
}
}  // namespace
