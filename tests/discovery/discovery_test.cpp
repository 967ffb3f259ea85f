// Discovery: the query and answer layouts pinned by hand-written bytes; the
// server's answers on UDP port 7778 (in the test's own network namespace)
// to well-formed queries only, listing exactly the players in play; and, on
// memory datagrams and the hand clock, the read cap, both budgets just past
// their edges and the log at most once a second. Every answer is checked
// to be no larger than the query that asked for it.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <algorithm>
#include <deque>

#include "main/spine.h"
#include "media/clock.h"
#include "server/server.h"
#include "shared/discovery.h"
#include "shared/version.h"
#include "tests/support/peer.h"
#include "tests/support/screen.h"

namespace {
std::deque<std::pair<std::vector<uint8_t>, uint32_t>> INBOX;  // datagram, source
size_t LASTSIZE = 0;
size_t ANSWERS = 0;
std::vector<std::string> LOGGED;

bool TAKEFROMINBOX(uint8_t* buffer, size_t room, size_t& size, uint32_t& host, uint16_t& port) {
    if (INBOX.empty()) return false;
    std::copy_n(INBOX.front().first.begin(), std::min(room, INBOX.front().first.size()), buffer);
    size = LASTSIZE = INBOX.front().first.size(), host = INBOX.front().second, port = 9999;
    INBOX.pop_front();
    return true;
}

void KEEPANSWER(const uint8_t* bytes, size_t size, uint32_t, uint16_t) {
    DISCOVERYINFO info;
    EXPECT_TRUE(size <= LASTSIZE && DISCOVERYREADANSWER(bytes, size, info));
    ++ANSWERS;
}

// One query from each of HOSTS (in network order), all in this instant; the answers.
size_t ASK(const std::vector<uint32_t>& hosts) {
    ANSWERS = 0;
    for (uint32_t host : hosts) INBOX.push_back({DISCOVERYWRITEQUERY(host), host});
    while (!INBOX.empty()) SERVERDISCOVERYPASS();
    return ANSWERS;
}
}  // namespace

TEST(Discovery, QueryAndAnswerMatchHandWrittenBytes) {
    std::vector<uint8_t> query = BYTES({'V', 'X', 'Q', '?', 1, 0, 0x44, 0x33, 0x22, 0x11});
    query.resize(1200, 0);
    uint32_t token = 0;
    EXPECT_EQ(DISCOVERYWRITEQUERY(0x11223344), query);
    EXPECT_TRUE(DISCOVERYREADQUERY(query.data(), query.size(), token) && token == 0x11223344);
    // Token 0x01020304, port 7778, id 0xA1B2C3D4, 2 players of 16, "1.0.0", "Box", slot 0 "Ann", slot 5 "Bo".
    const std::vector<uint8_t> answer = BYTES({'V', 'X', 'A', '!', 1, 0, 4, 3, 2, 1, 0x62, 0x1E, 0xD4, 0xC3, 0xB2, 0xA1, 2, 16, 5,
                                              '1', '.', '0', '.', '0', 3, 'B', 'o', 'x', 0, 3, 'A', 'n', 'n', 5, 2, 'B', 'o'});
    const DISCOVERYINFO info{0x01020304, 7778, 0xA1B2C3D4, 16, "1.0.0", "Box", {{0, "Ann"}, {5, "Bo"}}};
    EXPECT_EQ(DISCOVERYWRITEANSWER(info), answer);
    // Read back: what the reader took writes out as the same bytes; a byte short or over is no answer.
    DISCOVERYINFO read;
    EXPECT_TRUE(DISCOVERYREADANSWER(answer.data(), answer.size(), read) && DISCOVERYWRITEANSWER(read) == answer);
    std::vector<uint8_t> over = answer;
    over.push_back(0);
    EXPECT_FALSE(DISCOVERYREADANSWER(answer.data(), answer.size() - 1, read) || DISCOVERYREADANSWER(over.data(), over.size(), read));
}

