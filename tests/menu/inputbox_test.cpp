// Input boxes and key entry: repeat timing on the tick clock, Shift, the
// keypad, Backspace, the length cut, Enter, Escape, clicks in and out, and
// the well's lines and caret on screen.
#include "media/input.h"
#include "menu/inputbox.h"
#include "tests/menu/menutest.h"

namespace {
class INPUTBOXES : public MENUTEST {
protected:
    void SetUp() override {
        MENUTEST::SetUp();
        TEXT = "";
        SETINPUTBOX(BOX, 220, 230, 300, 20, TEXT);
        BOX.ACTIVE = 0;
    }
    // One frame of the box: the mouse as sampled, then the poll.
    int32_t FRAME(int32_t x = 0, int32_t y = 0, int32_t buttons = 0) {
        MOUSE(x, y, buttons);
        return INPUTBOXPRESSED(BOX);
    }
    void ACTIVATE() {
        FRAME(300, 240, 1);
        FRAME(300, 240, 0);
        ASSERT_EQ(BOX.ACTIVE, 1);
    }
    // Holds a key for one frame, then lets it go for one frame.
    void TAP(SDLKey key) {
        PUSHKEY(key, true);
        FRAME();
        PUSHKEY(key, false);
        FRAME();
    }
    std::string TEXT;
    INPUTBOXTYPE BOX;
};

TEST_F(INPUTBOXES, AHeldKeyRepeatsOnlyAfterMoreThanHalfASecond) {
    ACTIVATE();
    PUSHKEY(SDLK_a, true);
    FRAME();
    EXPECT_EQ(TEXT, "a");
    FAKENOW += 300;
    FRAME();
    FAKENOW += 200;  // exactly 500 ms since the last report
    FRAME();
    EXPECT_EQ(TEXT, "a");
    FAKENOW += 1;
    FRAME();
    EXPECT_EQ(TEXT, "aa");
    FRAME();
    EXPECT_EQ(TEXT, "aa");
    FAKENOW += 501;  // no longer first delay: every period the same
    FRAME();
    EXPECT_EQ(TEXT, "aaa");
    // Letting go and pressing again types at once.
    PUSHKEY(SDLK_a, false);
    FRAME();
    PUSHKEY(SDLK_a, true);
    FRAME();
    EXPECT_EQ(TEXT, "aaaa");
    // Changing to another key reports it at once.
    PUSHKEY(SDLK_a, false);
    PUSHKEY(SDLK_b, true);
    FRAME();
    EXPECT_EQ(TEXT, "aaaab");
}

TEST_F(INPUTBOXES, TwoKeysTypeTheLowerAndShiftMakesOnlyLettersCapital) {
    ACTIVATE();
    PUSHKEY(SDLK_b, true);
    PUSHKEY(SDLK_a, true);
    FRAME();
    FRAME();
    PUSHKEY(SDLK_a, false);
    PUSHKEY(SDLK_b, false);
    FRAME();
    EXPECT_EQ(TEXT, "a");

    PUSHKEY(SDLK_LSHIFT, true);
    TAP(SDLK_a);
    TAP(SDLK_1);
    PUSHKEY(SDLK_LSHIFT, false);
    PUSHKEY(SDLK_RSHIFT, true);
    TAP(SDLK_z);
    PUSHKEY(SDLK_RSHIFT, false);
    FRAME();
    TAP(SDLK_q);
    EXPECT_EQ(TEXT, "aA1Zq");
    // Shift alone types nothing.
    PUSHKEY(SDLK_LSHIFT, true);
    FRAME();
    PUSHKEY(SDLK_LSHIFT, false);
    FRAME();
    EXPECT_EQ(TEXT, "aA1Zq");
}

TEST_F(INPUTBOXES, BackspaceAndTheKeypad) {
    TEXT = "abc";
    ACTIVATE();
    TAP(SDLK_BACKSPACE);
    EXPECT_EQ(TEXT, "ab");
    TAP(SDLK_KP8);  // keypad 8 is code 264, character 8: Backspace
    EXPECT_EQ(TEXT, "a");
    TAP(SDLK_BACKSPACE);  // the last character leaves one space
    EXPECT_EQ(TEXT, " ");
    TAP(SDLK_BACKSPACE);
    EXPECT_EQ(TEXT, " ");
    TAP(SDLK_KP_ENTER);  // character 15, appended; the entry goes on
    EXPECT_EQ(TEXT, std::string(" \x0f"));
    EXPECT_EQ(BOX.ACTIVE, 1);

    TEXT.clear();
    TAP(SDLK_BACKSPACE);
    EXPECT_EQ(TEXT, "");
}

TEST_F(INPUTBOXES, TextIsCutToTheBoxWidthOverEightRoundedToEven) {
    TEXT = std::string(50, 'x');
    ACTIVATE();  // the cut happens in the frame the box becomes active
    EXPECT_EQ(TEXT.size(), 38u);
    TAP(SDLK_y);
    EXPECT_EQ(TEXT, std::string(38, 'x'));

    std::string chat(100, 'c');
    INPUTBOXTYPE wide;
    SETINPUTBOX(wide, 10, 10, 652, 20, chat);
    MOUSE(20, 20, 1);
    INPUTBOXPRESSED(wide);
    EXPECT_EQ(chat.size(), 82u);

    std::string other(100, 'o');
    INPUTBOXTYPE narrower;  // 36.5 rounds down to the even 36
    SETINPUTBOX(narrower, 10, 100, 292, 20, other);
    MOUSE(20, 110, 1);
    INPUTBOXPRESSED(narrower);
    EXPECT_EQ(other.size(), 36u);

    // An idle box is never cut.
    std::string idle(100, 'i');
    INPUTBOXTYPE untouched;
    SETINPUTBOX(untouched, 10, 300, 100, 20, idle);
    MOUSE(500, 500, 0);
    INPUTBOXPRESSED(untouched);
    EXPECT_EQ(idle.size(), 100u);
}

TEST_F(INPUTBOXES, EnterEscapeAndAClickOutsideEndTheEntry) {
    TEXT = "abc";
    ACTIVATE();
    TAP(SDLK_d);
    TAP(SDLK_BACKSPACE);
    TAP(SDLK_BACKSPACE);
    TAP(SDLK_x);
    ASSERT_EQ(TEXT, "abx");
    PUSHKEY(SDLK_ESCAPE, true);
    EXPECT_EQ(FRAME(), 0);
    EXPECT_EQ(TEXT, "abc");
    EXPECT_EQ(BOX.ACTIVE, 0);
    PUSHKEY(SDLK_ESCAPE, false);
    FRAME();

    ACTIVATE();
    TAP(SDLK_e);
    PUSHKEY(SDLK_RETURN, true);
    EXPECT_EQ(FRAME(), 1);
    EXPECT_EQ(BOX.ACTIVE, 0);
    EXPECT_EQ(TEXT, "abce");
    PUSHKEY(SDLK_RETURN, false);
    EXPECT_EQ(FRAME(), 0);

    // Keys reach only an active box.
    TAP(SDLK_z);
    EXPECT_EQ(TEXT, "abce");

    ACTIVATE();
    EXPECT_EQ(FRAME(520, 240, 1), 1);  // the box's right column is still outside
    EXPECT_EQ(BOX.ACTIVE, 0);
    EXPECT_EQ(FRAME(520, 240, 1), 0);  // seen once
    EXPECT_EQ(OLDVALUE, "");
}

// Boxes polled in the order A then B, B being edited: a click into A
// activates A and ends B. Escape in A must then give back A's own text.
TEST_F(INPUTBOXES, EscapeRestoresTheRightTextAfterAClickFromOneBoxIntoAnother) {
    std::string a = "alpha";
    std::string b = "beta";
    INPUTBOXTYPE boxa;
    INPUTBOXTYPE boxb;
    SETINPUTBOX(boxa, 220, 230, 300, 20, a);
    SETINPUTBOX(boxb, 220, 270, 300, 20, b);
    auto frame = [&](int32_t x, int32_t y, int32_t buttons, int32_t& ra, int32_t& rb) {
        MOUSE(x, y, buttons);
        ra = INPUTBOXPRESSED(boxa);
        rb = INPUTBOXPRESSED(boxb);
    };
    int32_t ra = 0, rb = 0;
    frame(300, 280, 1, ra, rb);
    frame(300, 280, 0, ra, rb);
    ASSERT_EQ(boxb.ACTIVE, 1);
    PUSHKEY(SDLK_s, true);
    frame(300, 280, 0, ra, rb);
    PUSHKEY(SDLK_s, false);
    ASSERT_EQ(b, "betas");

    frame(300, 240, 1, ra, rb);
    EXPECT_EQ(ra, 0);
    EXPECT_EQ(rb, 1);
    EXPECT_EQ(boxa.ACTIVE, 1);
    EXPECT_EQ(boxb.ACTIVE, 0);
    frame(300, 240, 0, ra, rb);
    PUSHKEY(SDLK_x, true);
    frame(300, 240, 0, ra, rb);
    PUSHKEY(SDLK_x, false);
    frame(300, 240, 0, ra, rb);
    ASSERT_EQ(a, "alphax");
    PUSHKEY(SDLK_ESCAPE, true);
    frame(300, 240, 0, ra, rb);
    EXPECT_EQ(a, "alpha");
    EXPECT_EQ(b, "betas");
    EXPECT_EQ(boxa.ACTIVE, 0);
}

TEST_F(INPUTBOXES, WellLinesAndTheBlinkingCaret) {
    INPUTBOXRENDER(BOX);  // (220, 230) 300 x 20, empty and idle
    // Grey outer and black inner line on the top and left.
    EXPECT_EQ(READPIXEL(219, 229), GREY);
    EXPECT_EQ(READPIXEL(219, 250), GREY);
    EXPECT_EQ(READPIXEL(220, 229), GREY);
    EXPECT_EQ(READPIXEL(520, 229), GREY);
    EXPECT_EQ(READPIXEL(220, 230), BLACK);
    EXPECT_EQ(READPIXEL(220, 249), BLACK);
    EXPECT_EQ(READPIXEL(520, 230), BLACK);
    // White along the right and bottom, and inside.
    EXPECT_EQ(READPIXEL(521, 229), WHITE);
    EXPECT_EQ(READPIXEL(521, 250), WHITE);
    EXPECT_EQ(READPIXEL(220, 251), WHITE);
    EXPECT_EQ(READPIXEL(521, 251), WHITE);
    EXPECT_EQ(READPIXEL(221, 231), WHITE);
    EXPECT_EQ(READPIXEL(519, 249), WHITE);
    // The column at X+W and the row at Y+H are left as they were.
    EXPECT_EQ(READPIXEL(520, 231), MARKER);
    EXPECT_EQ(READPIXEL(520, 250), MARKER);
    EXPECT_EQ(READPIXEL(221, 250), MARKER);
    EXPECT_EQ(READPIXEL(220, 250), MARKER);
    EXPECT_EQ(READPIXEL(218, 240), MARKER);
    EXPECT_EQ(READPIXEL(300, 228), MARKER);
    EXPECT_EQ(READPIXEL(300, 252), MARKER);
    EXPECT_EQ(READPIXEL(522, 240), MARKER);
    int l, t, r, b;
    EXPECT_FALSE(FINDINKBOX(221, 231, 519, 249, l, t, r, b)) << "an empty idle box shows no text";

    BOX.ACTIVE = 1;
    FAKENOW = 5499;  // first half of a second: the caret shows
    INPUTBOXRENDER(BOX);
    ASSERT_TRUE(FINDINKBOX(221, 231, 519, 249, l, t, r, b));
    EXPECT_LT(r, 230);
    EXPECT_GE(b - t, 8) << "the caret is a tall bar";
    FAKENOW = 5500;  // second half: a blank
    INPUTBOXRENDER(BOX);
    EXPECT_FALSE(FINDINKBOX(221, 231, 519, 249, l, t, r, b));

    // The text starts at the box's corner and is not clipped to it.
    TEXT = std::string(38, 'W');
    BOX.ACTIVE = 0;
    INPUTBOXRENDER(BOX);
    ASSERT_TRUE(FINDINKBOX(221, 231, 799, 249, l, t, r, b));
    EXPECT_LT(l, 226);
    EXPECT_GT(r, 521);
}
}  // namespace
