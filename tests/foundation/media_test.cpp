#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "media/clock.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/text.h"
#include "media/video.h"
#include "tests/support/screen.h"

namespace {
constexpr int WIDTH = 320;
constexpr int HEIGHT = 200;

class Media : public testing::Test {
protected:
    void SetUp() override {
        RESTARTTESTVIDEO(WIDTH, HEIGHT);
        USEFAKECLOCK(1000);
        KELOLDTIMER = 0;  // the pacing state as video start-up leaves it
        KELOLDERTIMER = 0;
        CLEAR(0, 0, 0);
        SDL_Event drop;
        while (SDL_PollEvent(&drop)) {
        }
        KELRESETKEYS();
    }
    void TearDown() override {
        KELUSEREALCLOCK();
        for (SDL_Surface* s : OWNED) SDL_FreeSurface(s);
    }

    static void CLEAR(Uint8 r, Uint8 g, Uint8 b) {
        KELRESETCLIP();
        SDL_FillRect(KELSCREENSURFACE, nullptr, SDL_MapRGB(KELSCREENSURFACE->format, r, g, b));
    }
    SDL_Surface* BLOCK(int w, int h, Uint8 r, Uint8 g, Uint8 b) {
        SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0);
        SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, r, g, b));
        OWNED.push_back(s);
        return s;
    }
    static int COUNT(RGB colour) {
        int n = 0;
        for (int y = 0; y < HEIGHT; ++y) {
            for (int x = 0; x < WIDTH; ++x) n += READPIXEL(x, y) == colour;
        }
        return n;
    }
    static bool CLIPISWHOLESCREEN() {
        SDL_Rect clip;
        SDL_GetClipRect(KELSCREENSURFACE, &clip);
        return clip.x == 0 && clip.y == 0 && clip.w == WIDTH && clip.h == HEIGHT;
    }

    SCRATCHDIR DIR;
    std::vector<SDL_Surface*> OWNED;
};

const RGB RED{255, 0, 0};
const RGB GREEN{0, 255, 0};
const RGB BLUE{0, 0, 255};

TEST_F(Media, FramesSleepTheRestOfThePeriodAfterTheyAreShown) {
    KELFRAMEPERIOD = 33;
    KELPAGEFLIP();  // the first flip never sleeps
    EXPECT_EQ(0u, FAKEDELAYCOUNT);
    EXPECT_EQ(1000, KELMEASUREDFRAMEPERIOD);  // the time since start-up
    for (int frame = 0; frame < 5; ++frame) {
        FAKENOW += 10;
        KELPAGEFLIP();
        EXPECT_EQ(23u, FAKELASTDELAY);
    }
    EXPECT_EQ(5u, FAKEDELAYCOUNT);
    EXPECT_EQ(33, KELMEASUREDFRAMEPERIOD);
    for (int frame = 0; frame < 3; ++frame) {
        FAKENOW += 50;
        KELPAGEFLIP();
    }
    EXPECT_EQ(5u, FAKEDELAYCOUNT);
    EXPECT_EQ(50, KELMEASUREDFRAMEPERIOD);
    EXPECT_DOUBLE_EQ(0.02, KELMEASUREDFRAMERATE);
    FAKENOW += 10;
    KELPAGEFLIP();
    EXPECT_EQ(23u, FAKELASTDELAY);
}

TEST_F(Media, AFramePeriodOfZeroOrLessNeverSleeps) {
    for (int period : {0, -5}) {
        KELFRAMEPERIOD = period;
        for (int frame = 0; frame < 5; ++frame) {
            KELPAGEFLIP();
            FAKENOW += frame % 2;
        }
    }
    EXPECT_EQ(0u, FAKEDELAYCOUNT);
}

TEST_F(Media, PacingCarriesOnWhereTheTickCountPassesTheSignedLimit) {
    KELFRAMEPERIOD = 33;
    USEFAKECLOCK(0x7FFFFF00u);
    KELOLDERTIMER = static_cast<int32_t>(FAKENOW);
    KELOLDTIMER = static_cast<int32_t>(FAKENOW + 33);
    for (int frame = 0; frame < 20; ++frame) {
        FAKENOW += 10;
        KELPAGEFLIP();
        EXPECT_EQ(23u, FAKELASTDELAY) << "frame " << frame;
    }
    EXPECT_GT(FAKENOW, 0x80000000u);
    EXPECT_EQ(33, KELMEASUREDFRAMEPERIOD);
}

TEST_F(Media, ClippedBlitsLeaveTheWholeScreenAsClipRectangle) {
    SDL_Surface* block = BLOCK(4, 4, 255, 0, 0);
    KELSETCLIP(10, 10, 5, 5);  // whatever was set before
    KELCULLBLITIMAGE(100, 100, 2, 2, 99, 99, block);
    EXPECT_EQ(4, COUNT(RED));
    EXPECT_EQ(RED, READPIXEL(100, 100));
    EXPECT_EQ(RED, READPIXEL(101, 101));
    EXPECT_TRUE(CLIPISWHOLESCREEN());
    KELBLITIMAGE(0, 0, block);
    EXPECT_EQ(4 + 16, COUNT(RED));
}

void PUSHMOTION(int xrel, int yrel) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.xrel = static_cast<Sint16>(xrel);
    e.motion.yrel = static_cast<Sint16>(yrel);
    SDL_PushEvent(&e);
}

void PUSHBUTTON(int button, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = static_cast<Uint8>(button);
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    SDL_PushEvent(&e);
}

}  // namespace
