#include "menu/inputbox.h"
#include "tests/support/screen.h"

namespace {
class INPUTBOXES : public MENUTEST {
protected:
    void SetUp() override {
        MENUTEST::SetUp();
        SETINPUTBOX(BOX, 220, 230, 300, 20, TEXT);
    }
    int32_t FRAME(int32_t x = 0, int32_t y = 0, int32_t buttons = 0) {
        MOUSE(x, y, buttons);
        return INPUTBOXPRESSED(BOX);
    }
    void ACTIVATE() {
        FRAME(300, 240, 1);
        FRAME(300, 240, 0);
        ASSERT_EQ(BOX.ACTIVE, 1);
    }
    void TAP(std::initializer_list<SDLKey> keys) {
        for (SDLKey key : keys) {
            PUSHKEY(key, true);
            FRAME();
            PUSHKEY(key, false);
            FRAME();
        }
    }
    std::string TEXT;
    INPUTBOXTYPE BOX;
};

TEST_F(INPUTBOXES, AHeldKeyRepeatsOnlyAfterMoreThanHalfASecond) {
    ACTIVATE();
    PUSHKEY(SDLK_a, true);
    FRAME();
    EXPECT_EQ(TEXT, "a");
    FAKENOW += 500;  // exactly 500 ms since the report
    FRAME();
    EXPECT_EQ(TEXT, "a");
    FAKENOW += 1;
    FRAME();
    FRAME();
    EXPECT_EQ(TEXT, "aa");
    FAKENOW += 501;  // the same period again, no separate first delay
    FRAME();
    EXPECT_EQ(TEXT, "aaa");
    PUSHKEY(SDLK_a, false);  // letting go and pressing again types at once
    FRAME();
    PUSHKEY(SDLK_a, true);
    FRAME();
    PUSHKEY(SDLK_a, false);  // and so does changing to another key
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
    TAP({SDLK_a, SDLK_1});
    PUSHKEY(SDLK_LSHIFT, false);
    PUSHKEY(SDLK_RSHIFT, true);
    TAP({SDLK_z});
    PUSHKEY(SDLK_RSHIFT, false);
    TAP({SDLK_q});
    EXPECT_EQ(TEXT, "aA1Zq");
}

TEST_F(INPUTBOXES, BackspaceAndTheKeypad) {
    TEXT = "abc";
    ACTIVATE();
    TAP({SDLK_BACKSPACE});
    EXPECT_EQ(TEXT, "ab");
    TAP({SDLK_KP8});  // code 264, character 8: Backspace
    EXPECT_EQ(TEXT, "a");
    TAP({SDLK_BACKSPACE});  // the last character leaves one space
    EXPECT_EQ(TEXT, " ");
    TAP({SDLK_BACKSPACE});
    EXPECT_EQ(TEXT, " ");
    TAP({SDLK_KP_ENTER});  // character 15, appended; the entry goes on
    EXPECT_EQ(TEXT, " \x0f");
    EXPECT_EQ(BOX.ACTIVE, 1);
    TEXT.clear();
    TAP({SDLK_BACKSPACE});
    EXPECT_EQ(TEXT, "");
}

TEST_F(INPUTBOXES, TextIsCutToTheBoxWidthOverEightRoundedToEven) {
    TEXT = std::string(50, 'x');
    ACTIVATE();  // cut in the frame the box becomes active
    EXPECT_EQ(TEXT.size(), 38u);
    TAP({SDLK_y});
    EXPECT_EQ(TEXT, std::string(38, 'x'));

    for (auto [width, active, kept] : {std::tuple{652, 1, 82u}, {292, 1, 36u}, {100, 0, 100u}}) {
        std::string text(100, 'c');
        INPUTBOXTYPE box;
        SETINPUTBOX(box, 10, 10, width, 20, text);
        MOUSE(active ? 20 : 700, 20, 1);
        INPUTBOXPRESSED(box);
        EXPECT_EQ(text.size(), kept) << width;
    }
}

TEST_F(INPUTBOXES, EnterEscapeAndAClickOutsideEndTheEntry) {
    TEXT = "abc";
    ACTIVATE();
    TAP({SDLK_d, SDLK_BACKSPACE, SDLK_BACKSPACE, SDLK_x});
    ASSERT_EQ(TEXT, "abx");
    PUSHKEY(SDLK_ESCAPE, true);
    EXPECT_EQ(FRAME(), 0);
    EXPECT_EQ(TEXT, "abc");
    EXPECT_EQ(BOX.ACTIVE, 0);
    PUSHKEY(SDLK_ESCAPE, false);

    ACTIVATE();
    TAP({SDLK_e});
    PUSHKEY(SDLK_RETURN, true);
    EXPECT_EQ(FRAME(), 1);
    EXPECT_EQ(BOX.ACTIVE, 0);
    EXPECT_EQ(TEXT, "abce");
    PUSHKEY(SDLK_RETURN, false);
    TAP({SDLK_z});  // keys reach only an active box
    EXPECT_EQ(TEXT, "abce");

    ACTIVATE();
    EXPECT_EQ(FRAME(520, 240, 1), 1);  // the column at X + W is outside
    EXPECT_EQ(BOX.ACTIVE, 0);
    EXPECT_EQ(FRAME(520, 240, 1), 0);  // seen once
}

TEST_F(INPUTBOXES, EscapeRestoresTheRightTextAfterAClickFromOneBoxIntoAnother) {
    std::string a = "alpha", b = "beta";
    INPUTBOXTYPE boxa, boxb;
    SETINPUTBOX(boxa, 220, 230, 300, 20, a);
    SETINPUTBOX(boxb, 220, 270, 300, 20, b);
    auto frame = [&](int32_t y, int32_t buttons) {
        MOUSE(300, y, buttons);
        int32_t ra = INPUTBOXPRESSED(boxa);
        return std::pair{ra, INPUTBOXPRESSED(boxb)};
    };
    frame(280, 1);
    PUSHKEY(SDLK_s, true);
    frame(280, 0);
    PUSHKEY(SDLK_s, false);
    ASSERT_EQ(b, "betas");

    EXPECT_EQ(frame(240, 1), (std::pair{0, 1}));
    EXPECT_EQ(boxa.ACTIVE, 1);
    EXPECT_EQ(boxb.ACTIVE, 0);
    PUSHKEY(SDLK_x, true);
    frame(240, 0);
    PUSHKEY(SDLK_x, false);
    frame(240, 0);
    ASSERT_EQ(a, "alphax");
    PUSHKEY(SDLK_ESCAPE, true);
    frame(240, 0);
    EXPECT_EQ(a, "alpha");
    EXPECT_EQ(b, "betas");
}

}  // namespace

