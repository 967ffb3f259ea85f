// The game screen drawn on the dummy display at 800 x 600 and read back
// pixel by pixel: ships, projectiles, map dots, the health bar, the
// read-out and chat lines.
#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "client/render.h"
#include "main/spine.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/video.h"
#include "tests/support/screen.h"
#include "tests/support/script.h"

namespace {
const RGB GREY{221, 221, 221}, RED{255, 0, 0}, GREEN{0, 255, 0}, BLUE{0, 0, 255}, YELLOW{255, 255, 0};
using PIXELS = std::vector<std::tuple<int, int, RGB>>;

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override { STARTGAMEVIDEO(), RESETCLIENTSTATE(); }
    void DRAW(const PIXELS& pixels) {
        CLIENTDRAWEVERYTHING();
        for (auto& [x, y, colour] : pixels) EXPECT_TRUE(READPIXEL(x, y) == colour) << "at " << x << ", " << y;
    }
};
}  // namespace

// The camera centres the own ship at (328, 305): the green 9 x 7 common image
// covers columns 324..332, rows 302..308, on the blue 13 x 11 one of slot 2's
// own set (322..334, 300..310). A projectile's screen y is rounded, then its
// image's half height taken off and rounded again: 305.3 gives 305, less 2.5
// gives 302.5, which rounds to 302 (rounding once would give 303); its x,
// 375.5, rounds to 376. The world (x, y) is on the map at (656 + (x + 5000) *
// 142 / 10000, 30 + (y + 5000) * 146 / 10000): white for the own ship, red
// for other ships, dark red for projectiles (drawn last).
TEST_F(RenderTest, ShipsProjectilesAndMapDotsAreWhereTheCameraPutsThem) {
    CLIENTCURRENTPLAYERSHIP = 2, CLIENTPLAYERS[2].SUBDIRECTION = 8;  // column 8 of the sets
    // Solid stand-ins for three sprites, kept for the rest of the process.
    for (auto [entry, w, h, c] : {std::tuple{&PLAYER2SPRITES[0][8], 9, 7, GREEN}, {&PLAYER3SPRITES[0][8], 13, 11, BLUE},
                                  {&BULLETSPRITES[2][16], 5, 5, YELLOW}})
        SDL_FreeSurface(*entry), *entry = SOLIDSURFACE(w, h, c);
    for (SHIPTYPE& ship : CLIENTPLAYERS) ship.X = 2500;  // free slots out of view: no dots
    for (auto [s, x, y] : {std::tuple{2u, 0, 0}, {4, -5000, -5000}, {5, 5000, 0}, {8, -2500, 2500}})
        CLIENTPLAYERS[s].X = x, CLIENTPLAYERS[s].Y = y, CLIENTPLAYERS[s].CONNECTED = 1;
    CLIENTBULLETS[3] = BULLETTYPE{.X = 50.f, .Y = 0.3f, .DIRECTION = 16, .SPRITE = 1};
    CLIENTBULLETS[1000] = BULLETTYPE{.X = -2500.f, .Y = 2500.f, .SPRITE = 1};  // on slot 8's dot
    DRAW({{328, 305, GREEN}, {324, 302, GREEN}, {332, 308, GREEN}, {323, 305, BLUE}, {334, 310, BLUE},
          {321, 305, BLACK}, {328, 311, BLACK}, {376, 302, YELLOW}, {380, 306, YELLOW}, {375, 304, BLACK},
          {378, 301, BLACK}, {378, 307, BLACK}, {0, 0, GREY}, {2, 30, BLACK}, {2, 29, GREY}, {653, 579, BLACK},
          {654, 100, GREY}, {100, 580, GREY}, {798, 100, GREY}, {656, 176, GREY}, {727, 103, WHITE},
          {656, 30, RED}, {797, 103, BLACK}, {762, 103, BLACK}, {692, 140, RGB{128, 64, 64}}});
    CLIENTBULLETS[1000].SPRITE = 0;
    DRAW({{692, 140, RED}});
}

