// Admission without waiting: the handshake's bytes when a peer trickles
// them in, players served while bad connectors come and go, and a peer that
// stops reading. The server is ticked from the test thread, so a stall
// inside a tick shows as a gap.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "main/spine.h"
#include "media/clock.h"
#include "server/server.h"
#include "tests/support/screen.h"
#include "tests/support/peer.h"

// One byte per pass on a memory connection: the slot number follows the
// code at once, nothing else comes before the name is whole, and then the
// FULLSTATE, the join line and the name, byte for byte. A peer that closes
// inside its name is let go with those bytes never read as messages.
TEST(Admission, HandshakeBytesKeepTheirOrderWhenThePeerSendsOneBytePerPass) {
    SERVERRELEASE();
    SERVERPLACEOBJECTS();
    // Code 46213, then the name "Al".
    const std::vector<uint8_t> sent = BYTES({0x85, 0xB4, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 'A', 'l'});
    std::vector<uint8_t> got;
    NETQUEUEMEMORY(sent.data(), 0, false, &got);
    for (size_t i = 0; i + 1 < sent.size(); ++i) {
        SERVERTICK();
        SERVERCONNECTIONS[0].MEMINSIZE = i + 1;
        SERVERTICK();
        EXPECT_EQ(got, i < 3 ? BYTES({}) : BYTES({0, 0, 0, 0})) << "after byte " << i;
    }
    SERVERCONNECTIONS[0].MEMINSIZE = sent.size();
    SERVERTICK();
    ASSERT_EQ(got.size(), 4u + 1348 + 36 + 14);
    EXPECT_EQ(NETREADINT(got.data() + 4), FULLSTATE);
    EXPECT_EQ(std::string(got.begin() + 4 + 1348, got.end()), std::string("\6\0\0\0\34\0\0\0\xFE\xFE\xFE *** Al entered the game.\7\0\0\0\0\0\0\0\2\0\0\0Al", 50));

    // 5 of a 6-byte name, then the close; read from the start these bytes would be CHAT "x".
    const std::vector<uint8_t> cut = BYTES({0x85, 0xB4, 0, 0, 6, 0, 0, 0, 1, 0, 0, 0, 'x'});
    std::vector<uint8_t> back;
    NETQUEUEMEMORY(cut.data(), cut.size(), true, &back);
    USEFAKECLOCK();
    for (int pass = 0; pass < 5; ++pass, FAKENOW += 100) SERVERTICK();
    KELUSEREALCLOCK();
    EXPECT_TRUE(SERVERTCPSOCKS[1] == nullptr && back.size() >= 4 && NETREADINT(back.data()) == 1);
    for (const std::string& said : SERVERCHATBUFFER) EXPECT_EQ(said.find(":x"), std::string::npos);
    SERVERRELEASE();
}

