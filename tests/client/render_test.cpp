// The game screen drawn on the dummy display at 800 x 600, read back pixel
// by pixel, and the read-out number format.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "client/network.h"
#include "client/render.h"
#include "main/spine.h"
#include "media/surface.h"
#include "media/text.h"
#include "media/video.h"
#include "shared/world.h"
#include "tests/support/peer.h"
#include "tests/support/script.h"
#include "tests/support/screen.h"

namespace {
const RGB LIGHTGREY{221, 221, 221};
const RGB RED{255, 0, 0};

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        STARTGAMEVIDEO();
        RESETCLIENTSTATE();
        KELFRAMEPERIOD = 33;
        KELMEASUREDFRAMERATE = 0.03;
    }
    // Sprite entries a test replaced, put back afterwards.
    void REPLACE(SDL_Surface*& entry, SDL_Surface* surface) {
        SAVED.push_back({&entry, entry});
        entry = surface;
    }
    void TearDown() override {
        for (auto& [entry, old] : SAVED) {
            SDL_FreeSurface(*entry);
            *entry = old;
        }
    }
    std::vector<std::pair<SDL_Surface**, SDL_Surface*>> SAVED;
    SCRATCHDIR SCRATCH;
};

// The pixels of a rectangle of the screen.
std::vector<RGB> REGION(int x, int y, int w, int h) {
    std::vector<RGB> pixels;
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) pixels.push_back(READPIXEL(i, j));
    return pixels;
}

bool CONTAINS(const std::vector<RGB>& pixels, RGB colour) {
    for (const RGB& p : pixels)
        if (p == colour) return true;
    return false;
}

// What a read-out line looks like: TEXT printed in black on the panel's
// grey at (X, Y), through the panel's clip.
std::vector<RGB> EXPECTEDLINE(int x, int y, const std::string& text) {
    KELSETCLIP(800 - 148, 30, 146, 600 - 50);
    KELFILLRECT(x, y, 800, 15, 221, 221, 221);
    KELPRINT(x, y, KELCOLOUR(0, 0, 0), text);
    KELRESETCLIP();
    return REGION(x, y, 797 - x, 15);
}
}  // namespace

// Reals print shortest without exponent; a period of 0 or less, or a frame
// measured at 0 ms, still reads as a rate.
TEST(NumberFormat, RealsAndRatesReadForEveryPeriod) {
    EXPECT_EQ(FORMATREAL(60.0), "60");
    EXPECT_EQ(FORMATREAL(-0.0), "0");
    EXPECT_EQ(FORMATREAL(1.0 / (33 / 1000.0)), "30.3030303030303");
    EXPECT_EQ(FORMATREAL(1000000000000000.0), "1000000000000000");
    EXPECT_EQ(ENFORCEDRATETEXT(0), "Enforced rate is:unlimited");
    EXPECT_EQ(ENFORCEDRATETEXT(-7), "Enforced rate is:unlimited");
    EXPECT_EQ(FRAMERATETEXT(std::numeric_limits<double>::infinity()), "Frame rate is:over 1000");
}

TEST_F(RenderTest, CameraCentresTheOwnShipAndLayoutHasItsAreas) {
    CLIENTCURRENTPLAYERSHIP = 0;
    CLIENTPLAYERS[0].CONNECTED = 1;
    CLIENTPLAYERS[0].SUBDIRECTION = 8;  // column 8 of the common set
    REPLACE(PLAYER2SPRITES[0][8], SOLIDSURFACE(9, 7, 0, 255, 0));
    CLIENTDRAWEVERYTHING();

    EXPECT_EQ(CLIENTPVPVARX, -328);
    EXPECT_EQ(CLIENTPVPVARY, -305);
    // 9 x 7 image centred on (328, 305): columns 324..332, rows 302..308.
    const RGB GREEN{0, 255, 0};
    EXPECT_EQ(READPIXEL(328, 305), GREEN);
    EXPECT_EQ(READPIXEL(324, 302), GREEN);
    EXPECT_EQ(READPIXEL(332, 308), GREEN);
    EXPECT_EQ(READPIXEL(323, 305), BLACK);
    EXPECT_EQ(READPIXEL(333, 305), BLACK);
    EXPECT_EQ(READPIXEL(328, 301), BLACK);
    EXPECT_EQ(READPIXEL(328, 309), BLACK);

    // Background, view edges, map square.
    EXPECT_EQ(READPIXEL(0, 0), LIGHTGREY);
    EXPECT_EQ(READPIXEL(1, 100), LIGHTGREY);
    EXPECT_EQ(READPIXEL(2, 30), BLACK);
    EXPECT_EQ(READPIXEL(2, 29), LIGHTGREY);
    EXPECT_EQ(READPIXEL(653, 579), BLACK);
    EXPECT_EQ(READPIXEL(654, 100), LIGHTGREY);
    EXPECT_EQ(READPIXEL(100, 580), LIGHTGREY);
    EXPECT_EQ(READPIXEL(656, 30), BLACK);
    EXPECT_EQ(READPIXEL(797, 175), BLACK);
    EXPECT_EQ(READPIXEL(798, 100), LIGHTGREY);  // the map is cut by the panel's edge
    EXPECT_EQ(READPIXEL(656, 176), LIGHTGREY);
    // The clip rectangle is the whole screen again.
    SDL_Rect clip;
    SDL_GetClipRect(KELSCREENSURFACE, &clip);
    EXPECT_EQ(clip.x, 0);
    EXPECT_EQ(clip.w, 800);
    EXPECT_EQ(clip.h, 600);
}

