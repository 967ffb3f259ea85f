#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <vector>

#include "client/client.h"
#include "client/network.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "shared/protocol.h"
#include "shared/world.h"
#include "tests/support/peer.h"
#include "tests/support/script.h"
#include "tests/support/screen.h"

namespace {
class NetworkTest : public ::testing::Test {
protected:
    void SetUp() override {
        RESETCLIENTSTATE();
        SDL_Init(0);
        NETINIT();
    }
    void TearDown() override {
        CLIENTNETCLOSE();
        KELUSEREALCLOCK();
    }
    void JOIN(int32_t port, int32_t slot) {
        GAMEPORT = port;
        SERVER = std::make_unique<SCRIPTSERVER>();
        ASSERT_NE(SERVER->LISTENER, nullptr);
        ASSERT_TRUE(HANDSHAKE(*SERVER, slot));
        ASSERT_TRUE(CLIENTCONNECTED());
        ASSERT_EQ(CLIENTCURRENTPLAYERSHIP, slot);
    }
    void SENDANDDISPATCHONE(size_t bytes) {
        SERVER->FLUSH();
        for (int i = 0; i < 400 && NETUNREAD(CLIENTCONNECTION) < bytes; ++i) {
            NETPUMP(CLIENTCONNECTION);
            SDL_Delay(2);
        }
        ASSERT_GE(NETUNREAD(CLIENTCONNECTION), bytes);
        CLIENTNETGETDATAPACKET();
        CLIENTNETFLUSH();
    }
    bool READCONTROLS(SHIPTYPE& into) {
        int32_t kind = -1;
        if (!SERVER->WAITBYTES(CONTROLSBYTES)) return false;
        NETTAKEINT(SERVER->CONN, kind);
        if (kind != CONTROLS) return false;
        return PROTOREADCONTROLS(SERVER->CONN, into);
    }
    std::unique_ptr<SCRIPTSERVER> SERVER;
};

testing::AssertionResult SAMESTATE(const SHIPTYPE& a, const SHIPTYPE& b) {
    auto fields = [](const SHIPTYPE& s) {
        return std::make_tuple(s.X, s.Y, s.XVELOC, s.YVELOC, s.SUBDIRECTION, s.DELTATHETA, s.GUNTIMER, s.SHOOTING,
                               s.DAMAGE, s.HEALTH, s.FRAME, s.DIRECTION, s.CURRENTACCELERATION, s.CONNECTED);
    };
    if (fields(a) == fields(b)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "ship state differs";
}

SHIPTABLE SERVERSHIPS() {
    SHIPTABLE ships;
    for (int s = 0; s < MAXPLAYERS; ++s) {
        SHIPTYPE& ship = ships[static_cast<size_t>(s)];
        ship.X = 100.5 + s;
        ship.Y = -200.25 - s;
        ship.XVELOC = 3 + s;
        ship.YVELOC = -4 - s;
        ship.SUBDIRECTION = 10.5 + s;
        ship.DELTATHETA = s % 2 ? TURNRATE : 0;
        ship.GUNTIMER = 0.25 * s;
        ship.SHOOTING = s % 2;
        ship.DAMAGE = 7 * s;
        ship.HEALTH = 100 - s;
        ship.FRAME = 0;
        ship.DIRECTION = s;
        ship.CURRENTACCELERATION = s % 3 == 0 ? 300 : -300;
        ship.CONNECTED = s % 4 == 0 ? 1 : 0;
        ship.PLAYERNAME = "P" + std::to_string(s);
    }
    return ships;
}
}  // namespace

TEST_F(NetworkTest, FullStateOverwritesEveryShipAndTheReplyEchoesTheServersControls) {
    JOIN(27102, 4);
    SHIPTYPE& own = CLIENTPLAYERS[4];
    own.SUBDIRECTION = 1.25;
    own.DELTATHETA = -TURNRATE;
    own.CURRENTACCELERATION = 300;
    own.SHOOTING = 1;
    own.GUNTIMER = 0.5;
    own.KILLS = 9;
    CLIENTPLAYERS[1].PLAYERNAME = "Bob";

    const SHIPTABLE SHIPS = SERVERSHIPS();
    PROTOWRITEFULLSTATE(SERVER->CONN, SHIPS);
    SENDANDDISPATCHONE(FULLSTATEBYTES);
    for (size_t s = 0; s < MAXPLAYERS; ++s) EXPECT_TRUE(SAMESTATE(CLIENTPLAYERS[s], SHIPS[s])) << "slot " << s;
    EXPECT_EQ(CLIENTPLAYERS[1].PLAYERNAME, "Bob");
    EXPECT_EQ(own.KILLS, 9);

    SHIPTYPE reply;
    ASSERT_TRUE(READCONTROLS(reply));
    EXPECT_EQ(reply.CURRENTACCELERATION, SHIPS[4].CURRENTACCELERATION);
    EXPECT_EQ(reply.SHOOTING, SHIPS[4].SHOOTING);
    EXPECT_EQ(reply.SUBDIRECTION, SHIPS[4].SUBDIRECTION);
    EXPECT_EQ(reply.DELTATHETA, SHIPS[4].DELTATHETA);

    // The reception time runs from that CONTROLS leaving to the UPDATE that
    // answers it arriving, on the game's clock.
    USEFAKECLOCK(7000);
    PROTOWRITEUPDATE(SERVER->CONN, SHIPS, 4);
    SENDANDDISPATCHONE(104);
    ASSERT_TRUE(READCONTROLS(reply));
    FAKENOW = 7037;
    PROTOWRITEUPDATE(SERVER->CONN, SHIPS, 4);
    SENDANDDISPATCHONE(104);
    EXPECT_EQ(CLIENTROUNDTRIPTIME1, 7000);
    EXPECT_EQ(CLIENTROUNDTRIPTIME2, 7037);
}

TEST_F(NetworkTest, UpdateTouchesOnlyMotionHealthAndConnectedOfTheOwnShip) {
    JOIN(27103, 2);
    SHIPTYPE& own = CLIENTPLAYERS[2];
    own.SUBDIRECTION = 33.5;
    own.DELTATHETA = TURNRATE;
    own.SHOOTING = 1;
    own.CURRENTACCELERATION = -300;
    own.DIRECTION = 33;
    own.GUNTIMER = 0.75;
    SHIPTYPE& gone = CLIENTPLAYERS[9];
    gone.CONNECTED = 1;
    gone.X = 11;
    gone.HEALTH = 67;
    gone.PLAYERNAME = "Zed";

    SHIPTABLE ships = SERVERSHIPS();
    ships[2].CONNECTED = 1;
    ships[9].CONNECTED = 0;
    ships[5].CONNECTED = 1;
    PROTOWRITEUPDATE(SERVER->CONN, ships, 2);
    SENDANDDISPATCHONE(104);

    EXPECT_EQ(own.X, ships[2].X);
    EXPECT_EQ(own.Y, ships[2].Y);
    EXPECT_EQ(own.XVELOC, ships[2].XVELOC);
    EXPECT_EQ(own.YVELOC, ships[2].YVELOC);
    EXPECT_EQ(own.HEALTH, ships[2].HEALTH);
    EXPECT_EQ(own.CONNECTED, 1);
    EXPECT_EQ(own.SUBDIRECTION, 33.5);
    EXPECT_EQ(own.DELTATHETA, TURNRATE);
    EXPECT_EQ(own.SHOOTING, 1);
    EXPECT_EQ(own.CURRENTACCELERATION, -300);
    EXPECT_EQ(own.DIRECTION, 33);
    EXPECT_EQ(own.GUNTIMER, 0.75);

    EXPECT_EQ(gone.CONNECTED, 0);
    EXPECT_EQ(gone.X, 11);
    EXPECT_EQ(gone.HEALTH, 67);
    EXPECT_EQ(gone.PLAYERNAME, "Zed");
    EXPECT_EQ(CLIENTPLAYERS[5].CONNECTED, 1);
    EXPECT_EQ(CLIENTPLAYERS[5].X, ships[5].X);

    SHIPTYPE reply;
    ASSERT_TRUE(READCONTROLS(reply));
    EXPECT_EQ(reply.SUBDIRECTION, 33.5);
    EXPECT_EQ(reply.CURRENTACCELERATION, -300);
}

TEST_F(NetworkTest, PushedMessagesOneAtATimeOutOfRangeIgnoredStreamStaysAligned) {
    JOIN(27104, 0);
    CLIENTBULLETS[1024].OWNER = 3;
    CLIENTBULLETS[1024].ANIM = 5;
    PROTOWRITESHOTFIRED(SERVER->CONN, 1024, BULLETTYPE{12.5f, -7.25f, 640, 17, 0, 1, 0});
    PROTOWRITESHOTFIRED(SERVER->CONN, 1025, BULLETTYPE{1, 1, 1, 1, 0, 1, 0});  // outside the table
    PROTOWRITESHOTFIRED(SERVER->CONN, -1, BULLETTYPE{1, 1, 1, 1, 0, 1, 0});
    PROTOWRITESHOTGONE(SERVER->CONN, 7);      // already free
    PROTOWRITESHOTGONE(SERVER->CONN, 99999);  // outside the table
    PROTOWRITENAMEINFO(SERVER->CONN, 3, "Cy");
    PROTOWRITENAMEINFO(SERVER->CONN, 16, "Nobody");
    PROTOWRITEKILLCOUNT(SERVER->CONN, 3, 2);
    PROTOWRITEKILLCOUNT(SERVER->CONN, -5, 2);
    PROTOWRITEKIND(SERVER->CONN, 99);  // unknown: just its four bytes
    PROTOWRITEKIND(SERVER->CONN, CONTROLS);  // never sent to clients: four bytes too
    PROTOWRITESHOTGONE(SERVER->CONN, 1024);
    const size_t TOTAL = 28 * 3 + 8 * 2 + (12 + 2) + (12 + 6) + 12 * 2 + 4 + 4 + 8;
    SENDANDDISPATCHONE(TOTAL);

    EXPECT_EQ(CLIENTBULLETS[1024].SPRITE, 1);
    EXPECT_EQ(CLIENTBULLETS[1024].X, 12.5f);
    EXPECT_EQ(CLIENTBULLETS[1024].Y, -7.25f);
    EXPECT_EQ(CLIENTBULLETS[1024].DIRECTION, 17);
    EXPECT_EQ(CLIENTBULLETS[1].SPRITE, 0);
    EXPECT_EQ(CLIENTPLAYERS[3].PLAYERNAME, "");

    for (int i = 0; i < 10; ++i) CLIENTNETGETDATAPACKET();
    EXPECT_EQ(CLIENTBULLETS[7].SPRITE, 0);
    EXPECT_EQ(CLIENTPLAYERS[3].PLAYERNAME, "Cy");
    EXPECT_EQ(CLIENTPLAYERS[3].KILLS, 2);
    EXPECT_EQ(CLIENTBULLETS[1024].SPRITE, 1);
    CLIENTNETGETDATAPACKET();
    EXPECT_EQ(CLIENTBULLETS[1024].SPRITE, 0);  // the last message, read in step
    EXPECT_EQ(NETUNREAD(CLIENTCONNECTION), 0u);
    for (const BULLETTYPE& b : CLIENTBULLETS) EXPECT_EQ(b.SPRITE, 0);
    EXPECT_EQ(QUITLOOP.load(), 0);
}

TEST_F(NetworkTest, GoodbyeOrAClosedConnectionEndsTheLoopWithStatusZero) {
    JOIN(27106, 0);
    PROTOWRITEKIND(SERVER->CONN, GOODBYE);
    SERVER->FLUSH();
    ASSERT_TRUE(DISPATCHUNTIL([] { return QUITLOOP.load() == 1; }));
    EXPECT_FALSE(CLIENTCONNECTED());
    EXPECT_EQ(KELEXITSTATUS.load(), 0);
    CLIENTNETGETDATAPACKET();  // nothing left to touch

    RESETCLIENTSTATE();
    SERVER.reset();
    JOIN(27107, 0);
    PROTOWRITECHAT(SERVER->CONN, "\x80\xFE\x80 *** Bob has left the game.");
    SERVER->FLUSH();
    SERVER->DROP();
    ASSERT_TRUE(DISPATCHUNTIL([] { return QUITLOOP.load() == 1; }));
    EXPECT_EQ(CLIENTCHATBUFFER[0], "\x80\xFE\x80 *** Bob has left the game.");
    EXPECT_FALSE(CLIENTCONNECTED());
    EXPECT_EQ(KELEXITSTATUS.load(), 0);
}

TEST_F(NetworkTest, PartialMessagesNeverHoldAFrameAndAStuckOneEndsTheGame) {
    JOIN(27108, 0);
    PROTOWRITEFULLSTATE(SERVER->CONN, SERVERSHIPS());
    std::vector<uint8_t> bytes = SERVER->CONN.OUTBUF;
    SERVER->CONN.OUTBUF.assign(bytes.begin(), bytes.begin() + 700);
    SERVER->FLUSH();
    ASSERT_TRUE(DISPATCHUNTIL([] { return NETUNREAD(CLIENTCONNECTION) >= 700; }));
    EXPECT_EQ(CLIENTPLAYERS[0].X, 0);
    EXPECT_EQ(QUITLOOP.load(), 0);

    SERVER->CONN.OUTBUF.assign(bytes.begin() + 700, bytes.end());
    SERVER->FLUSH();
    ASSERT_TRUE(DISPATCHUNTIL([] { return CLIENTPLAYERS[0].X != 0; }));
    EXPECT_EQ(CLIENTPLAYERS[0].X, 100.5);

    SERVER->CONN.OUTBUF.assign(bytes.begin(), bytes.begin() + 10);
    SERVER->FLUSH();
    const uint32_t halfsent = NETNOW();
    ASSERT_TRUE(DISPATCHUNTIL([] { return QUITLOOP.load() == 1; }, 2000));
    EXPECT_GE(NETNOW() - halfsent, CLIENTPARTIALLIMITMS);
    EXPECT_FALSE(CLIENTCONNECTED());
}

TEST_F(NetworkTest, HostileServerBytesNeverCrashOrAllocateWithoutBound) {
    JOIN(27109, 0);
    NETPUTINT(SERVER->CONN, CHAT);
    NETPUTINT(SERVER->CONN, std::numeric_limits<int32_t>::max());
    NETPUTSTR(SERVER->CONN, "abc");
    SERVER->FLUSH();
    ASSERT_TRUE(DISPATCHUNTIL([] { return QUITLOOP.load() == 1; }));
    EXPECT_FALSE(CLIENTCONNECTED());
    for (const std::string& line : CLIENTCHATBUFFER) EXPECT_EQ(line, "");
}

TEST_F(NetworkTest, AfterTwentyDeparturesExactlyOneExchangeCycleRuns) {
    JOIN(27111, 3);
    int updates = 0;
    SHIPTABLE ships = SERVERSHIPS();
    ships[3].CONNECTED = 1;
    auto ANSWERCONTROLS = [&] {
        SHIPTYPE reply;
        while (NETPUMP(SERVER->CONN) > 0 || NETUNREAD(SERVER->CONN) >= CONTROLSBYTES) {
            if (NETUNREAD(SERVER->CONN) < CONTROLSBYTES) continue;
            int32_t kind = 0;
            NETTAKEINT(SERVER->CONN, kind);
            ASSERT_EQ(kind, CONTROLS);
            PROTOREADCONTROLS(SERVER->CONN, reply);
            PROTOWRITEUPDATE(SERVER->CONN, ships, 3);
            ++updates;
        }
        SERVER->FLUSH();
    };
    PROTOWRITEFULLSTATE(SERVER->CONN, ships);
    SERVER->FLUSH();
    for (int frame = 0; frame < 300; ++frame) {
        if (frame % 10 == 5 && frame < 200) {
            PROTOWRITEFULLSTATE(SERVER->CONN, ships);
            SERVER->FLUSH();
        }
        CLIENTNETGETDATAPACKET();
        CLIENTNETFLUSH();
        SDL_Delay(2);
        ANSWERCONTROLS();
    }
    for (int i = 0; i < 50; ++i) {
        CLIENTNETGETDATAPACKET();
        CLIENTNETFLUSH();
        SDL_Delay(2);
    }
    SERVER->WAITBYTES(1, 100);
    const size_t pending = NETUNREAD(SERVER->CONN) / CONTROLSBYTES;
    EXPECT_EQ(pending, 1u) << "CONTROLS waiting at the server after the last UPDATE";
    EXPECT_GT(updates, 30);  // the one cycle kept running all along
    EXPECT_LT(NETUNREAD(CLIENTCONNECTION), 104u);  // and nothing piled up at the client
}

TEST_F(NetworkTest, ClosedPortPrintsOneLineAndStopsWithStatusOne) {
    GAMEPORT = 27113;  // nothing listens here
    VX_HOSTNAME = "127.0.0.1";
    testing::internal::CaptureStderr();
    CLIENTSTARTNETWORK();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "vexil: cannot connect to 127.0.0.1 port 27113: connection refused\n");
    EXPECT_EQ(KELEXITSTATUS.load(), 1);
    EXPECT_EQ(QUITLOOP.load(), 1);
    CLIENTSENDREADY();
    CLIENTSENDCHAT("hello");
    CLIENTNETGETDATAPACKET();
    CLIENTNETFLUSH();
    EXPECT_FALSE(CLIENTCONNECTED());