TEST(Admission, BadConnectorsNeitherStallAPlayerNorHoldTheLowestFreeSlot) {
    SERVERRELEASE();
    GAMEPORT = 17421;
    SERVERPLACEOBJECTS();
    SERVERINITNETCONNECTION();
    TESTCLIENT ann;
    ASSERT_TRUE(TICKJOIN(ann, "Ann", {}) && TICKUNTIL({&ann}, [&] { return ann.UPDATES > 5; }));
    ann.LONGESTUPDATEGAP = 0;

    // Five silent (slots 1-5), then five with a wrong code (6-10), one tick
    // apart (the listening queue holds only five).
    std::array<RAWPEER, 10> bad;
    std::array<uint32_t, 10> codeat{}, refusedat{}, closedat{};
    for (size_t i = 0; i < bad.size(); ++i) {
        ASSERT_TRUE(bad[i].CONNECT(17421));
        ASSERT_TRUE(i < 5 || bad[i].WRITEINT(1234));
        codeat[i] = NETNOW();
        SERVERTICK();
    }
    std::array<std::vector<uint8_t>, 10> answers;
    auto WATCH = [&](size_t from) {
        for (size_t i = 0; i < bad.size(); ++i) {
            if (closedat[i] != 0) continue;
            uint8_t chunk[64];
            const ssize_t n = recv(bad[i].FD, chunk, sizeof chunk, MSG_DONTWAIT);
            answers[i].insert(answers[i].end(), chunk, chunk + std::max<ssize_t>(n, 0));
            if (refusedat[i] == 0 && answers[i].size() >= 4) refusedat[i] = NETNOW();
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) closedat[i] = NETNOW();
        }
        return std::all_of(closedat.begin() + from, closedat.end(), [](uint32_t at) { return at != 0; });
    };
    // A joiner takes slot 6, the lowest one the refusals free, while 1-5 still wait.
    ASSERT_TRUE(TICKUNTIL({&ann}, [&] { return WATCH(5); }));
    // Connectors still in their handshake never show in a player's view.
    for (size_t slot = 1; slot <= bad.size(); ++slot) EXPECT_EQ(ann.PLAYERS[slot].CONNECTED, 0) << slot;
    TESTCLIENT bob;
    ASSERT_TRUE(TICKJOIN(bob, "Bob", {&ann}));
    EXPECT_EQ(bob.SLOT, 6);
    ASSERT_TRUE(TICKUNTIL({&ann, &bob}, [&] { return WATCH(0); }, 3 * NETWAITLIMITMS));
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(answers[i], BYTES({0xFF, 0xFF, 0xFF, 0xFF})) << i;
        // -1 about 50 ms after the code (or after the 3 s wait), the close about 50 ms later.
        const uint32_t wait = i < 5 ? NETWAITLIMITMS : 0;
        EXPECT_TRUE(refusedat[i] - codeat[i] >= wait + 45 && refusedat[i] - codeat[i] < wait + 1000) << i;
        EXPECT_TRUE(closedat[i] - refusedat[i] >= 45 && closedat[i] - refusedat[i] < 1000) << i;
    }
    EXPECT_LT(ann.LONGESTUPDATEGAP, 1000u);
    SERVERRELEASE();
}

// While the peer reads, output far larger than the kernel takes at once
// leaves over many partial sends with no byte lost or repeated. Then the
// kernel refusing everything for five seconds means the peer stopped reading.
TEST(Admission, PartialSendsKeepEveryByteAndAPeerThatStopsReadingFailsAfterFiveSeconds) {
    LOOPBACKPAIR pair(17422);
    ASSERT_TRUE(pair.OK);
    constexpr int32_t VALUES = 200000;
    for (int32_t i = 0; i < VALUES; ++i) NETPUTINT(pair.FAR, i);
    int32_t next = 0, value = 0;
    for (const uint32_t start = NETNOW(); next < VALUES && NETNOW() - start < 15000; NETFLUSH(pair.FAR), NETPUMP(pair.NEAR))
        while (NETTAKEINT(pair.NEAR, value)) ASSERT_EQ(value, next++);
    ASSERT_EQ(next, VALUES);
    ASSERT_GT(pair.FAR.SENDCALLS, 2u);
    const std::string block(60000, 'x');
    uint32_t refused = 0;
    for (const uint32_t start = NETNOW(); !pair.FAR.FAILED && NETNOW() - start < 15000; SDL_Delay(5)) {
        if (NETUNSENT(pair.FAR) < block.size()) NETPUTSTR(pair.FAR, block);
        NETFLUSH(pair.FAR);
        if (refused == 0 && NETUNSENT(pair.FAR) > 0) refused = NETNOW();
    }
    ASSERT_TRUE(pair.FAR.FAILED);
    // Refused early: the kernel holds little for a peer that does not read.
    EXPECT_LT(pair.FAR.BYTESSENT, 4u * VALUES + 1024u * 1024u);
    EXPECT_TRUE(NETNOW() - refused >= NETSTALLLIMITMS && NETNOW() - refused < NETSTALLLIMITMS + 3000);
    // Output queued past the cap (twice the longest message) fails at once and is dropped.
    NETPUTINT(pair.NEAR, 1), NETPUTSTR(pair.NEAR, std::string(NETMAXUNSENT, 'y'));
    EXPECT_TRUE(pair.NEAR.FAILED && NETUNSENT(pair.NEAR) == 0);
}
