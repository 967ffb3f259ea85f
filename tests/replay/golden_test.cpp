// The golden recordings (made by make-golden.sh): a hosted game played by a
// script of keys and a bot's own game replay with every frame's check value
// as recorded, and the chosen frames' pictures match the stored ones in the
// areas without text. A change in how the client applies messages or
// predicts motion stops the replay at the first frame it changes; a change
// in the drawing shows in a picture (the frame is then kept as a BMP in the
// artifacts folder).
#include <gtest/gtest.h>

#include "client/replay.h"
#include "main/spine.h"
#include "media/video.h"
#include "tests/replay/golden.h"
#include "tests/support/screen.h"

TEST(GoldenRecordings, ReplayExactlyAndDrawTheStoredPictures) {
    STARTGAMEVIDEO();
    for (const std::string stem : {"hosted", "bot"}) {
        SCOPED_TRACE(stem);
        const std::string base = std::string(VEXIL_SOURCE_DIR) + "/tests/replay/golden/" + stem;
        std::vector<GOLDENPICTURE> pictures;
        ASSERT_TRUE(GOLDENREADPICTURES(base + ".pictures", pictures));
        ASSERT_TRUE(REPLAYOPEN(base + ".vxdemo")) << REPLAYMESSAGE();
        VX_PLAYERNAME = REPLAYHEADER().PLAYERNAME;
        EXPECT_GE(pictures.size(), 2u);
        size_t next = 0;
        for (;;) {
            const bool draw = next < pictures.size() && REPLAYFRAMEINDEX() + 1 == pictures[next].FRAME;
            if (!REPLAYSTEP(draw)) break;
            if (!draw) continue;
            const size_t differ = GOLDENMISMATCHED(GOLDENGRAB(), pictures[next].RGB);
            const std::string shot = std::string(VEXIL_BINARY_DIR) + "/artifacts/golden-" + stem + "-" +
                                     std::to_string(pictures[next].FRAME) + ".bmp";
            if (differ != 0) SDL_SaveBMP(KELSCREENSURFACE, shot.c_str());
            EXPECT_EQ(differ, 0u) << "pixels do not match in frame " << pictures[next].FRAME << ", drawn as " << shot;
            ++next;
        }
        EXPECT_EQ(REPLAYSTATUS(), REPLAYFINISHED) << REPLAYMESSAGE();
        EXPECT_EQ(REPLAYFRAMEINDEX(), REPLAYFRAMECOUNT());
        EXPECT_EQ(next, pictures.size());
        REPLAYCLOSE();
    }
}
