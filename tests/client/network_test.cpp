// The client's network side against a scripted server on loopback: whole
// messages only, hostile bytes, one exchange cycle, failed starts.
#include <gtest/gtest.h>

#include <limits>
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
    std::unique_ptr<SCRIPTSERVER> SERVER;
};

// Ships as a server would send them: all in slot 3's range, 0 and 3 connected.
SHIPTABLE SERVERSHIPS() {
    SHIPTABLE ships;
    for (int s = 0; s < MAXPLAYERS; ++s) {
        ships[static_cast<size_t>(s)].X = 100.5 + s;
        ships[static_cast<size_t>(s)].HEALTH = 100 - s;
        ships[static_cast<size_t>(s)].CONNECTED = s % 3 == 0;
    }
    return ships;
}
}  // namespace

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

// Every failed start prints one line naming the cause, ends with status 1
// and leaves nothing that later frames could touch. The host name is trimmed
// first (a hosting player's typed address may carry spaces).
TEST_F(NetworkTest, FailedStartsPrintOneLineAndEndWithStatusOne) {
    struct ROW {
        const char* host;
        bool listen, accept;
        std::string line;
    };
    const std::string AT = " 127.0.0.1 port 27113";
    const ROW ROWS[] = {
        {"127.0.0.1", false, false, "vexil: cannot connect to" + AT + ": connection refused\n"},
        {"   ", false, false, "vexil: no host address given\n"},
        {" 127.0.0.1  ", true, true, "vexil: the server at" + AT + " refused this client\n"},
        {"127.0.0.1", true, false, "vexil: no answer from the server at" + AT + " within 5 seconds (it may be full)\n"},
    };
    for (const ROW& row : ROWS) {
        RESETCLIENTSTATE();
        GAMEPORT = 27113;
        std::unique_ptr<SCRIPTSERVER> server(row.listen ? new SCRIPTSERVER : nullptr);
        testing::internal::CaptureStderr();
        const uint32_t start = NETNOW();
        if (row.accept) {
            HANDSHAKE(*server, AUTHREFUSED, row.host);
        } else {
            VX_HOSTNAME = row.host;
            CLIENTSTARTNETWORK();
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.line);
        if (row.listen && !row.accept) {
            EXPECT_GE(NETNOW() - start, CLIENTHANDSHAKELIMITMS);
        }
        EXPECT_EQ(KELEXITSTATUS.load(), 1) << row.line;
        EXPECT_EQ(QUITLOOP.load(), 1) << row.line;
        // An empty host ends the game before any frame is drawn.
        EXPECT_EQ(CLIENTNOHOST, row.host[1] == ' ' ? 1 : 0) << row.line;
        CLIENTSENDREADY();
        CLIENTSENDCHAT("hello");
        CLIENTNETFLUSH();
        if (row.accept) {
            // A refused join keeps its connection: READY still goes out and
            // the next pass reads the server's close.
            ASSERT_TRUE(server->WAITBYTES(4));
            EXPECT_EQ(NETREADINT(NETPEEK(server->CONN)), READY);
            NETDETACH(server->CONN);
            EXPECT_TRUE(DISPATCHUNTIL([] { return !CLIENTCONNECTED(); }));
        }
        CLIENTNETGETDATAPACKET();
        EXPECT_FALSE(CLIENTCONNECTED());
    }
}

// The reception time runs from a CONTROLS leaving to the UPDATE that answers
// it arriving, on the game's clock.
TEST_F(NetworkTest, ReceptionTimeRunsFromControlsOutToTheUpdateAnsweringIt) {
    JOIN(27112, 3);
    USEFAKECLOCK(7000);
    const SHIPTABLE ships = SERVERSHIPS();
    PROTOWRITEFULLSTATE(SERVER->CONN, ships);
    SERVER->FLUSH();
    ASSERT_TRUE(DISPATCHUNTIL([&] { return SERVER->WAITBYTES(CONTROLSBYTES, 5); }));
    FAKENOW = 7037;
    PROTOWRITEUPDATE(SERVER->CONN, ships, 3);
    SERVER->FLUSH();
    ASSERT_TRUE(DISPATCHUNTIL([] { return CLIENTROUNDTRIPTIME2 != 0; }));
    EXPECT_EQ(CLIENTROUNDTRIPTIME1, 7000);
    EXPECT_EQ(CLIENTROUNDTRIPTIME2, 7037);
}
