// The game screen drawn on the dummy display at 800 x 600 and read back
// pixel by pixel, and the read-out texts.
#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

#include "client/client.h"
#include "client/network.h"
#include "client/render.h"
#include "main/spine.h"
#include "media/surface.h"
#include "media/text.h"
#include "media/video.h"
#include "shared/world.h"
#include "tests/support/script.h"
#include "tests/support/screen.h"

namespace {
const RGB LIGHTGREY{221, 221, 221};
const RGB RED{255, 0, 0};
const RGB GREEN{0, 255, 0};
const RGB BLUE{0, 0, 255};
using PIXELS = std::vector<std::tuple<int, int, RGB>>;

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        STARTGAMEVIDEO();
        RESETCLIENTSTATE();
        KELFRAMEPERIOD = 33;
        KELMEASUREDFRAMERATE = 0.03;
    }
    void TearDown() override {
        SDL_FreeSurface(PLAYER2SPRITES[0][8]);
        SDL_FreeSurface(PLAYER3SPRITES[0][8]);
        PLAYER2SPRITES[0][8] = SAVED;
        PLAYER3SPRITES[0][8] = SAVED3;
    }
    void DRAW(const PIXELS& pixels, const char* what) {
        CLIENTDRAWEVERYTHING();
        for (auto& [x, y, colour] : pixels)
            EXPECT_TRUE(READPIXEL(x, y) == colour) << what << " at " << x << ", " << y;
    }
    SDL_Surface* SAVED = PLAYER2SPRITES[0][8];
    SDL_Surface* SAVED3 = PLAYER3SPRITES[0][8];
    SCRATCHDIR SCRATCH;
};

std::vector<RGB> REGION(int x, int y, int w, int h) {
    std::vector<RGB> pixels;
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) pixels.push_back(READPIXEL(i, j));
    return pixels;
}

// What a line of text looks like printed at (X, Y) on BACK, through CLIP.
std::vector<RGB> EXPECTEDLINE(SDL_Rect clip, int x, int y, RGB back, RGB ink, const std::string& text) {
    KELSETCLIP(clip.x, clip.y, clip.w, clip.h);
    KELFILLRECT(x, y, 800, 15, back.R, back.G, back.B);
    KELPRINT(x, y, KELCOLOUR(ink.R, ink.G, ink.B), text);
    KELRESETCLIP();
    return REGION(x, y, 120, 15);
}
const SDL_Rect PANEL{800 - 148, 30, 146, 600 - 50}, WHOLE{0, 0, 800, 600};
}  // namespace

// A period of 0 or less, or a frame measured at 0 ms, still reads.
TEST(ReadOutText, RatesReadForEveryPeriod) {
    EXPECT_EQ(FORMATREAL(1.0 / (33 / 1000.0)), "30.3030303030303");
    EXPECT_EQ(FORMATREAL(1000000000000000.0), "1000000000000000");
    EXPECT_EQ(ENFORCEDRATETEXT(0), "Enforced rate is:unlimited");
    EXPECT_EQ(ENFORCEDRATETEXT(-7), "Enforced rate is:unlimited");
    EXPECT_EQ(FRAMERATETEXT(std::numeric_limits<double>::infinity()), "Frame rate is:over 1000");
}

// The camera centres the own ship at (328, 305); the view, the map square
// and the panel have their places; map dots are white (own), red (ships)
// and dark red (projectiles, drawn last).
TEST_F(RenderTest, CameraViewAndMapDots) {
    CLIENTCURRENTPLAYERSHIP = 2;
    CLIENTPLAYERS[2].SUBDIRECTION = 8;  // column 8 of the common set
    CLIENTPLAYERS[2].CONNECTED = 1;
    PLAYER2SPRITES[0][8] = SOLIDSURFACE(9, 7, 0, 255, 0);
    PLAYER3SPRITES[0][8] = SOLIDSURFACE(13, 11, 0, 0, 255);  // slot 2's own set, drawn beneath
    for (SHIPTYPE& ship : CLIENTPLAYERS) ship.X = 2500;  // free slots out of view: no dots
    CLIENTPLAYERS[2].X = 0;
    for (auto [s, x, y] : {std::tuple{4, -5000, -5000}, {5, 5000, 0}, {8, -2500, 2500}}) {
        CLIENTPLAYERS[static_cast<size_t>(s)].CONNECTED = 1;
        CLIENTPLAYERS[static_cast<size_t>(s)].X = x;
        CLIENTPLAYERS[static_cast<size_t>(s)].Y = y;
    }
    CLIENTBULLETS[1000].SPRITE = 1;
    CLIENTBULLETS[1000].X = -2500.f;  // on top of slot 8's dot
    CLIENTBULLETS[1000].Y = 2500.f;
    // The green 9 x 7 image covers columns 324..332, rows 302..308, on the
    // blue 13 x 11 one (322..334, 300..310); (x, y)
    // maps to (656 + (x + 5000) * 142 / 10000, 30 + (y + 5000) * 146 / 10000).
    DRAW({{328, 305, GREEN}, {324, 302, GREEN}, {332, 308, GREEN}, {323, 305, BLUE}, {334, 310, BLUE},
          {321, 305, BLACK}, {328, 311, BLACK}, {0, 0, LIGHTGREY}, {2, 30, BLACK}, {2, 29, LIGHTGREY},
          {653, 579, BLACK}, {654, 100, LIGHTGREY}, {100, 580, LIGHTGREY}, {798, 100, LIGHTGREY},
          {656, 176, LIGHTGREY}, {727, 103, WHITE} /* own dot covers its red one */, {656, 30, RED}, {797, 103, BLACK}, {762, 140, BLACK},
          {692, 140, RGB{128, 64, 64}}},
         "first frame");
    EXPECT_EQ(CLIENTPVPVARX, -328);
    EXPECT_EQ(CLIENTPVPVARY, -305);
    CLIENTBULLETS[1000].SPRITE = 0;
    DRAW({{692, 140, RED}}, "slot 8 without the projectile");
}

