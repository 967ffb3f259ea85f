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