    RESETCLIENTSTATE();
    VX_HOSTNAME = "   ";
    testing::internal::CaptureStderr();
    CLIENTSTARTNETWORK();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "vexil: no host address given\n");
    EXPECT_EQ(KELEXITSTATUS.load(), 1);
    EXPECT_EQ(CLIENTNOHOST, 1);  // the game then ends without a frame
}

TEST_F(NetworkTest, ARefusedCodeEndsWithStatusOne) {
    GAMEPORT = 27114;
    SCRIPTSERVER server;
    testing::internal::CaptureStderr();
    HANDSHAKE(server, AUTHREFUSED);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "vexil: the server at 127.0.0.1 port 27114 refused this client\n");
    EXPECT_EQ(CLIENTCURRENTPLAYERSHIP, -1);
    EXPECT_EQ(KELEXITSTATUS.load(), 1);
    // The game stops, but READY still goes out and the last pass reads the
    // server's close.
    EXPECT_EQ(QUITLOOP.load(), 1);
    ASSERT_TRUE(CLIENTCONNECTED());
    CLIENTSENDREADY();
    ASSERT_TRUE(server.WAITBYTES(4));
    EXPECT_EQ(NETREADINT(NETPEEK(server.CONN)), READY);
    server.DROP();
    EXPECT_TRUE(DISPATCHUNTIL([] { return !CLIENTCONNECTED(); }));
    EXPECT_EQ(KELEXITSTATUS.load(), 1);
}

TEST_F(NetworkTest, AServerThatNeverAnswersIsGivenUpAfterFiveSeconds) {
    GAMEPORT = 27115;
    SCRIPTSERVER server;  // listens; nobody accepts: like a full server
    VX_HOSTNAME = "127.0.0.1";
    testing::internal::CaptureStderr();
    const uint32_t start = NETNOW();
    CLIENTSTARTNETWORK();
    const uint32_t took = NETNOW() - start;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexil: no answer from the server at 127.0.0.1 port 27115 within 5 seconds (it may be full)\n");
    EXPECT_GE(took, CLIENTHANDSHAKELIMITMS);
    EXPECT_EQ(KELEXITSTATUS.load(), 1);
    EXPECT_EQ(QUITLOOP.load(), 1);
    EXPECT_FALSE(CLIENTCONNECTED());
}
