#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shared/net.h"
#include "shared/protocol.h"
#include "tests/server/loopback.h"

namespace {

SHIPTYPE SAMPLESHIP(int seed) {
    SHIPTYPE ship;
    ship.X = 100.5 + seed;
    ship.Y = -200.25 - seed;
    ship.XVELOC = 3.5 * seed;
    ship.YVELOC = -7.0;
    ship.SUBDIRECTION = 12.75;
    ship.DELTATHETA = 21.33333333333333;
    ship.GUNTIMER = 0.5;
    ship.SHOOTING = 1;
    ship.HEALTH = 67;
    ship.DIRECTION = 12;
    ship.CURRENTACCELERATION = -300;
    ship.CONNECTED = 1;
    ship.PLAYERNAME = "pilot" + std::to_string(seed);
    return ship;
}

}  // namespace

TEST(WireEncoding, ValuesAndSmallMessagesAreByteExact) {
    LOOPBACKPAIR pair(17001);
    ASSERT_TRUE(pair.OK);

    NETPUTSTR(pair.NEAR, "abc");
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({0x03, 0, 0, 0, 0x61, 0x62, 0x63}));
    NETPUTSTR(pair.NEAR, "");
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({0, 0, 0, 0}));
    PROTOWRITEKILLCOUNT(pair.NEAR, 3, 2);
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({0x08, 0, 0, 0, 0x03, 0, 0, 0, 0x02, 0, 0, 0}));
    NETPUTINT(pair.NEAR, AUTHREFUSED);
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({0xFF, 0xFF, 0xFF, 0xFF}));
    NETPUTDBL(pair.NEAR, 1.0);
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    NETPUTSNG(pair.NEAR, 1.0f);
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({0, 0, 0x80, 0x3F}));
    NETPUTLNG(pair.NEAR, 46213);
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({0x85, 0xB4, 0, 0}));
    PROTOWRITESHOTGONE(pair.NEAR, 1024);
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({0x05, 0, 0, 0, 0x00, 0x04, 0, 0}));
}

TEST(WireEncoding, MessageSizesFollowTheLayouts) {
    LOOPBACKPAIR pair(17002);
    ASSERT_TRUE(pair.OK);
    SHIPTABLE ships{};

    PROTOWRITEFULLSTATE(pair.NEAR, ships);
    std::vector<uint8_t> empty = SHIP(pair.NEAR, pair.FAR);
    for (int i = 0; i < MAXPLAYERS; ++i) ships[static_cast<size_t>(i)] = SAMPLESHIP(i);
    PROTOWRITEFULLSTATE(pair.NEAR, ships);
    std::vector<uint8_t> full = SHIP(pair.NEAR, pair.FAR);
    EXPECT_EQ(empty.size(), 1348u);
    EXPECT_EQ(full.size(), 1348u);
    EXPECT_EQ(PROTOTOCLIENTLENGTH(full.data(), full.size(), 0), 1348);

    SHIPTABLE lone{};
    lone[5].CONNECTED = 1;
    PROTOWRITEUPDATE(pair.NEAR, lone, 5);
    std::vector<uint8_t> alone = SHIP(pair.NEAR, pair.FAR);
    EXPECT_EQ(alone.size(), 104u);
    EXPECT_EQ(PROTOTOCLIENTLENGTH(alone.data(), alone.size(), 5), 104);

    // Others with names of 2 and 0 bytes; CONNECTED 7 counts as connected.
    lone[2].CONNECTED = 7;
    lone[2].PLAYERNAME = "ab";
    lone[9].CONNECTED = 1;
    PROTOWRITEUPDATE(pair.NEAR, lone, 5);
    std::vector<uint8_t> three = SHIP(pair.NEAR, pair.FAR);
    EXPECT_EQ(three.size(), 104u + 70u + 68u);
    EXPECT_EQ(PROTOTOCLIENTLENGTH(three.data(), three.size(), 5), 242);

    for (size_t cut = 0; cut < three.size(); ++cut)
        ASSERT_EQ(PROTOTOCLIENTLENGTH(three.data(), cut, 5), 0) << "prefix " << cut;

    PROTOWRITECONTROLS(pair.NEAR, SAMPLESHIP(1));
    std::vector<uint8_t> controls = SHIP(pair.NEAR, pair.FAR);
    EXPECT_EQ(controls.size(), 28u);
    EXPECT_EQ(PROTOTOSERVERLENGTH(controls.data(), controls.size()), 28);
    EXPECT_EQ(PROTOTOSERVERLENGTH(controls.data(), 27), 0);

    PROTOWRITESHOTFIRED(pair.NEAR, 7, BULLETTYPE{1.0f, 2.0f, 600, 16, 3, 1, 0});
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR).size(), 28u);
    PROTOWRITECHAT(pair.NEAR, "hello");
    std::vector<uint8_t> chat = SHIP(pair.NEAR, pair.FAR);
    EXPECT_EQ(chat.size(), 13u);
    EXPECT_EQ(PROTOTOSERVERLENGTH(chat.data(), chat.size()), 13);
    EXPECT_EQ(PROTOTOCLIENTLENGTH(chat.data(), chat.size(), 0), 13);
    PROTOWRITENAMEINFO(pair.NEAR, 4, "Ann");
    std::vector<uint8_t> name = SHIP(pair.NEAR, pair.FAR);
    EXPECT_EQ(name.size(), 15u);
    EXPECT_EQ(PROTOTOCLIENTLENGTH(name.data(), name.size(), 0), 15);
    PROTOWRITEKIND(pair.NEAR, READY);
    EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), BYTES({1, 0, 0, 0}));
    std::vector<uint8_t> odd = BYTES({99, 0, 0, 0, 1, 2, 3});
    EXPECT_EQ(PROTOTOSERVERLENGTH(odd.data(), odd.size()), 4);
    EXPECT_EQ(PROTOTOCLIENTLENGTH(odd.data(), odd.size(), 0), 4);
}