// The bar (656, 178, 10, 100) is black with red rising from the bottom. No
// message carries MAXHEALTH: the arena set-up gives it to slots 0 to 3 only,
// and a slot without it (max -1: as the set-up leaves it) has an empty bar.
TEST_F(RenderTest, HealthBarRisesWithHealthAndStaysEmptyWithoutWholeHealth) {
    const struct { int32_t slot, health, max; PIXELS pixels; } ROWS[] = {
        {0, 50, 100, {{656, 228, RED}, {665, 277, RED}, {656, 227, BLACK}, {665, 178, BLACK}, {666, 250, GREY}}},
        {0, 100, 100, {{656, 178, RED}, {656, 278, GREY}}}, {0, 100, 0, {{660, 277, BLACK}, {660, 178, BLACK}}},
        {0, -32, 100, {{660, 277, BLACK}}}, {3, 100, -1, {{660, 277, RED}}}, {4, 100, -1, {{660, 277, BLACK}}},
    };
    for (const auto& row : ROWS) {
        SCOPED_TRACE(&row - ROWS);
        CLIENTPLACEOBJECTS();
        SHIPTYPE& own = CLIENTPLAYERS[static_cast<size_t>(CLIENTCURRENTPLAYERSHIP = row.slot)];
        own.HEALTH = row.health, own.MAXHEALTH = row.max >= 0 ? row.max : own.MAXHEALTH;
        DRAW(row.pixels);
    }
}

// Score lines, rates and the reception time at their places in the panel,
// each exactly as printed; chat lines at y = 600 - 40 - 12 k, fading with
// age. A period of 0 or a frame measured at 0 ms still reads.
TEST_F(RenderTest, ReadOutAndChatLinesShowTheirTextsWhereTheyBelong) {
    for (size_t s = 0; s <= 4; ++s) CLIENTPLAYERS[s].PLAYERNAME = "Ann", CLIENTPLAYERS[s].HEALTH = 100;
    CLIENTPLAYERS[2].KILLS = 3, KELMEASUREDFRAMERATE = std::numeric_limits<double>::infinity();
    CLIENTCHATBUFFER[0] = "\xFE\x0A\x0AMMMM HHHH", CLIENTCHATBUFFER[1] = "\xFE\x0A\x0A" "Ann";
    CLIENTCHATBUFFER[12] = "\xFE\xFE\xFEMMMM HHHH";  // faded to black on the black view
    for (auto [sent, back, period, rate] : {std::tuple{5000u, 5042u, 40, "25"}, {9000u, 9107u, 0, "unlimited"}}) {
        CLIENTROUNDTRIPTIME1 = sent, CLIENTROUNDTRIPTIME2 = back, KELFRAMEPERIOD = period;
        // Panel lines print black on grey through the panel's clip, chat lines on black.
        const std::tuple<int, int, RGB, std::string> LINES[] = {{671, 178, BLACK, "Ann:100% 0 kills"},
            {671, 193, BLACK, "Ann:100% 0 kills"}, {671, 208, BLACK, "Ann:100%3 kills"}, {671, 223, BLACK, "Ann:100%0 kills"},
            {671, 238, BLACK, "Ann:100%0 kills"}, {671, 253, BLACK, "Frame rate is:over 1000"},
            {671, 268, BLACK, std::string("Enforced rate is:") + rate},
            {671, 283, BLACK, "Reception time is :" + std::to_string(back - sent) + "ms"},
            {10, 560, RGB{254, 10, 10}, "MMMM HHHH"}, {10, 548, RGB{233, 9, 9}, "Ann"}, {10, 416, BLACK, ""}};
        for (const auto& [x, y, ink, text] : LINES) {
            CLIENTDRAWEVERYTHING();
            const SDL_Rect clip = x > 600 ? SDL_Rect{652, 30, 146, 550} : SDL_Rect{0, 0, 800, 600};
            EXPECT_TRUE(PRINTSAS(clip, x, y, x > 600 ? GREY : BLACK, ink, text)) << text;
        }
    }
}

