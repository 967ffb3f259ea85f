#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shared/net.h"
#include "shared/protocol.h"
#include "tests/support/peer.h"

TEST(WireEncoding, OutOfRangeSlotsAndIndicesAreReadAndIgnored) {
    LOOPBACKPAIR pair(17004);
    ASSERT_TRUE(pair.OK);
    SHIPTABLE ships{};
    BULLETTABLE bullets{};
    bullets[0].SPRITE = 1;
    PROTOWRITENAMEINFO(pair.NEAR, 16, "ghost");
    PROTOWRITENAMEINFO(pair.NEAR, -1, "ghost");
    PROTOWRITEKILLCOUNT(pair.NEAR, 1 << 30, 5);
    PROTOWRITESHOTFIRED(pair.NEAR, 1025, BULLETTYPE{1, 1, 1, 1, 0, 1, 0});
    PROTOWRITESHOTFIRED(pair.NEAR, -2147483647 - 1, BULLETTYPE{1, 1, 1, 1, 0, 1, 0});
    PROTOWRITESHOTGONE(pair.NEAR, -1);
    PROTOWRITENAMEINFO(pair.NEAR, 15, "real");
    NETFLUSH(pair.NEAR);

    int32_t kind = 0;
    const SHIPTABLE before = ships;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(NETRECVINT(pair.FAR, kind));
        ASSERT_TRUE(kind == NAMEINFO    ? PROTOREADNAMEINFO(pair.FAR, ships)
                    : kind == KILLCOUNT ? PROTOREADKILLCOUNT(pair.FAR, ships)
                    : kind == SHOTFIRED ? PROTOREADSHOTFIRED(pair.FAR, bullets)
                                        : PROTOREADSHOTGONE(pair.FAR, bullets));
    }
    for (const SHIPTYPE& ship : ships) EXPECT_TRUE(ship.PLAYERNAME.empty() && ship.KILLS == 0);
    EXPECT_EQ(bullets[0].SPRITE, 1);
    EXPECT_EQ(bullets[1024].SPRITE, 0);
    ASSERT_TRUE(NETRECVINT(pair.FAR, kind));
    EXPECT_EQ(kind, NAMEINFO);
    ASSERT_TRUE(PROTOREADNAMEINFO(pair.FAR, ships));
    EXPECT_EQ(ships[15].PLAYERNAME, "real");

    int32_t value = 77;
    SERVERNETSENDMESSAGEINT(16, value);
    SERVERNETSENDMESSAGESTR(-1, "x");
    EXPECT_FALSE(SERVERNETRECIEVEMESSAGEINT(-5, value));
    EXPECT_FALSE(SERVERNETRECIEVEMESSAGEINT(16, value));
    EXPECT_EQ(value, 77);
    EXPECT_EQ(SERVERCONNECTION(16), nullptr);
    EXPECT_EQ(SERVERCONNECTION(-1), nullptr);
}

TEST(WireEncoding, BadStringLengthsBreakTheConnectionWithoutAllocating) {
    for (int32_t length : {2147483647, -5, NETMAXSTRING + 1}) {
        std::vector<uint8_t> bytes(8);
        NETWRITEINT(bytes.data(), CHAT);
        NETWRITEINT(bytes.data() + 4, length);
        EXPECT_EQ(PROTOTOSERVERLENGTH(bytes.data(), bytes.size()), -1) << length;
        EXPECT_EQ(PROTOTOCLIENTLENGTH(bytes.data(), bytes.size(), 0), -1) << length;
    }
    std::vector<uint8_t> limit(8);
    NETWRITEINT(limit.data(), CHAT);
    NETWRITEINT(limit.data() + 4, NETMAXSTRING);
    EXPECT_EQ(PROTOTOSERVERLENGTH(limit.data(), limit.size()), 0);

    LOOPBACKPAIR pair(17005);
    ASSERT_TRUE(pair.OK);
    NETPUTINT(pair.NEAR, 2147483647);
    NETPUTINT(pair.NEAR, 0x41414141);
    NETFLUSH(pair.NEAR);
    std::string text = "unchanged";
    const uint32_t start = NETNOW();
    EXPECT_FALSE(NETRECVSTR(pair.FAR, text));
    EXPECT_LT(NETNOW() - start, NETWAITLIMITMS);
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(pair.FAR.FAILED);
    EXPECT_TRUE(NETGONE(pair.FAR));
}

