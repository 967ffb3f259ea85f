#include <deque>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

#include "main/spine.h"
#include "media/surface.h"
#include "menu/pregame.h"
#include "tests/support/screen.h"

namespace {
struct FRAMEINPUT {
    int32_t X = 0, Y = 0, BUTTONS = 0;
    std::vector<std::pair<SDLKey, bool>> KEYS;
    std::function<void()> CHECK;  // runs on the frame just shown
};

std::deque<FRAMEINPUT> SCRIPT;
FRAMEINPUT CURRENT;
int FRAMESSHOWN = 0;
constexpr int FRAMELIMIT = 2000;

void SCRIPTHOOK() {
    if (++FRAMESSHOWN > FRAMELIMIT) throw std::runtime_error("the pre-game screen never returned");
    if (!SCRIPT.empty()) {
        CURRENT = SCRIPT.front();
        SCRIPT.pop_front();
        for (auto& [key, down] : CURRENT.KEYS) PUSHKEY(key, down);
        if (CURRENT.CHECK) CURRENT.CHECK();
    }
    MOUSE(CURRENT.X, CURRENT.Y, CURRENT.BUTTONS);
}

class PREGAMESCREEN : public MENUTEST {
protected:
    void SetUp() override {
        MENUTEST::SetUp();
        SCRIPT.clear();
        CURRENT = FRAMEINPUT();
        FRAMESSHOWN = 0;
        STARTUPNAMEMONITOR.ACTIVE = 0;
        STARTUPIPMONITOR.ACTIVE = 0;
        PREGAMEFRAMEHOOK = SCRIPTHOOK;
    }
    void TearDown() override { PREGAMEFRAMEHOOK = nullptr; }

    void STAY(int frames = 1) {
        for (int i = 0; i < frames; ++i) SCRIPT.push_back(CURRENTEND());
    }
    FRAMEINPUT CURRENTEND() const {
        FRAMEINPUT f;
        if (!SCRIPT.empty()) {
            f.X = SCRIPT.back().X;
            f.Y = SCRIPT.back().Y;
            f.BUTTONS = SCRIPT.back().BUTTONS;
        }
        return f;
    }
    void MOVE(int32_t x, int32_t y, int32_t buttons) {
        FRAMEINPUT f;
        f.X = x;
        f.Y = y;
        f.BUTTONS = buttons;
        SCRIPT.push_back(f);
    }
    void CLICK(int32_t x, int32_t y) {
        MOVE(x, y, 0);
        MOVE(x, y, 1);
        MOVE(x, y, 1);
        MOVE(x, y, 0);
    }
    void KEY(SDLKey key, bool down) {
        FRAMEINPUT f = CURRENTEND();
        f.KEYS.push_back({key, down});
        SCRIPT.push_back(f);
    }
    void TYPE(const std::string& text) {
        for (char c : text) {
            const bool capital = c >= 'A' && c <= 'Z';
            const SDLKey key = static_cast<SDLKey>(capital ? c - 'A' + 'a' : c);
            if (capital) KEY(SDLK_LSHIFT, true);
            KEY(key, true);
            STAY();
            KEY(key, false);
            if (capital) KEY(SDLK_LSHIFT, false);
            STAY();
        }
    }
    void RUN() {
        PREGAME();
        EXPECT_TRUE(SCRIPT.empty()) << "returned before the script ended";
    }
    static constexpr int32_t NEWX = 110, NEWY = 150, JOINX = 110, JOINY = 260, QUITX = 110, QUITY = 370;
    static constexpr int32_t NAMEX = 300, NAMEY = 240, HOSTX = 300, HOSTY = 280;
};

TEST_F(PREGAMESCREEN, StartNewServerAlwaysHostsAndKeepsTheTypedName) {
    VX_HOSTNAME = "gamehost";
    VX_PLAYERNAME = "Ann";
    CLICK(HOSTX, HOSTY);
    TYPE("xyz");
    CLICK(NAMEX, NAMEY);  // ends the address entry
    TYPE("Ez");           // not confirmed with Enter
    CLICK(NEWX, NEWY);
    RUN();
    EXPECT_EQ(VX_HOSTNAME, "127.0.0.1");
    EXPECT_EQ(VX_PLAYERNAME, "AnnEz");
    EXPECT_EQ(QUITLOOP, 0);
}

TEST_F(PREGAMESCREEN, JoinTurnsTheHostingAddressIntoLocalhost) {
    VX_HOSTNAME = "127.0.0.1";
    VX_PLAYERNAME = "Bo";
    CLICK(JOINX, JOINY);
    RUN();
    EXPECT_EQ(VX_HOSTNAME, "localhost");
    EXPECT_EQ(VX_PLAYERNAME, "Bo");
    EXPECT_EQ(QUITLOOP, 0);
}

}  // namespace
