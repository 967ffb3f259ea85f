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

TEST_F(Media, BlitsAtTheScreensEdges) {
    SDL_Surface* block = BLOCK(4, 4, 255, 0, 0);
    KELBLITIMAGE(WIDTH - 1, 10, block);  // one column still shows
    EXPECT_EQ(RED, READPIXEL(WIDTH - 1, 10));
    EXPECT_EQ(4, COUNT(RED));
    CLEAR(0, 0, 0);
    for (int x : {WIDTH, WIDTH + 1, WIDTH + 1000}) KELBLITIMAGE(x, 10, block);
    for (int y : {HEIGHT, HEIGHT + 1}) KELBLITIMAGE(10, y, block);
    EXPECT_EQ(0, COUNT(RED));
    KELBLITIMAGE(-2, 50, block);
    KELBLITIMAGE(60, -3, block);
    EXPECT_EQ(2 * 4 + 4 * 1, COUNT(RED));
    EXPECT_EQ(RED, READPIXEL(1, 53));
    EXPECT_EQ(BLACK, READPIXEL(2, 50));
    EXPECT_EQ(RED, READPIXEL(63, 0));
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

TEST_F(Media, StripFramesAreFortyPixelsWide) {
    SDL_Surface* strip = BLOCK(120, 3, 255, 0, 0);
    SDL_Rect frame1{40, 0, 40, 3}, frame2{80, 0, 40, 3};
    SDL_FillRect(strip, &frame1, SDL_MapRGB(strip->format, 0, 255, 0));
    SDL_FillRect(strip, &frame2, SDL_MapRGB(strip->format, 0, 0, 255));

    KELQFAKBLITIMAGE(10, 20, 2, strip);
    EXPECT_EQ(40 * 3, COUNT(BLUE));
    EXPECT_EQ(BLUE, READPIXEL(10, 20));
    EXPECT_EQ(BLUE, READPIXEL(49, 22));
    EXPECT_EQ(0, COUNT(RED) + COUNT(GREEN));

    KELSETCLIP(0, 0, 1, 1);
    KELQFAKBLITCULLEDIMAGE(200, 50, 10, 2, 5, 0, 1, strip);
    EXPECT_EQ(5 * 2, COUNT(GREEN));
    EXPECT_EQ(GREEN, READPIXEL(205, 50));
    EXPECT_EQ(GREEN, READPIXEL(209, 51));
    EXPECT_TRUE(CLIPISWHOLESCREEN());
    KELSETCLIP(0, 0, 1, 1);
    KELQFAKBLITCULLEDIMAGE(200, 50, 10, 2, 5, 0, 1, nullptr);
    EXPECT_TRUE(CLIPISWHOLESCREEN());
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

TEST_F(Media, KeysAreHeldFromPressToRelease) {
    PUSHKEY(SDLK_LSHIFT, true);
    PUSHKEY(SDLK_a, true);
    EXPECT_EQ(-1, KELMULTIKEY(97));
    EXPECT_EQ(-1, KELMULTIKEY(304));  // shift is its own code; "A" is still 97
    EXPECT_EQ(0, KELMULTIKEY(98));
    PUSHKEY(SDLK_a, false);
    EXPECT_EQ(0, KELMULTIKEY(97));
    EXPECT_EQ(-1, KELMULTIKEY(304));
    PUSHKEY(SDLK_SPACE, true);
    PUSHKEY(SDLK_SPACE, false);
    EXPECT_EQ(0, KELMULTIKEY(32));
    EXPECT_EQ(0, KELMULTIKEY(-1));
    EXPECT_EQ(0, KELMULTIKEY(5000));
}

TEST_F(Media, MouseMovesAndButtonsHaveTheirOwnCodes) {
    PUSHMOTION(5, -3);
    EXPECT_EQ(0, KELMULTIKEY(326));
    EXPECT_EQ(-1, KELMULTIKEY(327));
    EXPECT_EQ(-1, KELMULTIKEY(328));
    EXPECT_EQ(0, KELMULTIKEY(329));
    PUSHMOTION(-1, 0);
    EXPECT_EQ(-1, KELMULTIKEY(326));
    EXPECT_EQ(0, KELMULTIKEY(327));
    EXPECT_EQ(0, KELMULTIKEY(328));
    EXPECT_EQ(0, KELMULTIKEY(329));

    PUSHBUTTON(SDL_BUTTON_LEFT, true);
    PUSHBUTTON(SDL_BUTTON_RIGHT, true);
    PUSHBUTTON(SDL_BUTTON_WHEELUP, true);
    EXPECT_EQ(-1, KELMULTIKEY(321));
    EXPECT_EQ(0, KELMULTIKEY(322));
    EXPECT_EQ(-1, KELMULTIKEY(323));
    EXPECT_EQ(-1, KELMULTIKEY(324));
    PUSHBUTTON(SDL_BUTTON_LEFT, false);
    EXPECT_EQ(0, KELMULTIKEY(321));
}

}  // namespace

TEST_F(Media, TextLandsInItsOwnColour) {
    // Orange shows whether red, green and blue reach the right channels.
    KELPRINT(10, 10, KELCOLOUR(255, 128, 0), "HHHH");
    int lit = 0;
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            RGB p = READPIXEL(x, y);
            if (p == BLACK) continue;
            ++lit;
            EXPECT_TRUE(x >= 10 && y >= 10 && x < 80 && y < 30) << x << "," << y;
            // Anti-aliased edges are the same colour, darker.
            EXPECT_EQ(0, p.B);
            EXPECT_NEAR(p.R * 128.0 / 255.0, p.G, 1.5);
        }
    }
    EXPECT_GT(lit, 40);
    EXPECT_GT(COUNT(RGB{255, 128, 0}), 10);

    // Black text on white, whatever the colour's fourth byte holds.
    CLEAR(255, 255, 255);
    SDL_Color black = KELCOLOUR(0, 0, 0);
    black.unused = 255;
    KELPRINT(10, 10, black, "HHHH");
    EXPECT_GT(COUNT(BLACK), 10);

}

TEST_F(Media, CloseRequestsAndStrayEventsAreDroppedSafely) {
    PUSHKEY(SDLK_UP, true);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    // A joystick event from a pad whose codes lie beyond the table.
    SDL_Event hat{};
    hat.type = SDL_JOYHATMOTION;
    hat.jhat.which = 7;
    hat.jhat.hat = 3;
    hat.jhat.value = SDL_HAT_LEFT;
    SDL_PushEvent(&hat);
    EXPECT_EQ(-1, KELMULTIKEY(273));
    SDL_Event left;
    EXPECT_EQ(0, SDL_PollEvent(&left)) << "the queue was drained";
    EXPECT_EQ(1, std::count(KEYS.begin(), KEYS.end(), -1));
}