TEST(Discovery, OnlyAWellFormedQueryIsAnsweredAndTheAnswerListsThePlayersInPlay) {
    SERVERRELEASE();
    GAMEPORT = 7778;
    SERVERPLACEOBJECTS();
    SERVERINITNETCONNECTION();
    SERVERDISCOVERYNAME = std::string(70, 's');
    ASSERT_EQ(SERVERDISCOVERYOPEN(), "");
    TESTCLIENT ann, bob;
    ASSERT_TRUE(TICKJOIN(ann, "Ann", {}) && TICKJOIN(bob, std::string(40, 'b'), {&ann}));
    RAWPEER halfway;  // in its handshake: its code sent, no name yet
    ASSERT_TRUE(halfway.CONNECT(7778) && halfway.WRITEINT(AUTHCODE));
    ASSERT_TRUE(TICKUNTIL({&ann, &bob}, [] { return SERVERTCPSOCKS[2] != nullptr; }));
    // Cut by a byte, a byte over, wrong magic, version and padding, each with
    // a token of its own; then a good one, whose answer must come back first.
    std::vector<uint8_t> cut = DISCOVERYWRITEQUERY(1), over = DISCOVERYWRITEQUERY(2), magic = DISCOVERYWRITEQUERY(3),
                         version = DISCOVERYWRITEQUERY(4), padding = DISCOVERYWRITEQUERY(5);
    cut.pop_back(), over.push_back(0), magic[3] = '!', version[4] = 2, padding[1199] = 1;
    FINDER finder;
    for (const std::vector<uint8_t>& bad : {cut, over, magic, version, padding, DISCOVERYWRITEQUERY(7)}) finder.SEND(bad);
    std::vector<uint8_t> got;
    DISCOVERYINFO info;
    ASSERT_TRUE(TICKUNTIL({&ann, &bob}, [&] { return finder.TAKE(got, 0); }));
    ASSERT_TRUE(got.size() <= 1200 && DISCOVERYREADANSWER(got.data(), got.size(), info));
    EXPECT_EQ(got, DISCOVERYWRITEANSWER({7, 7778, info.SERVERID, 16, VEXILVERSION, std::string(63, 's'), {{0, "Ann"}, {1, std::string(38, 'b')}}}));
    SERVERRELEASE();
    SERVERDISCOVERYNAME.clear();
}

TEST(Discovery, BudgetsHoldJustPastTheirEdgesAndTheLogSpeaksAtMostOnceASecond) {
    SERVERRELEASE();
    USEFAKECLOCK(1000);
    SERVERDISCOVERYRECEIVE = TAKEFROMINBOX, SERVERDISCOVERYSEND = KEEPANSWER;
    SERVERLOGHOOK = [](const std::string& line) { LOGGED.push_back(line); };
    const uint32_t one = 0x0100000A;  // 10.0.0.1
    // One address: four at once, not a fifth; one more 500 ms on, not at 499.
    EXPECT_EQ(ASK({one, one, one, one, one}), 4u);
    FAKENOW += 499;
    EXPECT_EQ(ASK({one}), 0u);
    FAKENOW += 1;
    EXPECT_EQ(ASK({one}), 1u);
    // The log: a line at once, the next no sooner than a second later.
    FAKENOW += 499, SERVERDISCOVERYPASS();
    FAKENOW += 1, INBOX.push_back({{1, 2, 3}, one}), SERVERDISCOVERYPASS();
    EXPECT_EQ(LOGGED, (std::vector<std::string>{"discovery: not answered: 1 query over budget (last from 10.0.0.1)",
                                                "discovery: not answered: 1 malformed datagram, 1 query over budget (last from 10.0.0.1)"}));
    // All addresses: 64 at once (32 a pass), not a 65th; one more 25 ms on, not at 24.
    SERVERDISCOVERYCLOSE();
    std::vector<uint32_t> many;
    for (uint32_t i = 1; i <= 67; ++i) many.push_back(htonl(0x0A010000 + i));
    for (uint32_t i = 0; i < 33; ++i) INBOX.push_back({DISCOVERYWRITEQUERY(i), many[i]});
    SERVERDISCOVERYPASS();
    EXPECT_EQ(INBOX.size(), 1u);
    INBOX.clear();
    EXPECT_EQ(ASK({many.begin(), many.begin() + 65}), 64u - 32u);
    FAKENOW += 24;
    EXPECT_EQ(ASK({many[65]}), 0u);
    FAKENOW += 1;
    EXPECT_EQ(ASK({many[66]}), 1u);
    SERVERDISCOVERYUSESOCKET();
    SERVERLOGHOOK = nullptr;
    KELUSEREALCLOCK();
}
