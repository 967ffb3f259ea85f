#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "main/spine.h"
#include "media/surface.h"
#include "media/video.h"
#include "tests/support/screen.h"

namespace {
const std::vector<std::string> FILES = {
    "data\\star0.bmp",    "data\\star1.bmp",   "data\\star2.bmp",    "data\\star3.bmp",    "data\\star4.bmp",
    "data\\star5.bmp",    "data\\star6.bmp",   "data\\star7.bmp",    "data\\star8.bmp",    "data\\star9.bmp",
    "data\\player1l.bmp", "data\\player1.bmp", "data\\player1r.bmp", "data\\player2.bmp",  "data\\player3.bmp",
    "data\\player4.bmp",  "data\\bullet1.bmp", "data\\bullet2.bmp",  "data\\bullet3.bmp"};

std::vector<std::string> TRACEOF(size_t files) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < files; ++i) {
        lines.push_back("About to load file " + FILES[i]);
        lines.insert(lines.end(), {"Loaded file", "about to convert file", "Freeing original file",
                                   "Setting colour key to hot pink", "Returning ptr"});
    }
    return lines;
}

std::string LOADTRACE;
void LOADONCE() {
    static bool loaded = false;
    if (loaded) return;
    loaded = true;
    SCRATCHDIR dir;
    RESTARTTESTVIDEO(320, 240);
    BEGINCAPTURE();
    LOADGRAPHICS();
    LOADTRACE = ENDCAPTURE();
}

struct NAMEDROW {
    const char* NAME;
    const std::array<SDL_Surface*, 65>* ROW;
    bool SHIP;
};
std::vector<NAMEDROW> FILLEDROWS() {
    return {{"player1l", &PLAYER1SPRITES[0], true}, {"player1", &PLAYER1SPRITES[1], true},
            {"player1r", &PLAYER1SPRITES[2], true}, {"player2", &PLAYER2SPRITES[0], true},
            {"player3", &PLAYER3SPRITES[0], true},  {"player4", &PLAYER4SPRITES[0], true},
            {"bullet1", &BULLETSPRITES[0], false},  {"bullet2", &BULLETSPRITES[1], false},
            {"bullet3", &BULLETSPRITES[2], false}};
}

struct RGBA {
    int R, G, B, A;
};
RGBA PIXEL(SDL_Surface* s, int x, int y) {
    const Uint8* p = static_cast<const Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    Uint32 v = 0;
    switch (s->format->BytesPerPixel) {
        case 1: v = *p; break;
        case 2: v = *reinterpret_cast<const Uint16*>(p); break;
        case 3: v = Uint32(p[0]) | (Uint32(p[1]) << 8) | (Uint32(p[2]) << 16); break;
        default: v = *reinterpret_cast<const Uint32*>(p); break;
    }
    Uint8 r, g, b, a;
    SDL_GetRGBA(v, s->format, &r, &g, &b, &a);
    if ((s->flags & SDL_SRCCOLORKEY) && v == s->format->colorkey) a = 0;
    return {r, g, b, a};
}

bool MAGENTATINTED(const RGBA& p) { return p.A > 0 && p.R - p.G > 40 && p.B - p.G > 40; }

struct OFFSET {
    double X, Y;
};
OFFSET MASSOFFSET(SDL_Surface* s) {
    SDL_LockSurface(s);
    double sum = 0, sx = 0, sy = 0;
    for (int y = 0; y < s->h; ++y) {
        for (int x = 0; x < s->w; ++x) {
            double w = PIXEL(s, x, y).A / 255.0;
            sum += w;
            sx += w * x;
            sy += w * y;
        }
    }
    SDL_UnlockSurface(s);
    return {sx / sum - s->w / 2, sy / sum - s->h / 2};
}

TEST(SpritesDeathTest, AMissingBitmapStopsTheLoadingWithStatus1) {
    SCRATCHDIR dir;
    MAKEDATAFOLDER({"bullet2.bmp"});
    EXPECT_EXIT(
        {
            std::freopen("trace.txt", "w", stdout);
            STARTTESTVIDEO(320, 240);
            LOADGRAPHICS();
        },
        testing::ExitedWithCode(1), "^vexil: cannot load the bitmap data/bullet2.bmp[^\n]*\n$");
    std::vector<std::string> expected = TRACEOF(17);
    expected.insert(expected.end(), {"About to load file data\\bullet2.bmp", "Loaded file",
                                     "data\\bullet2.bmp.bmp failed to load!"});
    EXPECT_EQ(expected, SPLITLINES(READFILE("trace.txt")));
}

TEST(Sprites, TurnedCopiesPointWhereTheirColumnSays) {
    LOADONCE();
    const double pi = std::acos(-1.0);
    for (const NAMEDROW& row : FILLEDROWS()) {
        const OFFSET up = MASSOFFSET((*row.ROW)[0]);
        if (row.SHIP) {
            EXPECT_GT(up.Y, 3.0) << row.NAME;
        } else {
            EXPECT_LT(up.Y, -1.0) << row.NAME;
        }
        for (int a = 1; a <= 64; ++a) {
            const double t = a * pi / 32.0;
            const OFFSET want{up.X * std::cos(t) - up.Y * std::sin(t), up.X * std::sin(t) + up.Y * std::cos(t)};
            const OFFSET got = MASSOFFSET((*row.ROW)[size_t(a)]);
            const double tolerance = 0.25;
            EXPECT_NEAR(want.X, got.X, tolerance) << row.NAME << " column " << a;
            EXPECT_NEAR(want.Y, got.Y, tolerance) << row.NAME << " column " << a;
        }
    }
}

}  // namespace
