// The client's network side against a scripted server on a memory
// connection: whole messages only, hostile bytes, one exchange cycle and its
// reception time, failed starts.
#include "client/client.h"
#include "client/network.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/input.h"
#include "media/video.h"
#include "shared/protocol.h"
#include "tests/support/screen.h"
#include "tests/support/script.h"

namespace {
// A scripted server and the ships it sends: slots 0 and 3, slot 0 at x 100.5.
class NetworkTest : public ::testing::Test {
protected:
    void SetUp() override { SHIPS[0].X = 100.5, SHIPS[0].CONNECTED = SHIPS[3].CONNECTED = 1; }
    FAKESERVER S;
    SHIPTABLE SHIPS{};
};
}  // namespace

TEST_F(NetworkTest, PartialMessagesNeverHoldAFrameAndAStuckOneEndsTheGame) {
    ASSERT_TRUE(MEMORYJOIN(S, 0));
    PROTOWRITEFULLSTATE(S.CONN, SHIPS);
    SAY(S, 100), CLIENTNETGETDATAPACKET();
    EXPECT_EQ(CLIENTPLAYERS[0].X, 0);
    SAY(S), CLIENTNETGETDATAPACKET();
    EXPECT_EQ(CLIENTPLAYERS[0].X, 100.5);
    NETPUTINT(S.CONN, FULLSTATE), SAY(S);  // a message that never completes
    const uint32_t start = NETNOW();
    while (CLIENTCONNECTED() && NETNOW() - start < 2 * CLIENTPARTIALLIMITMS) CLIENTNETGETDATAPACKET(), SDL_Delay(2);
    EXPECT_TRUE(QUITLOOP.load() == 1 && NETNOW() - start >= CLIENTPARTIALLIMITMS);
}

TEST_F(NetworkTest, HostileServerBytesNeverCrashOrAllocateWithoutBound) {
    ASSERT_TRUE(MEMORYJOIN(S, 0));
    NETPUTINT(S.CONN, CHAT), NETPUTINT(S.CONN, 0x7FFFFFFF), NETPUTSTR(S.CONN, "abc");  // a text claiming 2 GB
    SAY(S), CLIENTNETGETDATAPACKET();
    EXPECT_TRUE(!CLIENTCONNECTED() && QUITLOOP.load() == 1 && CLIENTCHATBUFFER[0].empty());
}

// A frame applies every whole message that has arrived, up to its bound,
// so a burst never queues the UPDATE behind it; but it answers one UPDATE at
// most, and none that follows a FULLSTATE, so each CONTROLS carries what its
// own frame's controls set. Only the first FULLSTATE (one follows every
// departure) starts a cycle; the reception time runs from a CONTROLS
// leaving to the UPDATE answering it arriving, on the game's clock.
TEST_F(NetworkTest, ABurstIsTakenInOneFrameAndEachFrameAnswersOneUpdateWithItsOwnControls) {
    ASSERT_TRUE(MEMORYJOIN(S, 3));
    const size_t before = S.HEARD.size();  // the handshake's bytes
    const auto FRAME = [&](int32_t thrust) {  // one frame; the CONTROLS sent so far
        CLIENTPLAYERS[3].CURRENTACCELERATION = thrust, CLIENTNETGETDATAPACKET(), CLIENTNETFLUSH();
        return (S.HEARD.size() - before) / CONTROLSBYTES; };
    USEFAKECLOCK(7000);
    for (int i = 0; i < 20; ++i) PROTOWRITEFULLSTATE(S.CONN, SHIPS);
    PROTOWRITEUPDATE(S.CONN, SHIPS, 3), PROTOWRITEUPDATE(S.CONN, SHIPS, 3);
    SAY(S);
    EXPECT_EQ(FRAME(300), 1u);
    FAKENOW = 7037;
    EXPECT_EQ(FRAME(-300), 2u);
    EXPECT_EQ(NETREADINT(&S.HEARD[before + CONTROLSBYTES + 4]), -300);
    EXPECT_EQ(std::pair(CLIENTROUNDTRIPTIME1, CLIENTROUNDTRIPTIME2), std::pair(7000.0, 7037.0));
    EXPECT_EQ(FRAME(0), 3u);
    for (int i = 0; i < CLIENTMESSAGESPERFRAME + 4; ++i) PROTOWRITESHOTFIRED(S.CONN, i % 1000, BULLETTYPE{.SPRITE = 2});
    PROTOWRITECHAT(S.CONN, "   hi"), PROTOWRITEUPDATE(S.CONN, SHIPS, 3);
    SAY(S);
    EXPECT_EQ(FRAME(0), 3u);
    EXPECT_EQ(FRAME(0), 4u);
    EXPECT_TRUE(CLIENTBULLETS[999].SPRITE == 2 && CLIENTCHATBUFFER[0] == "   hi");
    KELUSEREALCLOCK();
}