// The bar (W - 144, 178, 10, 100) is black with red rising from the bottom;
// a slot whose whole health is 0 shows an empty bar.
TEST_F(RenderTest, HealthBarRisesWithHealth) {
    const struct { int32_t health, max; PIXELS pixels; } ROWS[] = {
        {50, 100, {{656, 228, RED}, {665, 277, RED}, {656, 227, BLACK}, {665, 178, BLACK}, {666, 250, LIGHTGREY},
                   {656, 278, LIGHTGREY}}},
        {100, 100, {{656, 178, RED}, {665, 277, RED}}},
        {100, 0, {{660, 277, BLACK}, {660, 178, BLACK}, {656, 228, BLACK}}},
        {-32, 100, {{660, 277, BLACK}, {660, 278, LIGHTGREY}}},
    };
    for (const auto& row : ROWS) {
        CLIENTPLAYERS[0].HEALTH = row.health;
        CLIENTPLAYERS[0].MAXHEALTH = row.max;
        DRAW(row.pixels, ("health " + std::to_string(row.health) + " of " + std::to_string(row.max)).c_str());
    }
    // No message carries MAXHEALTH: the arena set-up gives it to slots 0 to 3
    // only, so a player in a higher slot never sees a bar.
    for (int32_t slot : {0, 3, 4, 15}) {
        CLIENTPLACEOBJECTS();
        CLIENTCURRENTPLAYERSHIP = slot;
        CLIENTPLAYERS[static_cast<size_t>(slot)].HEALTH = 100;
        DRAW({{660, 277, slot <= 3 ? RED : BLACK}}, ("own slot " + std::to_string(slot)).c_str());
    }
}

// Score lines, rates and the reception time, each at its place in the panel;
// chat lines at y = 600 - 40 - 12 k, fading with age.
TEST_F(RenderTest, ReadOutAndChatLinesAreWhereAndWhatTheyShow) {
    for (size_t s = 0; s <= 4; ++s) CLIENTPLAYERS[s].PLAYERNAME = "Ann", CLIENTPLAYERS[s].HEALTH = 100;
    CLIENTPLAYERS[2].KILLS = 3;
    KELFRAMEPERIOD = 40;
    KELMEASUREDFRAMERATE = std::numeric_limits<double>::infinity();
    CLIENTCHATBUFFER[0] = "\xFE\x0A\x0AMMMM HHHH";
    CLIENTCHATBUFFER[1] = "\xFE\x0A\x0A" "Ann";
    CLIENTCHATBUFFER[12] = "\xFE\xFE\xFEMMMM HHHH";  // black on the black view
    const RGB GREY = LIGHTGREY;
    for (auto [sent, back] : {std::pair{5000u, 5042u}, {9000u, 9107u}}) {
        CLIENTROUNDTRIPTIME1 = sent;
        CLIENTROUNDTRIPTIME2 = back;
        CLIENTDRAWEVERYTHING();
        const std::tuple<int, int, RGB, RGB, std::string> LINES[] = {
            {671, 178, GREY, BLACK, "Ann:100% 0 kills"},
            {671, 208, GREY, BLACK, "Ann:100%3 kills"},
            {671, 253, GREY, BLACK, "Frame rate is:over 1000"},
            {671, 268, GREY, BLACK, "Enforced rate is:25"},
            {671, 283, GREY, BLACK, "Reception time is :" + std::to_string(back - sent) + "ms"},
            {10, 560, BLACK, RGB{254, 10, 10}, "MMMM HHHH"},
            {10, 548, BLACK, RGB{233, 9, 9}, "Ann"},
            {10, 416, BLACK, BLACK, ""},
        };
        for (const auto& [x, y, paper, ink, text] : LINES) {
            const std::vector<RGB> SHOWN = REGION(x, y, 120, 15);
            EXPECT_TRUE(SHOWN == EXPECTEDLINE(x < 600 ? WHOLE : PANEL, x, y, paper, ink, text)) << text;
            CLIENTDRAWEVERYTHING();
        }
    }
}

// A projectile's screen y is rounded, then its image's half height taken
// off and rounded again: 305.3 gives 305, less 2.5 gives 302.5, which rounds
// to 302 (rounding once would give 303). Its x, 375.5, rounds to 376.
TEST_F(RenderTest, ProjectilesAreDrawnWhereTheCameraAndBothRoundingsPutThem) {
    SDL_Surface* saved = BULLETSPRITES[2][16];
    BULLETSPRITES[2][16] = SOLIDSURFACE(5, 5, 255, 255, 0);
    CLIENTBULLETS[3].SPRITE = 1;
    CLIENTBULLETS[3].DIRECTION = 16;
    CLIENTBULLETS[3].X = 50.0f;
    CLIENTBULLETS[3].Y = 0.3f;
    const RGB YELLOW{255, 255, 0};
    DRAW({{376, 302, YELLOW}, {380, 306, YELLOW}, {375, 304, BLACK}, {381, 304, BLACK}, {378, 301, BLACK},
          {378, 307, BLACK}},
         "projectile");
    SDL_FreeSurface(BULLETSPRITES[2][16]);
    BULLETSPRITES[2][16] = saved;
}
