#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "tests/support/child.h"
#include "tests/support/peer.h"

namespace {
constexpr uint16_t GAMEPORTNUMBER = 7778;

const std::vector<std::pair<std::string, std::string>> NODISPLAY = {{"DISPLAY", ""}, {"SDL_VIDEODRIVER", "x11"}};

int CONNECTEDOTHERS(const TESTCLIENT& watcher) {
    int count = 0;
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot)
        if (slot != watcher.SLOT && watcher.PLAYERS[static_cast<size_t>(slot)].CONNECTED != 0) ++count;
    return count;
}

bool SAWLINE(const TESTCLIENT& watcher, const std::string& text) {
    for (const std::string& line : watcher.LINES)
        if (line.size() > 3 && line.substr(3) == text) return true;
    return false;
}

class BotsExecutable : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PORTFREE(GAMEPORTNUMBER)) FAIL() << "TCP port 7778 is in use inside the test's own network namespace";
        SERVER = STARTCHILD(VEXILSERVERPATH, {});
        ASSERT_GT(SERVER.PID, 0);
        ASSERT_TRUE(READOUTUNTIL(SERVER, "listening on TCP port 7778\n", 10000));
    }
    void TearDown() override {
        if (SERVER.PID > 0) {
            kill(SERVER.PID, SIGTERM);
            EXPECT_EQ(WAITEXIT(SERVER, 10000), 0);
        }
        ENDCHILD(SERVER);
    }
    CHILDPROCESS SERVER;
};

}  // namespace

TEST_F(BotsExecutable, SevenBotsFillTheArenaAndLeaveCleanlyOnEitherSignal) {
    for (int signal : {SIGTERM, SIGINT}) {
        TESTCLIENT watcher;
        ASSERT_TRUE(watcher.JOIN(GAMEPORTNUMBER, "watcher"));
        CHILDPROCESS bots = STARTCHILD(VEXILBOTSPATH, {"--count", "7", "--name", "robo", "localhost"}, NODISPLAY);
        ASSERT_GT(bots.PID, 0);
        EXPECT_TRUE(READOUTUNTIL(bots, "vexil-bots: 7 bots joining localhost port 7778\n", 10000)) << bots.OUTTEXT;
        ASSERT_TRUE(watcher.RUNUNTIL([&] { return CONNECTEDOTHERS(watcher) == 7; }, 30000)) << CONNECTEDOTHERS(watcher);
        const SHIPTABLE first = watcher.PLAYERS;
        auto moved = [&] {
            int count = 0;
            for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
                const SHIPTYPE& ship = watcher.PLAYERS[static_cast<size_t>(slot)];
                const SHIPTYPE& then = first[static_cast<size_t>(slot)];
                if (slot != watcher.SLOT && ship.CONNECTED != 0 && (ship.X != then.X || ship.Y != then.Y)) ++count;
            }
            return count;
        };
        EXPECT_TRUE(watcher.RUNUNTIL([&] { return moved() == 7; }, 15000)) << moved();
        EXPECT_TRUE(watcher.RUNUNTIL([&] { return watcher.SHOTSFIRED.size() >= 7; }, 20000));
        for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
            const SHIPTYPE& ship = watcher.PLAYERS[static_cast<size_t>(slot)];
            if (slot != watcher.SLOT && ship.CONNECTED != 0) {
                EXPECT_EQ(ship.PLAYERNAME.rfind("robo", 0), 0u) << ship.PLAYERNAME;
            }
        }
        for (int n = 1; n <= 7; ++n) EXPECT_TRUE(SAWLINE(watcher, " *** robo" + std::to_string(n) + " entered the game."));

        kill(bots.PID, signal);
        EXPECT_EQ(WAITEXIT(bots, 10000), 0) << "signal " << signal;
        READREST(bots, 1000);
        EXPECT_NE(bots.OUTTEXT.find("vexil-bots: 7 played, 0 could not join, 0 dropped by the server\n"),
                  std::string::npos)
            << bots.OUTTEXT;
        EXPECT_EQ(bots.ERRTEXT, "");
        EXPECT_TRUE(watcher.RUNUNTIL([&] { return CONNECTEDOTHERS(watcher) == 0; }, 15000));
        for (int n = 1; n <= 7; ++n) EXPECT_TRUE(SAWLINE(watcher, " *** robo" + std::to_string(n) + " has left the game."));
        ENDCHILD(bots);
    }
}

TEST_F(BotsExecutable, NoServerOrABadCommandLineEndsAtOnceWithTheReason) {
    kill(SERVER.PID, SIGTERM);
    ASSERT_EQ(WAITEXIT(SERVER, 10000), 0);
    ENDCHILD(SERVER);

    CHILDPROCESS refused = STARTCHILD(VEXILBOTSPATH, {"--count", "2", "localhost"}, NODISPLAY);
    EXPECT_EQ(WAITEXIT(refused, 15000), 1);
    READREST(refused, 1000);
    EXPECT_EQ(refused.ERRTEXT,
              "vexil: cannot connect to localhost port 7778: connection refused\n"
              "vexil: cannot connect to localhost port 7778: connection refused\n");
    EXPECT_NE(refused.OUTTEXT.find("vexil-bots: 0 played, 2 could not join"), std::string::npos) << refused.OUTTEXT;
    ENDCHILD(refused);

    const std::vector<std::vector<std::string>> bad = {
        {}, {"--count", "0", "localhost"}, {"--count", "17", "localhost"}, {"--count", "x", "localhost"},
        {"--seconds", "-1", "localhost"}, {"--name", "", "localhost"}, {"localhost", "otherhost"}, {"--fly", "localhost"}};
    for (const auto& args : bad) {
        CHILDPROCESS child = STARTCHILD(VEXILBOTSPATH, args, NODISPLAY);
        EXPECT_EQ(WAITEXIT(child, 10000), 2);
        READREST(child, 1000);
        EXPECT_NE(child.ERRTEXT.find("usage: vexil-bots [--count N] [--name NAME] [--seconds S] HOST"), std::string::npos)
            << child.ERRTEXT;
        EXPECT_EQ(child.OUTTEXT, "");
        ENDCHILD(child);
    }
}