// A seventeenth player: the game waits on a full server as long as the
// connection stays open, a waiting frame at a time and past the bots'
// limit, and joins when a slot frees; Escape or closing the window leaves,
// quietly.
TEST_F(NetworkTest, AFullServerIsWaitedForUntilASlotFreesOrThePlayerLeaves) {
    STARTGAMEVIDEO();
    static FAKESERVER* server;
    static uint32_t start;
    for (const Uint8 event : {SDL_NOEVENT, SDL_KEYDOWN, SDL_QUIT}) {
        FAKESERVER fresh;
        server = &fresh, RESETCLIENTSTATE(), KELRESETKEYS(), VX_HOSTNAME = "127.0.0.1", start = NETNOW();
        SDL_Event quit{.type = SDL_QUIT};
        if (event != SDL_NOEVENT) event == SDL_QUIT ? (void)SDL_PushEvent(&quit) : PUSHKEY(SDLK_ESCAPE, true);
        CLIENTWAITINGFRAME = [] {  // a waiting frame; a slot frees past the bots' limit
            if (CLIENTWAITFORSLOT(), NETNOW() - start > CLIENTHANDSHAKELIMITMS + 200) NETPUTINT(server->CONN, 5), SAY(*server); };
        testing::internal::CaptureStderr(), MEMORYSTART(fresh);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        const bool joins = event == SDL_NOEVENT;
        EXPECT_EQ(std::tuple(CLIENTCONNECTED(), CLIENTCURRENTPLAYERSHIP, QUITLOOP.load(), KELEXITSTATUS.load()),
                  std::tuple(joins, joins ? 5 : 0, joins ? 0 : 1, 0));
    }
    CLIENTWAITINGFRAME = nullptr;
}

// Every failed start prints one line naming the cause, ends with status 1
// and leaves nothing that later frames could touch; an empty host ends the
// game before any frame is drawn. The host name is trimmed first (a hosting
// player's typed address may carry spaces). A refused join keeps its
// connection: READY still goes out and the next pass reads the server's close.
TEST_F(NetworkTest, FailedStartsPrintOneLineAndEndWithStatusOne) {
    const std::string AT = " 127.0.0.1 port 27113";
    const struct { const char* host; bool memory, ends; std::vector<int32_t> said; std::string line; } ROWS[] = {
        {"127.0.0.1", false, false, {}, "cannot connect to" + AT + ": connection refused"},
        {"   ", false, false, {}, "no host address given"},
        {" 127.0.0.1  ", true, true, {AUTHREFUSED}, "the server at" + AT + " refused this client"},
        {"127.0.0.1", true, true, {99}, "the server at" + AT + " answered with an invalid player slot 99"},
        {"127.0.0.1", true, false, {}, "no answer from the server at" + AT + " within 5 seconds (it may be full)"},
    };
    GAMEPORT = 27113;
    for (const auto& row : ROWS) {
        SCOPED_TRACE(row.line);
        RESETCLIENTSTATE(), VX_HOSTNAME = row.host;
        FAKESERVER server;
        for (int32_t word : row.said) NETPUTINT(server.CONN, word);
        testing::internal::CaptureStderr();  // the start's one line
        const uint32_t start = NETNOW();
        row.memory ? MEMORYSTART(server, row.ends) : CLIENTSTARTNETWORK();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "vexil: " + row.line + "\n");
        // A silent server is waited for as long as the limit says, and no longer; nothing else waits.
        const uint32_t took = NETNOW() - start, limit = row.memory && !row.ends ? CLIENTHANDSHAKELIMITMS : 0;
        EXPECT_TRUE(took >= limit && took < limit + CLIENTHANDSHAKELIMITMS) << took;
        EXPECT_EQ(std::tuple(KELEXITSTATUS.load(), QUITLOOP.load(), CLIENTNOHOST), std::tuple(1, 1, row.host[1] == ' '));
        CLIENTSENDREADY(), CLIENTNETFLUSH();
        EXPECT_EQ(server.HEARD.size() >= 8 ? NETREADINT(&server.HEARD[4]) : 0, row.said == std::vector{AUTHREFUSED} ? READY : 0);
        EXPECT_FALSE((CLIENTNETGETDATAPACKET(), CLIENTCONNECTED()));
    }
}