// Turned copies turn clockwise: heading 16 points right, 48 left, 0 (drawn
// as 64) up. The bitmaps' magenta stays transparent: beside the nose, in the
// corner of the turned copy and in the corner of a star the view stays black.
TEST_F(RenderTest, TurnedShipsPointClockwiseAndMagentaNeverShows) {
    const struct { double heading; int nosex, nosey, besidex, besidey; } ROWS[] = {
        {16, 350, 305, 350, 313}, {48, 306, 305, 306, 313}, {0, 328, 283, 336, 283}};
    for (const auto& r : ROWS) {
        RESETCLIENTSTATE();
        CLIENTPLAYERS[0].SUBDIRECTION = r.heading, CLIENTPLAYERS[0].CONNECTED = 1;
        CLIENTSTARFIELD[0] = STARTYPE{.X = 100, .SPRITE = 9};  // 11 x 11, magenta corners, at (428, 305)
        DRAW({{r.besidex, r.besidey, BLACK}, {298, 274, BLACK}, {428, 305, BLACK}});
        EXPECT_FALSE(READPIXEL(r.nosex, r.nosey) == BLACK || READPIXEL(429, 306) == BLACK) << r.heading;
    }
}

// Each key held, then released, acts on the own ship (slot 3) alone.
TEST_F(RenderTest, EachKeyTurnsThrustsFiresPacesOrLeaves) {
    const struct { SDLKey key; double turn; int32_t thrust, shooting, period, quit; } ROWS[] = {
        {SDLK_LEFT, -TURNRATE, 0, 0, 33, 0}, {SDLK_RIGHT, TURNRATE, 0, 0, 33, 0}, {SDLK_UP, 0, 300, 0, 33, 0},
        {SDLK_DOWN, 0, -300, 0, 33, 0}, {SDLK_SPACE, 0, 0, 1, 33, 0}, {SDLK_p, 0, 0, 0, 34, 0},
        {SDLK_o, 0, 0, 0, 32, 0}, {SDLK_ESCAPE, 0, 0, 0, 33, 1}};
    KELMULTIKEY(0), KELRESETKEYS(), CLIENTCURRENTPLAYERSHIP = 3;
    const SHIPTYPE& own = CLIENTPLAYERS[3];
    for (const auto& row : ROWS) {
        KELFRAMEPERIOD = 33, QUITLOOP = 0;
        PUSHKEY(row.key, true), CLIENTCONTROLS();
        EXPECT_EQ(std::tuple(own.DELTATHETA, own.CURRENTACCELERATION, own.SHOOTING, KELFRAMEPERIOD, QUITLOOP.load()),
                  std::tuple(row.turn, row.thrust, row.shooting, row.period, row.quit)) << row.key;
        PUSHKEY(row.key, false), CLIENTCONTROLS();
        EXPECT_TRUE(own.DELTATHETA == 0 && own.CURRENTACCELERATION == 0 && own.SHOOTING == 0 && KELFRAMEPERIOD == row.period);
    }
    KELFRAMEPERIOD = 33;
}

// Prediction: a ship drifts and loses 0.4 of its speed per second; a
// projectile that left the arena is freed. Fresh clocks take steps of 1/30 s.
TEST_F(RenderTest, PredictionDragsShipsAndFreesProjectilesThatLeftTheArena) {
    CLIENTRESETPHYSICSCLOCKS();
    CLIENTPLAYERS[4].XVELOC = 300, CLIENTBULLETS[5] = BULLETTYPE{.Y = -4999.0f, .SPEED = 100, .SPRITE = 1};
    CLIENTPHYSICS(), CLIENTBULLETPHYSICS();
    EXPECT_TRUE(std::abs(CLIENTPLAYERS[4].XVELOC - 296) < 1e-9 && std::abs(CLIENTPLAYERS[4].X - 10) < 1e-9);
    EXPECT_EQ(CLIENTBULLETS[5].SPRITE, 0);
}