TEST(WireEncoding, ReadersStoreWhatWritersWrote) {
    LOOPBACKPAIR pair(17003);
    ASSERT_TRUE(pair.OK);
    SHIPTABLE server{};
    for (int i = 0; i < MAXPLAYERS; ++i) server[static_cast<size_t>(i)] = SAMPLESHIP(i);
    server[4].CONNECTED = 0;

    PROTOWRITEFULLSTATE(pair.NEAR, server);
    NETFLUSH(pair.NEAR);
    ASSERT_TRUE(NETWAITFOR(pair.FAR, FULLSTATEBYTES));
    int32_t kind = -1;
    ASSERT_TRUE(NETTAKEINT(pair.FAR, kind));
    EXPECT_EQ(kind, FULLSTATE);
    SHIPTABLE client{};
    ASSERT_TRUE(PROTOREADFULLSTATE(pair.FAR, client));
    for (int i = 0; i < MAXPLAYERS; ++i) {
        const SHIPTYPE& a = server[static_cast<size_t>(i)];
        const SHIPTYPE& b = client[static_cast<size_t>(i)];
        EXPECT_TRUE(a.X == b.X && a.Y == b.Y && a.XVELOC == b.XVELOC && a.YVELOC == b.YVELOC &&
                    a.SUBDIRECTION == b.SUBDIRECTION && a.DELTATHETA == b.DELTATHETA && a.GUNTIMER == b.GUNTIMER &&
                    a.SHOOTING == b.SHOOTING && a.HEALTH == b.HEALTH && a.DIRECTION == b.DIRECTION &&
                    a.CURRENTACCELERATION == b.CURRENTACCELERATION && a.CONNECTED == b.CONNECTED)
            << i;
        EXPECT_EQ(b.PLAYERNAME, "");
    }

    // UPDATE for reader 3 keeps its own controls; a free slot only changes CONNECTED.
    client[3].SUBDIRECTION = 40.0;
    client[3].SHOOTING = 0;
    client[4].X = 1234;
    server[3].X = 55;
    server[3].HEALTH = 34;
    server[7].X = -4321;
    server[7].PLAYERNAME = "Bob";
    PROTOWRITEUPDATE(pair.NEAR, server, 3);
    NETFLUSH(pair.NEAR);
    ASSERT_TRUE(NETWAITFOR(pair.FAR, 4));
    ASSERT_GT(PROTOTOCLIENTLENGTH(pair.FAR, 3), 0);
    ASSERT_TRUE(NETTAKEINT(pair.FAR, kind));
    EXPECT_EQ(kind, UPDATE);
    ASSERT_TRUE(PROTOREADUPDATE(pair.FAR, client, 3));
    EXPECT_EQ(client[3].X, 55);
    EXPECT_EQ(client[3].HEALTH, 34);
    EXPECT_EQ(client[3].SUBDIRECTION, 40.0);
    EXPECT_EQ(client[3].SHOOTING, 0);
    EXPECT_EQ(client[7].X, -4321);
    EXPECT_EQ(client[7].PLAYERNAME, "Bob");
    EXPECT_EQ(client[4].CONNECTED, 0);
    EXPECT_EQ(client[4].X, 1234);
    EXPECT_EQ(NETUNREAD(pair.FAR), 0u);

    SHIPTYPE mine = SAMPLESHIP(2);
    PROTOWRITECONTROLS(pair.NEAR, mine);
    NETFLUSH(pair.NEAR);
    ASSERT_TRUE(NETRECVINT(pair.FAR, kind));
    SHIPTYPE landed;
    ASSERT_TRUE(PROTOREADCONTROLS(pair.FAR, landed));
    EXPECT_EQ(landed.CURRENTACCELERATION, -300);
    EXPECT_EQ(landed.SHOOTING, 1);
    EXPECT_EQ(landed.SUBDIRECTION, 12.75);
    EXPECT_EQ(landed.DELTATHETA, 21.33333333333333);

    BULLETTABLE bullets{};
    bullets[9].OWNER = 5;
    bullets[9].ANIM = 2;
    PROTOWRITESHOTFIRED(pair.NEAR, 9, BULLETTYPE{10.5f, -20.25f, 612, 16, 0, 1, 0});
    PROTOWRITESHOTGONE(pair.NEAR, 10);
    NETFLUSH(pair.NEAR);
    ASSERT_TRUE(NETRECVINT(pair.FAR, kind));
    ASSERT_TRUE(PROTOREADSHOTFIRED(pair.FAR, bullets));
    EXPECT_TRUE(bullets[9].X == 10.5f && bullets[9].Y == -20.25f && bullets[9].SPEED == 612 &&
                bullets[9].DIRECTION == 16 && bullets[9].SPRITE == 1);
    EXPECT_TRUE(bullets[9].OWNER == 5 && bullets[9].ANIM == 2);
    bullets[10].SPRITE = 1;
    ASSERT_TRUE(NETRECVINT(pair.FAR, kind));
    ASSERT_TRUE(PROTOREADSHOTGONE(pair.FAR, bullets));
    EXPECT_EQ(bullets[10].SPRITE, 0);
}

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
    for (int i = 0; i < MAXPLAYERS; ++i) ships[static_cast<size_t>(i)] = SAMPLESHIP(i);
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
    for (int i = 0; i < MAXPLAYERS; ++i) ships[static_cast<size_t>(i)] = SAMPLESHIP(i);
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