TEST(BufferedConnection, OneLibrarySendPerFlushAndNoneWhenIdle) {
    LOOPBACKPAIR pair(17006);
    ASSERT_TRUE(pair.OK);
    SHIPTABLE ships{};
    for (SHIPTYPE& ship : ships) ship = SHIPTYPE{.X = 1.5, .CONNECTED = 1, .PLAYERNAME = "pilot"};
    PROTOWRITEFULLSTATE(pair.NEAR, ships);
    for (int i = 0; i < 20; ++i) PROTOWRITEUPDATE(pair.NEAR, ships, 0);
    PROTOWRITECHAT(pair.NEAR, "many values, one send");
    const size_t queued = pair.NEAR.OUTBUF.size();
    NETFLUSH(pair.NEAR);
    EXPECT_EQ(pair.NEAR.SENDCALLS, 1u);
    EXPECT_EQ(pair.NEAR.BYTESSENT, queued);
    NETFLUSH(pair.NEAR);
    EXPECT_EQ(pair.NEAR.SENDCALLS, 1u);
    ASSERT_TRUE(NETWAITFOR(pair.FAR, queued));
}

TEST(BufferedConnection, PeerCloseLeavesBufferedMessagesReadable) {
    LOOPBACKPAIR pair(17007);
    ASSERT_TRUE(pair.OK);
    PROTOWRITECHAT(pair.NEAR, "last words");
    NETPUTINT(pair.NEAR, CONTROLS);  // never completed
    NETFLUSH(pair.NEAR);
    SDLNet_SocketSet set = pair.NEAR.SET;
    NETDETACH(pair.NEAR);
    SDLNet_FreeSocketSet(set);

    for (int i = 0; i < 300 && !pair.FAR.CLOSED; ++i) {
        NETPUMP(pair.FAR);
        SDL_Delay(2);
    }
    ASSERT_TRUE(pair.FAR.CLOSED);
    EXPECT_FALSE(pair.FAR.FAILED);
    EXPECT_FALSE(NETGONE(pair.FAR));
    ASSERT_EQ(PROTOTOSERVERLENGTH(pair.FAR), 18);
    int32_t kind = 0;
    std::string text;
    ASSERT_TRUE(NETTAKEINT(pair.FAR, kind));
    ASSERT_TRUE(PROTOREADCHAT(pair.FAR, text));
    EXPECT_EQ(text, "last words");
    EXPECT_EQ(PROTOTOSERVERLENGTH(pair.FAR), 0);
    const uint32_t start = NETNOW();
    EXPECT_FALSE(NETWAITFOR(pair.FAR, 28));
    EXPECT_LT(NETNOW() - start, NETWAITLIMITMS);
}