TEST_F(INPUTBOXES, WellLinesAndTheBlinkingCaret) {
    INPUTBOXRENDER(BOX);  // (220, 230) 300 x 20, empty and idle
    // Grey outer and black inner line on the top and left, white along the
    // right and bottom and inside; the column at X+W and the row at Y+H and
    // everything around are left as they were.
    for (auto [x, y, colour] : {std::tuple{219, 229, GREY}, {219, 250, GREY}, {220, 229, GREY}, {520, 229, GREY},
                                {220, 230, BLACK}, {220, 249, BLACK}, {520, 230, BLACK}, {521, 229, WHITE},
                                {521, 251, WHITE}, {220, 251, WHITE}, {221, 231, WHITE}, {519, 249, WHITE},
                                {520, 231, MARKER}, {520, 250, MARKER}, {220, 250, MARKER}, {218, 240, MARKER},
                                {300, 228, MARKER}, {300, 252, MARKER}, {522, 240, MARKER}}) {
        EXPECT_EQ(READPIXEL(x, y), colour) << "at " << x << ", " << y;
    }
    int l, t, r, b;
    EXPECT_FALSE(FINDINKBOX(221, 231, 519, 249, l, t, r, b)) << "an empty idle box shows no text";

    BOX.ACTIVE = 1;
    FAKENOW = 5499;  // first half of a second: the caret
    INPUTBOXRENDER(BOX);
    ASSERT_TRUE(FINDINKBOX(221, 231, 519, 249, l, t, r, b));
    EXPECT_LT(r, 230);
    EXPECT_GE(b - t, 8) << "the caret is a tall bar";
    FAKENOW = 5500;  // second half: a blank
    INPUTBOXRENDER(BOX);
    EXPECT_FALSE(FINDINKBOX(221, 231, 519, 249, l, t, r, b));

    // The text starts at the box's corner and is not clipped to it.
    TEXT = std::string(38, 'W');
    INPUTBOXRENDER(BOX);
    ASSERT_TRUE(FINDINKBOX(221, 231, 799, 249, l, t, r, b));
    EXPECT_LT(l, 226);
    EXPECT_GT(r, 521);
}