TEST_F(RenderTest, MapDotsForShipsOwnShipAndProjectiles) {
    CLIENTCURRENTPLAYERSHIP = 2;
    CLIENTPLAYERS[2].CONNECTED = 0;  // not yet marked connected: white dot anyway
    CLIENTPLAYERS[2].X = 0;
    CLIENTPLAYERS[2].Y = 0;
    CLIENTPLAYERS[4].CONNECTED = 1;
    CLIENTPLAYERS[4].X = -5000;
    CLIENTPLAYERS[4].Y = -5000;
    CLIENTPLAYERS[5].CONNECTED = 1;
    CLIENTPLAYERS[5].X = 5000;
    CLIENTPLAYERS[5].Y = 0;
    CLIENTPLAYERS[6].CONNECTED = 0;  // free slot: no dot
    CLIENTPLAYERS[6].X = 2500;
    CLIENTPLAYERS[6].Y = 2500;
    CLIENTPLAYERS[8].CONNECTED = 1;
    CLIENTPLAYERS[8].X = -2500;
    CLIENTPLAYERS[8].Y = 2500;
    CLIENTBULLETS[1000].SPRITE = 1;
    CLIENTBULLETS[1000].X = -2500.f;  // on top of slot 8's dot
    CLIENTBULLETS[1000].Y = 2500.f;
    CLIENTDRAWEVERYTHING();

    // (x, y) maps to (656 + (x + 5000) * 142 / 10000, 30 + (y + 5000) * 146 / 10000).
    EXPECT_EQ(READPIXEL(727, 103), WHITE);
    EXPECT_EQ(READPIXEL(656, 30), RED);
    EXPECT_EQ(READPIXEL(798, 103), LIGHTGREY);  // +5000 maps outside the panel
    EXPECT_EQ(READPIXEL(797, 103), BLACK);
    EXPECT_EQ(READPIXEL(762, 140), BLACK);
    EXPECT_EQ(READPIXEL(692, 140), (RGB{128, 64, 64}));  // 691.5 rounds to even

    CLIENTBULLETS[1000].SPRITE = 0;
    CLIENTPLAYERS[2].CONNECTED = 1;
    CLIENTDRAWEVERYTHING();
    EXPECT_EQ(READPIXEL(692, 140), RED);
    EXPECT_EQ(READPIXEL(727, 103), WHITE);  // own dot covers its red one
}