TEST(BufferedConnection, WaitForASilentPeerEndsAtTheLimit) {
    LOOPBACKPAIR pair(17008);
    ASSERT_TRUE(pair.OK);
    NETPUTINT(pair.NEAR, 3);
    NETPUTINT(pair.NEAR, 0);
    NETFLUSH(pair.NEAR);
    int32_t first = 0;
    ASSERT_TRUE(NETRECVINT(pair.FAR, first));
    double value = 2.5;
    const uint32_t start = NETNOW();
    EXPECT_FALSE(NETRECVDBL(pair.FAR, value));
    const uint32_t waited = NETNOW() - start;
    EXPECT_GE(waited, NETWAITLIMITMS - 10);
    EXPECT_EQ(value, 2.5);
    EXPECT_TRUE(pair.FAR.CLOSED);
    const uint32_t again = NETNOW();
    EXPECT_FALSE(NETRECVDBL(pair.FAR, value));
    EXPECT_LT(NETNOW() - again, 1000u);
    NETPUTINT(pair.FAR, AUTHREFUSED);
    EXPECT_EQ(SHIP(pair.FAR, pair.NEAR), BYTES({0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(BufferedConnection, APeerThatNeverReadsNeverBlocksAndFailsPastTheLimit) {
    LOOPBACKPAIR pair(17009);
    ASSERT_TRUE(pair.OK);
    std::string block(4096, 'x');
    size_t appended = 0;
    for (int rounds = 0; rounds < 20000 && !pair.NEAR.FAILED; ++rounds) {
        NETPUTSTR(pair.NEAR, block);
        appended += block.size() + 4;
        NETFLUSH(pair.NEAR);
    }
    ASSERT_TRUE(pair.NEAR.FAILED);
    EXPECT_TRUE(pair.NEAR.OUTBUF.empty());
    EXPECT_GT(appended - pair.NEAR.BYTESSENT + 4100, NETMAXUNSENT);
    NETPUTINT(pair.NEAR, 1);
    EXPECT_TRUE(pair.NEAR.OUTBUF.empty());
}

// A peer that reads slowly takes the queue a part at a time; what reaches it
// is every byte, in the order queued, however the sends were cut.
TEST(BufferedConnection, PartialSendsKeepTheOrderOfBytes) {
    LOOPBACKPAIR pair(17010);
    ASSERT_TRUE(pair.OK);
    int32_t queued = 0;
    int32_t expected = 0;
    int partial = 0;
    const auto TAKEINORDER = [&] {
        int32_t value = 0;
        while (NETTAKEINT(pair.FAR, value)) ASSERT_EQ(value, expected++);
    };
    for (int round = 0; round < 400 && partial < 20; ++round) {
        for (int i = 0; i < 4096; ++i) NETPUTINT(pair.NEAR, queued++);
        NETFLUSH(pair.NEAR);
        if (NETUNSENT(pair.NEAR) != 0) ++partial;
        // Once the kernel is full, the far end reads a little each round.
        if (partial > 0 && round % 4 == 0) NETPUMP(pair.FAR);
        TAKEINORDER();
    }
    ASSERT_FALSE(pair.NEAR.FAILED);
    EXPECT_GE(partial, 2);
    for (int i = 0; i < 100000 && expected < queued; ++i) {
        NETFLUSH(pair.NEAR);
        NETPUMP(pair.FAR);
        TAKEINORDER();
    }
    EXPECT_EQ(expected, queued);
}

// A FULLSTATE or UPDATE whose peer closed inside it leaves the table as it was.
TEST(WireEncoding, AShipTableMessageCutShortLeavesTheTableAsItWas) {
    SHIPTABLE ships{};
    for (SHIPTYPE& ship : ships) ship = SHIPTYPE{.X = 1.5, .CONNECTED = 1, .PLAYERNAME = "pilot"};
    for (const int32_t kind : {FULLSTATE, UPDATE}) {
        std::vector<uint8_t> bytes;
        NETCONNECTION writer;
        NETQUEUEMEMORY(nullptr, 0, true, &bytes);
        NETATTACH(writer, NETMEMORYSOCKET, nullptr);
        kind == FULLSTATE ? PROTOWRITEFULLSTATE(writer, ships) : PROTOWRITEUPDATE(writer, ships, 3);
        NETFLUSH(writer);
        NETCONNECTION reader;
        NETQUEUEMEMORY(bytes.data() + 4, bytes.size() - 5, true, nullptr);
        NETATTACH(reader, NETMEMORYSOCKET, nullptr);
        SHIPTABLE seen{};
        seen[5].PLAYERNAME = "kept";
        EXPECT_FALSE(kind == FULLSTATE ? PROTOREADFULLSTATE(reader, seen) : PROTOREADUPDATE(reader, seen, 3)) << kind;
        EXPECT_TRUE(seen[0].X == 0 && seen[0].CONNECTED == 0 && seen[5].PLAYERNAME == "kept") << kind;
    }
}
