// The golden recordings (made by tools/make-golden.sh): a hosted game played
// by keys against vexil-bots and a bot's own game replay with every frame's
// check value as recorded, also after jumps back and ahead, and the chosen
// frames' pictures match the stored ones. A change in how the client
// applies messages or predicts motion stops the replay at the first frame
// it changes; a change in the drawing shows in a picture (the frame is then
// kept as a BMP in the artifacts folder).
#include <gtest/gtest.h>

#include <cstdlib>

#include "client/replay.h"
#include "main/spine.h"
#include "media/video.h"
#include "tests/support/screen.h"
#include "tools/goldenpictures.h"

namespace {
// Text is not compared: FreeType 2.12 (Debian 12) and 2.13 (Debian 13) may
// place a glyph's pixels differently, and the text has tests of its own.
// The map and the health bar are rectangle fills, alike everywhere, and
// compared exactly. The world view holds the turned sprites, which classic
// SDL 1.2 and sdl12-compat turn slightly differently (a pixel's shift,
// colours a few steps apart): there a pixel matches when the other picture
// has one within a pixel of it whose channels are each within TOLERANCE,
// both ways, and a picture may have up to ALLOWED pixels that match
// nothing (sdl12-compat's edges of a turned projectile). A sprite drawn two
// or more pixels off, missing or extra shows in scores of pixels.
constexpr int TOLERANCE = 32;
constexpr size_t ALLOWED = 12;

// Pixels of the world view of A without a near match in B.
size_t UNMATCHED(const uint8_t* a, const uint8_t* b) {
    const int w = GOLDENAREAS[0].w, h = GOLDENAREAS[0].h;
    auto CLOSE = [](const uint8_t* p, const uint8_t* q) {
        return std::abs(p[0] - q[0]) <= TOLERANCE && std::abs(p[1] - q[1]) <= TOLERANCE && std::abs(p[2] - q[2]) <= TOLERANCE;
    };
    size_t n = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = y + dy >= 0 && y + dy < h && x + dx >= 0 && x + dx < w &&
                           CLOSE(a + (y * w + x) * 3, b + ((y + dy) * w + x + dx) * 3);
            n += !near;
        }
    }
    return n;
}

size_t MISMATCHED(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != GOLDENBYTES() || b.size() != GOLDENBYTES()) return GOLDENBYTES();
    const size_t view = size_t{GOLDENAREAS[0].w} * GOLDENAREAS[0].h * 3;
    size_t n = UNMATCHED(a.data(), b.data()) + UNMATCHED(b.data(), a.data());
    for (size_t i = view; i < a.size(); i += 3) n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    return n;
}
}  // namespace

TEST(GoldenRecordings, ReplayExactlyAlsoAfterJumpsAndDrawTheStoredPictures) {
    STARTGAMEVIDEO();
    for (const std::string stem : {"hosted", "bot"}) {
        SCOPED_TRACE(stem);
        const std::string base = std::string(VEXIL_SOURCE_DIR) + "/tests/replay/golden/" + stem;
        std::vector<GOLDENPICTURE> pictures;
        ASSERT_TRUE(GOLDENREADPICTURES(base + ".pictures", pictures));
        EXPECT_GE(pictures.size(), 2u);
        ASSERT_TRUE(REPLAYOPEN(base + ".vxdemo")) << REPLAYMESSAGE();
        VX_PLAYERNAME = REPLAYHEADER().PLAYERNAME;
        // Ahead to the middle, back to 2 s, ahead past the first picture and
        // back to the start: each lands on the last frame at or before.
        const uint32_t middle = REPLAYDURATION() / 2;
        for (const uint32_t ms : {middle, 2000u, REPLAYDURATION() - 100, 0u}) {
            REPLAYSEEK(ms);
            EXPECT_TRUE(REPLAYSTATUS() == REPLAYPLAYING && REPLAYTIME() <= ms && REPLAYNEXTTIME() > ms) << ms;
        }
        size_t next = 0;
        for (;;) {
            const bool draw = next < pictures.size() && REPLAYFRAMEINDEX() + 1 == pictures[next].FRAME;
            if (!REPLAYSTEP(draw)) break;
            if (!draw) continue;
            const size_t differ = MISMATCHED(GOLDENGRAB(), pictures[next].RGB);
            const std::string shot = std::string(VEXIL_BINARY_DIR) + "/artifacts/golden-" + stem + "-" +
                                     std::to_string(pictures[next].FRAME) + ".bmp";
            if (differ > ALLOWED) SDL_SaveBMP(KELSCREENSURFACE, shot.c_str());
            EXPECT_LE(differ, ALLOWED) << "pixels do not match in frame " << pictures[next].FRAME << ", drawn as " << shot;
            ++next;
        }
        EXPECT_EQ(REPLAYSTATUS(), REPLAYFINISHED) << REPLAYMESSAGE();
        EXPECT_EQ(REPLAYFRAMEINDEX(), REPLAYFRAMECOUNT());
        EXPECT_EQ(next, pictures.size());
        REPLAYCLOSE();
    }
}
