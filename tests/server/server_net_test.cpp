#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "server/server.h"
#include "tests/support/peer.h"

namespace {

constexpr int JOINMS = 15000;

bool POLLALL(std::initializer_list<TESTCLIENT*> clients, const std::function<bool()>& predicate, int ms) {
    const uint32_t start = NETNOW();
    for (;;) {
        if (predicate()) return true;
        if (NETNOW() - start >= static_cast<uint32_t>(ms)) return false;
        bool any = false;
        for (TESTCLIENT* client : clients) any = client->POLL() != -1 || any;
        if (!any) SDL_Delay(1);
    }
}

// Reads up to MAX bytes from PEER, serving CLIENT meanwhile, until 4 have arrived.
std::vector<uint8_t> FIRSTWORD(RAWPEER& peer, TESTCLIENT& client, size_t max = 4) {
    std::vector<uint8_t> got;
    POLLALL({&client}, [&] {
        std::vector<uint8_t> more = peer.READ(max - got.size(), 1);
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 4;
    }, JOINMS);
    return got;
}

bool HASLINE(const TESTCLIENT& client, const std::string& line) {
    for (const std::string& l : client.LINES)
        if (l == line) return true;
    return false;
}

std::string LEAVELINE(const std::string& name) { return COLOURED(128, 254, 128, " *** " + name + " has left the game."); }
std::string JOINLINE(const std::string& name) { return COLOURED(254, 254, 254, " *** " + name + " entered the game."); }

std::vector<uint8_t> CONTROLSMESSAGE(int32_t thrust, int32_t shoot, double heading, double turn) {
    std::vector<uint8_t> bytes(28);
    NETWRITEINT(bytes.data(), CONTROLS);
    NETWRITEINT(bytes.data() + 4, thrust);
    NETWRITEINT(bytes.data() + 8, shoot);
    std::memcpy(bytes.data() + 12, &heading, 8);
    std::memcpy(bytes.data() + 20, &turn, 8);
    return bytes;
}

std::vector<uint8_t> STRBYTES(int32_t kind, const std::string& text) {
    std::vector<uint8_t> bytes(8);
    NETWRITEINT(bytes.data(), kind);
    NETWRITEINT(bytes.data() + 4, static_cast<int32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

int32_t RAWJOIN(RAWPEER& peer, uint16_t port, const std::string& name, int receivebuffer = 0) {
    if (!peer.CONNECT(port, receivebuffer) || !peer.WRITEINT(AUTHCODE)) return -2;
    std::vector<uint8_t> slot = peer.READ(4, JOINMS);
    if (slot.size() != 4 || !peer.WRITESTR(name) || !peer.WRITEINT(READY)) return -2;
    return NETREADINT(slot.data());
}

}  // namespace

TEST(Handshake, JoinGivesSlotFullStateJoinLineAndNames) {
    SERVERTHREAD server(17200);
    ASSERT_TRUE(server.RUNNING);
    TESTCLIENT ann;
    ASSERT_TRUE(ann.JOIN(17200, "Ann"));
    EXPECT_EQ(ann.SLOT, 0);
    ASSERT_TRUE(ann.RUNUNTIL([&] { return ann.UPDATES >= 5; }, JOINMS));
    ASSERT_GE(ann.KINDS.size(), 4u);
    EXPECT_EQ(ann.KINDS[0], FULLSTATE);
    EXPECT_EQ(ann.KINDS[1], CHAT);
    EXPECT_EQ(ann.KINDS[2], NAMEINFO);
    EXPECT_EQ(ann.LASTFULLSTATEBYTES, 1348);
    EXPECT_EQ(ann.LINES.at(0), JOINLINE("Ann"));
    EXPECT_EQ(ann.PLAYERS[0].PLAYERNAME, "Ann");
    EXPECT_EQ(ann.LASTUPDATEBYTES, 104);
    EXPECT_EQ(ann.PLAYERS[0].HEALTH, 100);

    TESTCLIENT bob;
    ASSERT_TRUE(bob.JOIN(17200, "Bob"));
    EXPECT_EQ(bob.SLOT, 1);
    ASSERT_TRUE(POLLALL({&ann, &bob}, [&] { return bob.UPDATES >= 3 && ann.PLAYERS[1].PLAYERNAME == "Bob" && ann.LASTUPDATEBYTES == 104 + 68 + 3; }, JOINMS));
    EXPECT_TRUE(HASLINE(ann, JOINLINE("Bob")));
    EXPECT_EQ(bob.LINES.at(0), JOINLINE("Bob"));
    EXPECT_EQ(bob.PLAYERS[0].PLAYERNAME, "Ann");  // from UPDATE
    EXPECT_EQ(bob.PLAYERS[1].PLAYERNAME, "Bob");  // own name only by NAMEINFO
    EXPECT_EQ(bob.LASTUPDATEBYTES, 104 + 68 + 3);
}

TEST(Handshake, WrongCodeGetsExactlyMinusOneThenTheConnectionCloses) {
    SERVERTHREAD server(17201);
    ASSERT_TRUE(server.RUNNING);
    TESTCLIENT ann;
    ASSERT_TRUE(ann.JOIN(17201, "Ann"));

    RAWPEER wrong;
    ASSERT_TRUE(wrong.CONNECT(17201));
    ASSERT_TRUE(wrong.WRITEINT(12345));
    EXPECT_EQ(FIRSTWORD(wrong, ann, 8), BYTES({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(wrong.WAITCLOSED(5000));
    const int fullBefore = ann.FULLSTATES;
    ASSERT_TRUE(ann.RUNUNTIL([&] { return HASLINE(ann, LEAVELINE("")) && ann.FULLSTATES > fullBefore; }, JOINMS));
    // A peer that closes before its code is refused the same way.
    RAWPEER quitter;
    ASSERT_TRUE(quitter.CONNECT(17201));
    quitter.CLOSE();
    const size_t linesBefore = ann.LINES.size();
    ASSERT_TRUE(ann.RUNUNTIL([&] { return ann.LINES.size() > linesBefore; }, JOINMS));
    EXPECT_EQ(ann.LINES.back(), LEAVELINE(" "));  // slot 1 was held once now

    const int updates = ann.UPDATES;
    ASSERT_TRUE(ann.RUNUNTIL([&] { return ann.UPDATES > updates + 5; }, JOINMS));
    TESTCLIENT bob;
    ASSERT_TRUE(bob.JOIN(17201, "Bob"));
    EXPECT_EQ(bob.SLOT, 1);
}

TEST(Handshake, LowestFreeSlotAndASeventeenthWaitsForOne) {
    SERVERTHREAD server(17202);
    ASSERT_TRUE(server.RUNNING);
    std::vector<std::unique_ptr<TESTCLIENT>> players;
    for (int i = 0; i < 16; ++i) {
        players.push_back(std::make_unique<TESTCLIENT>());
        ASSERT_TRUE(players.back()->JOIN(17202, "p" + std::to_string(i)));
        EXPECT_EQ(players.back()->SLOT, i);
    }
    // Slot 5 frees; the next player gets 5, not 16.
    players[5]->CLOSE();
    ASSERT_TRUE(players[0]->RUNUNTIL([&] { return HASLINE(*players[0], LEAVELINE("p5")); }, JOINMS));
    TESTCLIENT again;
    ASSERT_TRUE(again.JOIN(17202, "again"));
    EXPECT_EQ(again.SLOT, 5);

    // All sixteen taken: a seventeenth gets no answer while it waits...
    RAWPEER waiting;
    ASSERT_TRUE(waiting.CONNECT(17202));
    ASSERT_TRUE(waiting.WRITEINT(AUTHCODE));
    players[0]->RUNFOR(500);
    EXPECT_TRUE(waiting.READ(4, 10).empty());
    // ...and is admitted into the first slot that frees.
    players[9]->CLOSE();
    std::vector<uint8_t> slot = FIRSTWORD(waiting, *players[0]);
    ASSERT_EQ(slot.size(), 4u);
    EXPECT_EQ(NETREADINT(slot.data()), 9);
}

TEST(HostilePeers, APeerThatFloodsAndNeverReadsIsDroppedNotWaitedFor) {
    SERVERTHREAD server(17212);
    ASSERT_TRUE(server.RUNNING);
    // A 60000-byte name makes every UPDATE to the flooder about 60 KB.
    const std::string longname(60000, 'g');
    TESTCLIENT good;
    ASSERT_TRUE(good.JOIN(17212, longname));
    RAWPEER flood;
    ASSERT_EQ(RAWJOIN(flood, 17212, "flood", 4096), 1);

    std::vector<uint8_t> batch;
    for (int i = 0; i < 16; ++i) {
        std::vector<uint8_t> one = CONTROLSMESSAGE(300, 1, 20, 0);
        batch.insert(batch.end(), one.begin(), one.end());
    }
    ASSERT_TRUE(good.RUNUNTIL([&] { return good.UPDATES > 5; }, JOINMS));
    good.LONGESTUPDATEGAP = 0;
    const uint32_t start = NETNOW();
    bool dropped = false;
    while (!dropped && NETNOW() - start < 60000) {
        if (flood.TRYWRITE(batch) < 0) dropped = true;
        good.RUNFOR(5);
        if (HASLINE(good, LEAVELINE("flood"))) dropped = true;
    }
    ASSERT_TRUE(dropped);
    ASSERT_TRUE(good.RUNUNTIL([&] { return HASLINE(good, LEAVELINE("flood")); }, JOINMS));
    EXPECT_LT(good.LONGESTUPDATEGAP, 1000u);
    const int updates = good.UPDATES;
    ASSERT_TRUE(good.RUNUNTIL([&] { return good.UPDATES > updates + 10; }, JOINMS));
    TESTCLIENT next;
    ASSERT_TRUE(next.JOIN(17212, "next"));
    EXPECT_EQ(next.SLOT, 1);
}

TEST(HostilePeers, BadStringLengthsAndWildHeadings) {
    SERVERTHREAD server(17213);
    ASSERT_TRUE(server.RUNNING);
    TESTCLIENT good;
    ASSERT_TRUE(good.JOIN(17213, "good"));

    for (int32_t length : {2147483647, -5}) {
        RAWPEER liar;
        ASSERT_EQ(RAWJOIN(liar, 17213, "liar"), 1) << length;
        std::vector<uint8_t> bytes(8);
        NETWRITEINT(bytes.data(), CHAT);
        NETWRITEINT(bytes.data() + 4, length);
        ASSERT_TRUE(liar.WRITE(bytes));
        const size_t lines = good.LINES.size();
        ASSERT_TRUE(good.RUNUNTIL([&] { return good.LINES.size() > lines && good.LINES.back() == LEAVELINE("liar"); }, JOINMS));
        EXPECT_TRUE(liar.WAITCLOSED(5000));
    }

    RAWPEER wild;
    ASSERT_EQ(RAWJOIN(wild, 17213, "wild"), 1);
    const double headings[] = {std::nan(""), 1e300, -1e300, std::numeric_limits<double>::infinity(), 64.0 * 1e12};
    for (double heading : headings) ASSERT_TRUE(wild.WRITE(CONTROLSMESSAGE(std::numeric_limits<int32_t>::max(), 1, heading, 1e308)));
    ASSERT_TRUE(good.RUNUNTIL([&] { return good.PLAYERS[1].CONNECTED == 1 && good.UPDATES > 30; }, JOINMS));
    good.RUNFOR(300);
    EXPECT_GT(good.PLAYERS[1].SUBDIRECTION, 0.0);
    EXPECT_LE(good.PLAYERS[1].SUBDIRECTION, 64.0);
    EXPECT_EQ(good.PLAYERS[1].DELTATHETA, 0.0);
    std::vector<uint8_t> replies = wild.READ(20000, 2000);
    int updates = 0;
    for (size_t at = 0; at < replies.size();) {
        const int64_t whole = PROTOTOCLIENTLENGTH(replies.data() + at, replies.size() - at, 1);
        if (whole <= 0) break;
        if (NETREADINT(replies.data() + at) == UPDATE) ++updates;
        at += static_cast<size_t>(whole);
    }
    EXPECT_EQ(updates, 5);
}

TEST(HostilePeers, OneBytePerWriteThenAnAbruptCloseMidMessage) {
    SERVERTHREAD server(17214);
    ASSERT_TRUE(server.RUNNING);
    TESTCLIENT good;
    ASSERT_TRUE(good.JOIN(17214, "good"));
    RAWPEER slow;
    ASSERT_TRUE(slow.CONNECT(17214));
    int one = 1;
    setsockopt(slow.FD, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto trickle = [&](const std::vector<uint8_t>& bytes) {
        for (uint8_t byte : bytes) {
            if (!slow.WRITE({byte})) return false;
            good.RUNFOR(1);
        }
        return true;
    };
    std::vector<uint8_t> code(4);
    NETWRITEINT(code.data(), AUTHCODE);
    ASSERT_TRUE(trickle(code));
    EXPECT_EQ(FIRSTWORD(slow, good), BYTES({1, 0, 0, 0}));
    std::vector<uint8_t> name = STRBYTES(0, "slow");
    name.erase(name.begin(), name.begin() + 4);
    ASSERT_TRUE(trickle(name));
    ASSERT_TRUE(trickle(CONTROLSMESSAGE(0, 0, 32.0, 0)));
    ASSERT_TRUE(trickle(STRBYTES(CHAT, "typed")));
    ASSERT_TRUE(good.RUNUNTIL([&] { return HASLINE(good, COLOURED(254, 254, 254, "slow:typed")); }, JOINMS));
    EXPECT_TRUE(HASLINE(good, JOINLINE("slow")));
    ASSERT_TRUE(good.RUNUNTIL([&] { return good.PLAYERS[1].SUBDIRECTION == 32.0; }, JOINMS));

    // Half a CHAT, then gone.
    std::vector<uint8_t> half = STRBYTES(CHAT, "never finished");
    half.resize(10);
    ASSERT_TRUE(slow.WRITE(half));
    slow.CLOSE();
    ASSERT_TRUE(good.RUNUNTIL([&] { return HASLINE(good, LEAVELINE("slow")); }, JOINMS));
    EXPECT_FALSE(HASLINE(good, COLOURED(254, 254, 254, "slow:ne")));
    TESTCLIENT next;
    ASSERT_TRUE(next.JOIN(17214, "next"));
    EXPECT_EQ(next.SLOT, 1);
}

TEST(HostilePeers, ABurstOfAThousandMessagesIsServedInOrder) {
    SERVERTHREAD server(17215);
    ASSERT_TRUE(server.RUNNING);
    TESTCLIENT good;
    ASSERT_TRUE(good.JOIN(17215, "good"));
    TESTCLIENT burst;
    burst.ANSWER = false;  // its only UPDATEs are the answers to the burst
    ASSERT_TRUE(burst.JOIN(17215, "burst"));
    const size_t slot = static_cast<size_t>(burst.SLOT);
    ASSERT_TRUE(POLLALL({&good, &burst}, [&] { return good.PLAYERS[slot].PLAYERNAME == "burst"; }, JOINMS));
    EXPECT_EQ(burst.UPDATES, 0);

    for (int i = 0; i < 998; ++i) {
        SHIPTYPE controls;
        controls.SUBDIRECTION = 1.0 + i * (60.0 / 998);
        PROTOWRITECONTROLS(burst.CONN, controls);
    }
    PROTOWRITEKIND(burst.CONN, READY);
    PROTOWRITECHAT(burst.CONN, "end of burst");
    NETFLUSH(burst.CONN);
    const int goodBefore = good.UPDATES;
    ASSERT_TRUE(POLLALL({&good, &burst}, [&] { return HASLINE(burst, COLOURED(254, 254, 254, "burst:end of burst")); }, 60000));
    EXPECT_EQ(burst.UPDATES, 998);
    EXPECT_GT(good.UPDATES, goodBefore + 100);
    ASSERT_TRUE(good.RUNUNTIL([&] { return std::fabs(good.PLAYERS[slot].SUBDIRECTION - (1.0 + 997 * (60.0 / 998))) < 1e-9; }, JOINMS));
}

TEST(Handshake, APeerStoppedInsideItsNameIsDroppedWithoutItsBytesReadAsMessages) {
    SERVERTHREAD server(18200);
    ASSERT_TRUE(server.RUNNING);
    TESTCLIENT good;
    ASSERT_TRUE(good.JOIN(18200, "good"));
    const size_t linesBefore = good.LINES.size();

    RAWPEER cut;
    ASSERT_TRUE(cut.CONNECT(18200));
    ASSERT_TRUE(cut.WRITEINT(AUTHCODE));
    ASSERT_EQ(FIRSTWORD(cut, good), BYTES({1, 0, 0, 0}));
    // 5 of a 6-byte name; read from the start these bytes would be CHAT "x".
    good.LONGESTUPDATEGAP = 0;
    ASSERT_TRUE(cut.WRITE(BYTES({6, 0, 0, 0, 1, 0, 0, 0, 'x'})));

    ASSERT_TRUE(good.RUNUNTIL([&] { return HASLINE(good, LEAVELINE("")); }, 20000));
    EXPECT_TRUE(cut.WAITCLOSED(5000));
    std::vector<std::string> since(good.LINES.begin() + static_cast<std::ptrdiff_t>(linesBefore), good.LINES.end());
    EXPECT_EQ(since, (std::vector<std::string>{JOINLINE(""), LEAVELINE("")}));
    EXPECT_LT(good.LONGESTUPDATEGAP, 2 * NETWAITLIMITMS);
}

TEST(HostilePeers, APeerStoppedMidMessageIsDroppedAfterTheWaitLimitNotTheSilenceLimit) {
    SERVERSILENCELIMITMS.store(600000);
    SERVERTHREAD server(18201);
    ASSERT_TRUE(server.RUNNING);
    TESTCLIENT good;
    ASSERT_TRUE(good.JOIN(18201, "good"));
    RAWPEER stuck;
    ASSERT_EQ(RAWJOIN(stuck, 18201, "stuck"), 1);
    ASSERT_TRUE(good.RUNUNTIL([&] { return HASLINE(good, JOINLINE("stuck")); }, JOINMS));

    // Quiet with nothing half-sent: the slot stays past the wait limit.
    good.RUNFOR(static_cast<int>(NETWAITLIMITMS) + 1000);
    EXPECT_FALSE(HASLINE(good, LEAVELINE("stuck")));
    EXPECT_EQ(good.PLAYERS[1].CONNECTED, 1);

    // Half a CONTROLS: never waited for inside a tick, dropped after the wait limit.
    good.LONGESTUPDATEGAP = 0;
    std::vector<uint8_t> half = CONTROLSMESSAGE(300, 1, 10, 0);
    half.resize(13);
    ASSERT_TRUE(stuck.WRITE(half));
    const bool dropped = good.RUNUNTIL([&] { return HASLINE(good, LEAVELINE("stuck")); }, 20000);
    SERVERSILENCELIMITMS.store(NETSILENCELIMITMS);
    ASSERT_TRUE(dropped);
    EXPECT_TRUE(stuck.WAITCLOSED(5000));
    EXPECT_LT(good.LONGESTUPDATEGAP, 1000u);
    TESTCLIENT next;
    ASSERT_TRUE(next.JOIN(18201, "next"));
    EXPECT_EQ(next.SLOT, 1);
}
