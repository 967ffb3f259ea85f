#include <gtest/gtest.h>

#include <thread>

#include "client/client.h"
#include "client/network.h"
#include "main/spine.h"
#include "media/surface.h"
#include "media/video.h"
#include "shared/protocol.h"
#include "shared/world.h"
#include "tests/support/peer.h"
#include "tests/support/script.h"
#include "tests/support/screen.h"

namespace {
class LoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        STARTGAMEVIDEO();
        RESETCLIENTSTATE();
        VX_PLAYERNAME = "Ann";
    }
    void TearDown() override { CLIENTNETCLOSE(); }
    SCRATCHDIR SCRATCH;
};

void FRAMEWITHMOUSE(int x, int y, bool down) {
    KELMOUSEX = x;
    KELMOUSEY = y;
    KELMOUSEBUTTONS = down ? 1 : 0;
    CLIENTFRAME();
}

std::vector<std::string> CHATSRECEIVED(SCRIPTSERVER& server, size_t bytes) {
    std::vector<std::string> texts;
    server.WAITBYTES(bytes, 1000);
    while (PROTOTOSERVERLENGTH(server.CONN) > 0) {
        int32_t kind = 0;
        NETTAKEINT(server.CONN, kind);
        if (kind == CHAT) {
            std::string text;
            PROTOREADCHAT(server.CONN, text);
            texts.push_back(text);
        } else if (kind == CONTROLS) {
            SHIPTYPE ignored;
            PROTOREADCONTROLS(server.CONN, ignored);
        }
    }
    return texts;
}
}  // namespace

TEST_F(LoopTest, HostingClientWaitsForTheServerThenPlaysUntilTheServerLeaves) {
    GAMEPORT = 27150;
    SCRIPTSERVER server;
    ASSERT_NE(server.LISTENER, nullptr);
    VX_HOSTNAME = " 127.0.0.1 ";  // hosts, spaces and all
    bool earlyconnection = true;
    int32_t code = 0;
    int32_t ready = 0;
    std::string name;
    std::thread script([&] {
        SDL_Delay(300);
        earlyconnection = server.ACCEPT(1);
        if (earlyconnection) return;
        SERVERHOSTING = 1;
        if (!server.ACCEPT(3000)) return;
        if (!NETRECVINT(server.CONN, code)) return;
        NETPUTINT(server.CONN, 0);
        server.FLUSH();
        if (!NETRECVSTR(server.CONN, name) || !NETRECVINT(server.CONN, ready)) return;
        SHIPTABLE ships;
        ships[0].CONNECTED = 1;
        ships[0].HEALTH = ships[0].MAXHEALTH = 100;
        PROTOWRITEFULLSTATE(server.CONN, ships);
        PROTOWRITEKIND(server.CONN, GOODBYE);
        server.FLUSH();
    });
    int32_t option = 0;
    GAMECLIENT(option);
    script.join();
    EXPECT_FALSE(earlyconnection);
    EXPECT_EQ(code, 46213);
    EXPECT_EQ(name, "Ann");
    EXPECT_EQ(ready, READY);
    EXPECT_EQ(CLIENTPLAYERS[0].CONNECTED, 1);  // the FULLSTATE was applied
    EXPECT_EQ(QUITLOOP.load(), 1);
    EXPECT_EQ(KELEXITSTATUS.load(), 0);
    EXPECT_FALSE(CLIENTCONNECTED());
}

TEST_F(LoopTest, AFailedStartRunsItsOneFrameWithoutAConnection) {
    GAMEPORT = 27151;  // nothing listens
    VX_HOSTNAME = "localhost";
    CLIENTCHATMESSAGE = "typed before";
    testing::internal::CaptureStderr();
    int32_t option = 0;
    GAMECLIENT(option);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "vexil: cannot connect to localhost port 27151: connection refused\n");
    EXPECT_EQ(SERVERHOSTING.load(), 1);  // not hosting: no wait
    EXPECT_EQ(KELEXITSTATUS.load(), 1);
    EXPECT_FALSE(CLIENTCONNECTED());
    EXPECT_EQ(READPIXEL(0, 0), (RGB{221, 221, 221}));
    EXPECT_EQ(READPIXEL(10, 590), (RGB{255, 255, 255}));  // the chat box's well
    EXPECT_EQ(CLIENTCHATBUTTON.TEXT, "Say");
    EXPECT_EQ(CLIENTCHATBUTTON.X, 656);
    EXPECT_EQ(CLIENTCHATBUTTON.Y, 580);
    EXPECT_EQ(CLIENTCHATMONITOR.W, 652);
    EXPECT_EQ(CLIENTCHATMONITOR.VALUE, &CLIENTCHATMESSAGE);
}

TEST_F(LoopTest, ChatRowSendsWhatWasTyped) {
    GAMEPORT = 27152;
    SCRIPTSERVER server;
    ASSERT_TRUE(HANDSHAKE(server, 0));
    CLIENTSETCHATROW(800, 600);

    CLIENTCHATMESSAGE = "hi there";
    FRAMEWITHMOUSE(700, 590, true);
    FRAMEWITHMOUSE(700, 590, false);
    EXPECT_EQ(CLIENTCHATMESSAGE, "");
    FRAMEWITHMOUSE(700, 590, true);
    FRAMEWITHMOUSE(700, 590, false);
    FRAMEWITHMOUSE(100, 590, true);   // into the box
    FRAMEWITHMOUSE(100, 590, false);
    EXPECT_EQ(CLIENTCHATMONITOR.ACTIVE, 1);
    CLIENTCHATMESSAGE = "gg";
    FRAMEWITHMOUSE(300, 200, true);   // a click outside ends it
    FRAMEWITHMOUSE(300, 200, false);
    FRAMEWITHMOUSE(100, 590, true);
    FRAMEWITHMOUSE(100, 590, false);
    FRAMEWITHMOUSE(300, 200, true);
    FRAMEWITHMOUSE(300, 200, false);
    EXPECT_EQ(CHATSRECEIVED(server, 16 + 10 + 8), (std::vector<std::string>{"hi there", "gg", ""}));
}
