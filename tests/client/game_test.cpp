#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "main/spine.h"
#include "media/video.h"
#include "server/server.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"
#include "tests/support/peer.h"
#include "tests/support/script.h"
#include "tests/support/screen.h"

namespace {
class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        STARTGAMEVIDEO();
        RESETCLIENTSTATE();
        VX_PLAYERNAME = "Ann";
    }
    void TearDown() override { STOPSERVER(); }
    void STARTSERVER(int32_t port) {
        GAMEPORT = port;
        VX_HOSTNAME = "127.0.0.1";
        SERVERTHREAD = std::thread([] { GAMESERVER(0); });
        for (int i = 0; i < 2000 && SERVERHOSTING.load() == 0; ++i) SDL_Delay(1);
        ASSERT_EQ(SERVERHOSTING.load(), 1);
    }
    void STOPSERVER() {
        if (!SERVERTHREAD.joinable()) return;
        QUITLOOP = 1;
        SERVERTHREAD.join();
        SERVERRELEASE();
    }
    std::thread SERVERTHREAD;
    SCRATCHDIR SCRATCH;
};

bool PLAYUNTIL(const std::function<bool()>& done, int frames = 1000) {
    for (int i = 0; i < frames; ++i) {
        CLIENTNETGETDATAPACKET();
        CLIENTPHYSICS();
        CLIENTBULLETPHYSICS();
        CLIENTNETFLUSH();
        if (done()) return true;
        SDL_Delay(3);
    }
    return false;
}

const std::string WHITECODES = "\xFE\xFE\xFE";
}  // namespace

TEST_F(GameTest, HostingClientJoinsChatsAndFiresThroughTheRealServer) {
    STARTSERVER(27202);
    CLIENTSTARTNETWORK();
    ASSERT_TRUE(CLIENTCONNECTED());
    CLIENTSENDREADY();
    EXPECT_EQ(CLIENTCURRENTPLAYERSHIP, 0);

    ASSERT_TRUE(PLAYUNTIL([] {
        return CLIENTPLAYERS[0].CONNECTED == 1 && CLIENTPLAYERS[0].PLAYERNAME == "Ann" &&
               CLIENTROUNDTRIPTIME2 > 0;
    }));
    EXPECT_EQ(CLIENTCHATBUFFER[0], WHITECODES + " *** Ann entered the game.");
    EXPECT_EQ(CLIENTPLAYERS[0].HEALTH, 100);
    EXPECT_GE(CLIENTPLAYERS[0].X, -5000);
    EXPECT_LT(CLIENTPLAYERS[0].X, 5000);
    EXPECT_GE(CLIENTROUNDTRIPTIME2 - CLIENTROUNDTRIPTIME1, 0);
    EXPECT_LT(CLIENTROUNDTRIPTIME2 - CLIENTROUNDTRIPTIME1, 1000);

    CLIENTSENDCHAT("hello");
    ASSERT_TRUE(PLAYUNTIL([] { return CLIENTCHATBUFFER[0] == WHITECODES + "Ann:hello"; }));

    CLIENTPLAYERS[0].SHOOTING = 1;
    auto INFLIGHT = [] {
        for (const BULLETTYPE& b : CLIENTBULLETS)
            if (b.SPRITE == 1) return true;
        return false;
    };
    ASSERT_TRUE(PLAYUNTIL(INFLIGHT));

    STOPSERVER();
    QUITLOOP = 0;
    ASSERT_TRUE(PLAYUNTIL([] { return QUITLOOP.load() == 1; }));
    EXPECT_FALSE(CLIENTCONNECTED());
    EXPECT_EQ(KELEXITSTATUS.load(), 0);
}

TEST_F(GameTest, HostingAndJoiningClientsDrawTheSameStars) {
    // A joining process: the client's draws are the first of its thread.
    // The client tables belong to the thread that runs the client, so each
    // thread hands its star field back.
    STARTABLE JOINING;
    std::thread joining([&] {
        CLIENTPLACEOBJECTS();
        JOINING = CLIENTSTARFIELD;
    });
    joining.join();

    // A hosting process: the server thread places its own stars at the same
    // time as the client places its.
    VX_HOSTNAME = "127.0.0.1";
    GAMEPORT = 27201;
    std::thread server([] { GAMESERVER(0); });
    STARTABLE HOSTING;
    std::thread hosting([&] {
        CLIENTPLACEOBJECTS();
        HOSTING = CLIENTSTARFIELD;
    });
    hosting.join();
    for (int i = 0; i < 2000 && SERVERHOSTING.load() == 0; ++i) SDL_Delay(1);
    QUITLOOP = 1;
    server.join();
    // Every thread's generator starts alike: the server's field is the same.
    const STARTABLE SERVERS = SERVERSTARFIELD;
    SERVERRELEASE();

    int differing = 0;
    int drawn = 0;
    for (size_t i = 0; i < HOSTING.size(); ++i) {
        const STARTYPE& a = HOSTING[i];
        const STARTYPE& b = JOINING[i];
        if (a.X != b.X || a.Y != b.Y || a.SPRITE != b.SPRITE) ++differing;
        if (a.SPRITE != 0) ++drawn;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(drawn, 800);  // about one star in ten is invisible
    for (size_t i = 0; i < SERVERS.size(); ++i) {
        ASSERT_EQ(SERVERS[i].X, JOINING[i].X);
        ASSERT_EQ(SERVERS[i].SPRITE, JOINING[i].SPRITE);
    }
}
