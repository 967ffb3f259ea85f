// The client against the real server, both in this process as when a player
// hosts: the server runs GAMESERVER in its own thread on a test port
// (27200-27299) and the client talks to it over loopback.
#include <gtest/gtest.h>

#include <algorithm>
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
#include "tests/client/clienttest.h"
#include "tests/support/testsupport.h"

namespace {
class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        STARTGAMEVIDEO();
        RESETCLIENTSTATE();
        VX_PLAYERNAME = "Ann";
    }
    void TearDown() override { STOPSERVER(); }
    // The hosting process's server thread, on PORT.
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

// Frames of network and prediction without the page flip's pause.
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

const std::string WHITE = "\xFE\xFE\xFE";
}  // namespace

TEST_F(GameTest, HostingAndJoiningClientsDrawTheSameStars) {
    // A joining process: the client's draws are the first of its thread.
    std::thread joining(CLIENTPLACEOBJECTS);
    joining.join();
    const STARTABLE JOINING = CLIENTSTARFIELD;
    CLIENTSTARFIELD = STARTABLE();

    // A hosting process: the server thread places its own stars at the same
    // time as the client places its.
    VX_HOSTNAME = "127.0.0.1";
    GAMEPORT = 27201;
    std::thread server([] { GAMESERVER(0); });
    std::thread hosting(CLIENTPLACEOBJECTS);
    hosting.join();
    for (int i = 0; i < 2000 && SERVERHOSTING.load() == 0; ++i) SDL_Delay(1);
    QUITLOOP = 1;
    server.join();
    // Every thread's generator starts alike: the server's field is the same.
    const STARTABLE SERVERS = SERVERSTARFIELD;
    SERVERRELEASE();

    int differing = 0;
    int drawn = 0;
    for (size_t i = 0; i < CLIENTSTARFIELD.size(); ++i) {
        const STARTYPE& a = CLIENTSTARFIELD[i];
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
    EXPECT_EQ(CLIENTCHATBUFFER[0], WHITE + " *** Ann entered the game.");
    EXPECT_EQ(CLIENTPLAYERS[0].HEALTH, 100);
    EXPECT_GE(CLIENTPLAYERS[0].X, -5000);
    EXPECT_LT(CLIENTPLAYERS[0].X, 5000);
    EXPECT_GE(CLIENTROUNDTRIPTIME2 - CLIENTROUNDTRIPTIME1, 0);
    EXPECT_LT(CLIENTROUNDTRIPTIME2 - CLIENTROUNDTRIPTIME1, 1000);

    CLIENTSENDCHAT("hello");
    ASSERT_TRUE(PLAYUNTIL([] { return CLIENTCHATBUFFER[0] == WHITE + "Ann:hello"; }));

    // Fire is held: the server's shot comes back as a projectile.
    CLIENTPLAYERS[0].SHOOTING = 1;
    auto INFLIGHT = [] {
        for (const BULLETTYPE& b : CLIENTBULLETS)
            if (b.SPRITE == 1) return true;
        return false;
    };
    ASSERT_TRUE(PLAYUNTIL(INFLIGHT));

    // The host goes away: the client ends on its own.
    STOPSERVER();
    QUITLOOP = 0;
    ASSERT_TRUE(PLAYUNTIL([] { return QUITLOOP.load() == 1; }));
    EXPECT_FALSE(CLIENTCONNECTED());
    EXPECT_EQ(KELEXITSTATUS.load(), 0);
}

TEST_F(GameTest, TwentyPlayersComingAndGoingLeaveOneFreshExchangeCycle) {
    STARTSERVER(27203);
    CLIENTSTARTNETWORK();
    ASSERT_TRUE(CLIENTCONNECTED());
    CLIENTSENDREADY();
    ASSERT_TRUE(PLAYUNTIL([] { return CLIENTROUNDTRIPTIME2 > 0; }));

    // Twenty other players join and leave again, one after the other; every
    // departure sends this client a FULLSTATE.
    for (int n = 0; n < 20; ++n) {
        IPaddress address{};
        SDLNet_ResolveHost(&address, "127.0.0.1", static_cast<Uint16>(GAMEPORT));
        TCPsocket socket = SDLNet_TCP_Open(&address);
        ASSERT_NE(socket, nullptr);
        SDLNet_SocketSet set = SDLNet_AllocSocketSet(1);
        NETCONNECTION visitor;
        NETATTACH(visitor, socket, set);
        NETPUTINT(visitor, AUTHCODE);
        NETPUTSTR(visitor, "Guest" + std::to_string(n));
        int32_t slot = -1;
        ASSERT_TRUE(NETRECVINT(visitor, slot));
        EXPECT_GE(slot, 1);
        PLAYUNTIL([] { return false; }, 5);
        NETDETACH(visitor);
        SDLNet_FreeSocketSet(set);
        PLAYUNTIL([] { return false; }, 10);
    }
    // The announcements (two lines, a NAMEINFO and a FULLSTATE per visitor)
    // take one frame each; then only the one cycle is left.
    const std::string LASTLEAVE = "\x80\xFE\x80 *** Guest19 has left the game.";
    ASSERT_TRUE(PLAYUNTIL([&] { return CLIENTCHATBUFFER[0] == LASTLEAVE; }));
    PLAYUNTIL([] { return false; }, 60);
    // At the game's frame rate the server answers long before the next
    // frame, so whatever is in flight waits in this client's buffer.
    size_t most = 0;
    for (int i = 0; i < 40; ++i) {
        PLAYUNTIL([] { return true; }, 1);
        SDL_Delay(33);
        most = std::max(most, NETUNREAD(CLIENTCONNECTION));
    }
    // One UPDATE for a lone player is 104 bytes; twenty-one cycles in flight
    // would keep a score of them queued here.
    EXPECT_LT(most, 2u * 104u);
    EXPECT_LT(CLIENTROUNDTRIPTIME2 - CLIENTROUNDTRIPTIME1, 500);
    EXPECT_EQ(QUITLOOP.load(), 0);
}

TEST_F(GameTest, HostingGameEndsWithEscape) {
    GAMEPORT = 27204;
    VX_HOSTNAME = "127.0.0.1";
    std::thread server([] { GAMESERVER(0); });
    // The player looks at the game for a moment, then presses Escape.
    std::thread player([] {
        SDL_Delay(1500);
        PUSHKEY(SDLK_ESCAPE, true);
    });
    int32_t option = 0;
    GAMECLIENT(option);
    player.join();
    server.join();
    SERVERRELEASE();
    EXPECT_EQ(QUITLOOP.load(), 1);
    EXPECT_EQ(KELEXITSTATUS.load(), 0);
    EXPECT_EQ(CLIENTPLAYERS[0].CONNECTED, 1);
    EXPECT_EQ(CLIENTPLAYERS[0].PLAYERNAME, "Ann");
    EXPECT_EQ(CLIENTCHATBUFFER[0], WHITE + " *** Ann entered the game.");
    SAVESCREEN(std::string(VEXIL_BINARY_DIR) + "/artifacts/client-hosting-game.bmp");
}