TEST_F(RenderTest, HealthBarRisesWithHealth) {
    CLIENTPLAYERS[0].HEALTH = 50;
    CLIENTPLAYERS[0].MAXHEALTH = 100;
    CLIENTDRAWEVERYTHING();
    // Red (656, 228, 10, 50) inside the black frame (656, 178, 10, 100).
    EXPECT_EQ(READPIXEL(656, 228), RED);
    EXPECT_EQ(READPIXEL(665, 277), RED);
    EXPECT_EQ(READPIXEL(656, 227), BLACK);
    EXPECT_EQ(READPIXEL(665, 178), BLACK);
    EXPECT_EQ(READPIXEL(666, 250), LIGHTGREY);
    EXPECT_EQ(READPIXEL(656, 278), LIGHTGREY);

    CLIENTPLAYERS[0].HEALTH = 100;
    CLIENTDRAWEVERYTHING();
    EXPECT_EQ(READPIXEL(656, 178), RED);
    EXPECT_EQ(READPIXEL(665, 277), RED);

    CLIENTPLAYERS[0].MAXHEALTH = 0;
    CLIENTDRAWEVERYTHING();
    EXPECT_EQ(READPIXEL(660, 277), BLACK);
    EXPECT_EQ(READPIXEL(660, 178), BLACK);

    CLIENTPLAYERS[0].MAXHEALTH = 100;
    CLIENTPLAYERS[0].HEALTH = -32;
    CLIENTDRAWEVERYTHING();
    EXPECT_EQ(READPIXEL(660, 277), BLACK);
    EXPECT_EQ(READPIXEL(660, 278), LIGHTGREY);
}

TEST_F(RenderTest, ReadOutLinesShowScoresAndRates) {
    for (size_t s = 0; s <= 4; ++s) {
        CLIENTPLAYERS[s].PLAYERNAME = "Ann";
        CLIENTPLAYERS[s].HEALTH = 100;
        CLIENTPLAYERS[s].KILLS = 3;
    }
    KELFRAMEPERIOD = 40;
    KELMEASUREDFRAMERATE = std::numeric_limits<double>::infinity();
    CLIENTROUNDTRIPTIME1 = 5000;
    CLIENTROUNDTRIPTIME2 = 5042;
    CLIENTDRAWEVERYTHING();
    const std::vector<RGB> LINE1 = REGION(671, 178, 126, 15);
    const std::vector<RGB> LINE3 = REGION(671, 208, 126, 15);
    const std::vector<RGB> LINE6 = REGION(671, 253, 126, 15);
    const std::vector<RGB> LINE7 = REGION(671, 268, 126, 15);
    const std::vector<RGB> LINE8 = REGION(671, 283, 126, 15);
    EXPECT_TRUE(CONTAINS(LINE1, BLACK));

    EXPECT_EQ(LINE1, EXPECTEDLINE(671, 178, "Ann:100% 3 kills"));
    EXPECT_EQ(LINE3, EXPECTEDLINE(671, 208, "Ann:100%3 kills"));
    EXPECT_EQ(LINE6, EXPECTEDLINE(671, 253, "Frame rate is:over 1000"));
    EXPECT_EQ(LINE7, EXPECTEDLINE(671, 268, "Enforced rate is:25"));
    EXPECT_EQ(LINE8, EXPECTEDLINE(671, 283, "Reception time is :42ms"));
    CLIENTROUNDTRIPTIME2 = 5107;
    CLIENTDRAWEVERYTHING();
    EXPECT_EQ(REGION(671, 283, 126, 15), EXPECTEDLINE(671, 283, "Reception time is :107ms"));
}

TEST_F(RenderTest, ChatLinesFadeWithAge) {
    const std::string MURDER = std::string("\xFE\x0A\x0A") + "MMMM HHHH";
    CLIENTCHATBUFFER[0] = MURDER;
    CLIENTCHATBUFFER[1] = MURDER;
    CLIENTCHATBUFFER[2] = "";       // drawn as a single space: nothing visible
    CLIENTCHATBUFFER[3] = "\xFE";   // too short: black, no text
    CLIENTCHATBUFFER[12] = std::string("\xFE\xFE\xFE") + "MMMM HHHH";
    CLIENTDRAWEVERYTHING();

    // Line k is drawn at y = 600 - 40 - 12 k.
    const std::vector<RGB> LINE0 = REGION(10, 560, 120, 12);
    const std::vector<RGB> LINE1 = REGION(10, 548, 120, 12);
    EXPECT_TRUE(CONTAINS(LINE0, (RGB{254, 10, 10})));
    EXPECT_FALSE(CONTAINS(LINE0, (RGB{233, 9, 9})));
    EXPECT_TRUE(CONTAINS(LINE1, (RGB{233, 9, 9})));
    EXPECT_FALSE(CONTAINS(LINE1, (RGB{254, 10, 10})));
    // Line 12 is black on the black view: nothing of it shows.
    for (const RGB& p : REGION(10, 416, 120, 12)) ASSERT_EQ(p, BLACK);
    for (const RGB& p : REGION(10, 524, 120, 24)) ASSERT_EQ(p, BLACK);
}
