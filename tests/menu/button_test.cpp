#include <tuple>
#include <SDL_ttf.h>

#include <vector>

#include "media/text.h"
#include "media/video.h"
#include "menu/button.h"
#include "tests/support/screen.h"

namespace {
struct STEP {
    int32_t X, Y, BUTTONS, RESULT;
    bool SUNKEN;
};

class BUTTONS : public MENUTEST {
protected:
    void SetUp() override {
        MENUTEST::SetUp();
        SETBUTTON(B, 10, 100, 200, 100, "Go");
    }
    void PLAY(const std::vector<STEP>& steps) {
        for (size_t i = 0; i < steps.size(); ++i) {
            MOUSE(steps[i].X, steps[i].Y, steps[i].BUTTONS);
            EXPECT_EQ(BUTTONPRESSED(B), steps[i].RESULT) << "frame " << i;
            EXPECT_EQ(B.INNERR < 199, steps[i].SUNKEN) << "frame " << i;
        }
    }
    void EXPECTPIXELS(const std::vector<std::tuple<int, int, RGB>>& pixels) {
        for (auto& [x, y, colour] : pixels) EXPECT_EQ(READPIXEL(x, y), colour) << "at " << x << ", " << y;
    }
    BUTTONTYPE B;
};

TEST_F(BUTTONS, ClickDragOffAndBack) {
    PLAY({{100, 150, 0, 0, false},   // hovering
          {100, 150, 1, 0, true},    // pressed: armed, sunken
          {100, 150, 1, 0, true},    // held
          {101, 151, 0, 1, false},   // released on it: the click
          {101, 151, 0, 0, false},   // once
          {100, 150, 1, 0, true},    //
          {300, 150, 1, 2, false},   // dragged off: 2, raised
          {400, 20, 1, 2, false},    //
          {100, 150, 1, 0, true},    // back on: armed again
          {300, 150, 1, 2, false},   //
          {300, 150, 0, 0, false},   // released off it
          {100, 150, 0, 0, false},   // coming back later is no click
          {500, 500, 1, 0, false},   // a press that starts elsewhere
          {100, 150, 1, 0, true},    // and is dragged on arms it
          {300, 150, 1, 2, false},   //
          {100, 150, 0, 0, false}}); // released over it from held-off: no click
}

TEST_F(BUTTONS, AButtonWhoseArmIsTakenByAnotherGetsItsRaisedLookBack) {
    BUTTONTYPE other;
    SETBUTTON(other, 10, 210, 200, 100, "Other");
    auto frame = [&](int32_t x, int32_t y, int32_t buttons) {
        MOUSE(x, y, buttons);
        int32_t ro = BUTTONPRESSED(other);
        return std::pair{ro, BUTTONPRESSED(B)};
    };
    frame(100, 150, 1);
    EXPECT_EQ(frame(100, 250, 1), (std::pair{0, 0}));
    EXPECT_LT(other.INNERR, 199);
    EXPECT_GE(B.INNERR, 199) << "B still looks pressed after the pointer moved to another button";
    EXPECT_EQ(frame(100, 250, 0), (std::pair{1, 0}));
    frame(100, 150, 1);
    EXPECT_LT(B.INNERR, 199);
    EXPECT_EQ(frame(100, 150, 0), (std::pair{0, 1}));
    EXPECT_EQ(B.OUTERR, 128);
    EXPECT_EQ(B.INNERR, 212);
}

TEST_F(BUTTONS, LabelPositionRaisedAndSunken) {
    TTF_Font* big = TTF_OpenFont("data/vera.ttf", 15);
    ASSERT_NE(big, nullptr);
    TTF_Font* saved = KELFONT;
    KELFONT = big;
    const std::string label(12, '0');
    int32_t tw = 0, th = 0;
    KELTEXTSIZE(label, tw, th);
    ASSERT_EQ(tw, 120);
    ASSERT_EQ(th, 18);

    SDL_Surface* picture = TTF_RenderText_Blended(big, label.c_str(), SDL_Color{0, 0, 0, 0});
    ASSERT_NE(picture, nullptr);
    int inkleft = picture->w, inktop = picture->h;
    SDL_LockSurface(picture);
    for (int y = 0; y < picture->h; ++y) {
        for (int x = 0; x < picture->w; ++x) {
            Uint8 r, g, b, a;
            SDL_GetRGBA(static_cast<Uint32*>(picture->pixels)[y * picture->pitch / 4 + x], picture->format, &r, &g,
                        &b, &a);
            if (a == 255) {
                inkleft = std::min(inkleft, x);
                inktop = std::min(inktop, y);
            }
        }
    }
    SDL_UnlockSurface(picture);
    SDL_FreeSurface(picture);

    SETBUTTON(B, 10, 100, 200, 100, label);
    int left = 0, top = 0, right = 0, bottom = 0;
    for (auto [press, x, y] : {std::tuple{0, 50, 141}, {1, 52, 143}}) {
        MOUSE(100, 150, press);
        BUTTONPRESSED(B);
        BUTTONRENDER(B);
        ASSERT_TRUE(FINDCOLOURBOX(BLACK, 14, 104, 205, 195, left, top, right, bottom));
        EXPECT_EQ(left - inkleft, x) << (press ? "sunken" : "raised");
        EXPECT_EQ(top - inktop, y) << (press ? "sunken" : "raised");
    }
    KELFONT = saved;
    TTF_CloseFont(big);
}
}  // namespace
