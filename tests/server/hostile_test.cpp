// One hostile player beside honest ones, on memory connections and the hand
// clock: each row is what the hostile player (Eve, slot 1) does and what the
// honest one (Ann, slot 0) is sent because of it, with the operator's log.
// Then the slots a newcomer takes, and the bytes of a closing and a joining
// slot pinned by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "media/clock.h"
#include "server/server.h"
#include "tests/support/peer.h"
#include "tests/support/screen.h"

namespace {
std::vector<std::string> LOGGED;
std::vector<uint8_t> LATEJOIN = GOLDEN().I(AUTHCODE).S("Cy").I(READY).B;

// A joiner from HOST (an address in the library's byte order) sending BYTES.
void CONNECTFROM(uint32_t host, const std::vector<uint8_t>& bytes, bool ends = false) {
    NETQUEUEMEMORY(bytes.data(), bytes.size(), ends, nullptr, host), SERVERWAITFORCONNECTIONS();
}

// Slot A's peer sends what WRITE writes; the server takes it.
void SENDS(PLUGGEDSLOTS& slots, int32_t A, const std::function<void(NETCONNECTION&)>& write) {
    write(slots.PEERS[static_cast<size_t>(A)]), NETFLUSH(slots.PEERS[static_cast<size_t>(A)]), SERVERNETGETDATAPACKET(A);
}

std::function<void(PLUGGEDSLOTS&)> EVESTEERS(int32_t thrust, int32_t shooting, double heading) {
    const SHIPTYPE ship{.SHOOTING = shooting, .SUBDIRECTION = heading, .DELTATHETA = 1e9, .CURRENTACCELERATION = thrust, .PLAYERNAME = ""};
    return [ship](PLUGGEDSLOTS& slots) { SENDS(slots, 1, [&](NETCONNECTION& c) { PROTOWRITECONTROLS(c, ship); }); };
}

// Everything Ann was sent, after she asks for one more UPDATE, then the log
// lines, the kept chat lines and the occupied slots. Per other ship in an
// UPDATE: slot:name/heading/thrust/fire.
std::string ANNHEARS(PLUGGEDSLOTS& slots) {
    SENDS(slots, 0, [](NETCONNECTION& c) { PROTOWRITECONTROLS(c, SHIPTYPE{}); });
    std::ostringstream said;
    for (auto [kind, bytes] = slots.NEXT(0); kind != -1; std::tie(kind, bytes) = slots.NEXT(0)) {
        if (kind == CHAT) said << std::string(bytes.begin() + 11, bytes.end()) << "|";
        if (kind == NAMEINFO) said << "name" << NETREADINT(&bytes[4]) << ":" << std::string(bytes.begin() + 12, bytes.end()) << "|";
        if (kind != UPDATE) continue;
        SHIPTABLE seen{};
        NETCONNECTION reader;
        NETQUEUEMEMORY(bytes.data() + 4, bytes.size() - 4, true, nullptr), NETATTACH(reader, NETACCEPT(nullptr), nullptr);
        EXPECT_TRUE(PROTOREADUPDATE(reader, seen, 0));
        said << "update " << bytes.size();
        for (int32_t b = 1; b < MAXPLAYERS; ++b)
            if (const SHIPTYPE& s = seen[static_cast<size_t>(b)]; s.CONNECTED != 0)
                said << " " << b << ":" << s.PLAYERNAME << "/" << s.SUBDIRECTION << "/" << s.CURRENTACCELERATION << "/" << s.SHOOTING;
        said << "|";
    }
    for (const std::string& line : LOGGED) said << "log " << line << "|";
    said << "kept " << std::count_if(SERVERCHATBUFFER.begin(), SERVERCHATBUFFER.end(), [](auto& l) { return !l.empty(); }) << " slots";
    for (int32_t A = 0; A < SERVERSLOTS; ++A) said << (SERVERTCPSOCKS[static_cast<size_t>(A)] ? " " + std::to_string(A) : "");
    return said.str();
}

struct HOSTILEROW { const char* NAME; std::function<void(PLUGGEDSLOTS&)> ACT; std::string SEEN; };
}  // namespace

TEST(HostilePlayer, WhatOnePlayerSendsCannotSpoilTheArenaForTheOthers) {
    const std::string eve = "update 175 1:Eve/";
    const std::string name(38, 'n'), joined = " *** " + name + " entered the game.|name2:" + name + "|";
    const std::vector<uint8_t> longname = GOLDEN().I(AUTHCODE).S(std::string(60000, 'n')).B, codeonly = GOLDEN().I(AUTHCODE).B;
    const std::vector<HOSTILEROW> rows = {
        {"a chat flood: five lines, then one a second", [](PLUGGEDSLOTS& slots) {
             for (int line = 0; line < 8; ++line) FAKENOW += line == 7 ? 1000 : 0, SENDS(slots, 1, [](NETCONNECTION& c) { PROTOWRITECHAT(c, "x"); });
         }, "Eve:x|Eve:x|Eve:x|Eve:x|Eve:x|Eve:x|" + eve + "0/0/0|log chat held back: slot 1 \"Eve\" is over its chat budget|kept 6 slots 0 1"},
        {"a 60,000-byte line", [](PLUGGEDSLOTS& slots) { SENDS(slots, 1, [](NETCONNECTION& c) { PROTOWRITECHAT(c, std::string(60000, 'z')); }); }, "Eve:" + std::string(255, 'z') + "|" + eve + "0/0/0|kept 1 slots 0 1"},
        {"a 60,000-byte name", [&](PLUGGEDSLOTS&) { CONNECTFROM(NETMEMORYLOOPBACK, longname); },
         joined + "update 281 1:Eve/0/0/0 2:" + name + "/0/0/0|log join: slot 2 \"" + name + "\" from 127.0.0.1|kept 0 slots 0 1 2"},
        {"thrust, fire and heading out of bounds", EVESTEERS(1000000, 7, 1e9), eve + "64/300/1|kept 0 slots 0 1"},
        {"no heading at all", EVESTEERS(-5000, -1, std::nan("")), eve + "64/-300/1|kept 0 slots 0 1"},
        {"a real client's extremes pass unchanged", EVESTEERS(-300, 1, 0.0), eve + "0/-300/1|kept 0 slots 0 1"},
        {"closed after the code, before the name", [&](PLUGGEDSLOTS&) { CONNECTFROM(NETMEMORYLOOPBACK, codeonly, true), SERVERWAITFORCONNECTIONS(); },
         eve + "0/0/0|log drop: slot 2 from 127.0.0.1 before its name (closed)|kept 0 slots 0 1"},
        {"joins past the address budget", [](PLUGGEDSLOTS&) {
             for (uint32_t host : {0x0900000Au, 0x0900000Au, 0x0900000Au, 0x0800000Au}) SERVERADMITBURST = 2, CONNECTFROM(host, LATEJOIN);
         }, " *** Cy entered the game.|name2:Cy| *** Cy entered the game.|name3:Cy| *** Cy entered the game.|name4:Cy|update 385 1:Eve/0/0/0 "
            "2:Cy/0/0/0 3:Cy/0/0/0 4:Cy/0/0/0|log join: slot 2 \"Cy\" from 10.0.0.9|log join: slot 3 \"Cy\" from 10.0.0.9|log closed: connections "
            "from 10.0.0.9 are over the address budget|log join: slot 4 \"Cy\" from 10.0.0.8|kept 0 slots 0 1 2 3 4"},
    };
    SERVERLOGHOOK = [](const std::string& line) { LOGGED.push_back(line); };
    for (const HOSTILEROW& row : rows) {
        USEFAKECLOCK();
        PLUGGEDSLOTS slots;
        ASSERT_TRUE(slots.PLUG(0, "Ann") && slots.PLUG(1, "Eve"));
        LOGGED.clear();
        row.ACT(slots);
        EXPECT_EQ(ANNHEARS(slots), row.SEEN) << row.NAME;
        SERVERADMITBURST = 16;
    }
    SERVERLOGHOOK = nullptr;
    KELUSEREALCLOCK();
}

// A connection that arrives while a pass is further on still takes the
// lowest free slot. With all sixteen taken a newcomer waits, unserved, and
// takes the first slot that frees.
TEST(HostilePlayer, ANewcomerTakesTheLowestFreeSlotAndASeventeenthWaitsForOne) {
    USEFAKECLOCK();
    {
        PLUGGEDSLOTS slots;
        ASSERT_TRUE(slots.PLUG(1, "Ann"));
        // Ann's leave is logged in slot 1's turn, after slot 0 was offered; Cy connects just then.
        SERVERLOGHOOK = [](const std::string& line) { line.starts_with("leave") ? NETQUEUEMEMORY(LATEJOIN.data(), LATEJOIN.size(), false, nullptr) : void(); };
        PROTOWRITEKIND(slots.PEERS[1], GOODBYE), NETFLUSH(slots.PEERS[1]), SERVERWAITFORCONNECTIONS();
        SERVERLOGHOOK = nullptr;
        EXPECT_TRUE(SERVERPLAYERS[0].PLAYERNAME == "Cy" && SERVERTCPSOCKS[2] == nullptr);
    }
    PLUGGEDSLOTS slots;
    for (int32_t A = 0; A < SERVERSLOTS - 1; ++A) ASSERT_TRUE(slots.PLUG(A, "p" + std::to_string(A)));
    // The sixteenth joins through the connection pass like anyone else.
    NETQUEUEMEMORY(LATEJOIN.data(), LATEJOIN.size(), false, nullptr);
    for (int pass = 0; pass < 3; ++pass, FAKENOW += 100) SERVERTICK();
    EXPECT_TRUE(SERVERPLAYERS[15].PLAYERNAME == "Cy" && SERVERSLOTINPLAY(15));
    std::vector<uint8_t> back;
    NETQUEUEMEMORY(LATEJOIN.data(), LATEJOIN.size(), false, &back);
    for (int pass = 0; pass < 3; ++pass, FAKENOW += 100) SERVERTICK();
    EXPECT_TRUE(back.empty() && NETMEMORYQUEUED());
    for (int pass = 0; pass < 3; ++pass, FAKENOW += 100) SERVERNETDISCONNECTREMOTE(5), SERVERTICK();
    EXPECT_TRUE(back.size() > 4 && NETREADINT(back.data()) == 5 && SERVERPLAYERS[5].PLAYERNAME == "Cy" && !NETMEMORYQUEUED());
    KELUSEREALCLOCK();
}

// A leaver in its closing pause is not connected in another player's
// UPDATE or FULLSTATE, and a joiner whose name comes a tick after its code
// (the physics ran meanwhile) gets its admission's place and heading.
TEST(HostileWire, ClosingAndJoiningSlotsKeepTheirBytes) {
    USEFAKECLOCK();
    PLUGGEDSLOTS slots;
    ASSERT_TRUE(slots.PLUG(0, "Ann") && slots.PLUG(1, "Bob"));
    SENDS(slots, 1, [](NETCONNECTION& c) { PROTOWRITEKIND(c, GOODBYE); });
    SENDS(slots, 0, [](NETCONNECTION& c) { PROTOWRITECONTROLS(c, SHIPTYPE{}); });
    GOLDEN update = GOLDEN().I(UPDATE).I(1).D(0).D(0).D(0).D(0).I(100);
    for (int b = 1; b < MAXPLAYERS; ++b) update.I(0);
    EXPECT_EQ(slots.NEXT(0).second, update.B);

    std::vector<uint8_t> back;
    NETQUEUEMEMORY(LATEJOIN.data(), 4, false, &back);
    SERVERTICK(), SERVERCONNECTIONS[2].MEMINSIZE = LATEJOIN.size(), SERVERTICK();
    ASSERT_GE(back.size(), 4u + FULLSTATEBYTES);
    // Bob's entry: where he stood, not connected; Cy's: the admission's
    // first three draws after the generator's reset (X, Y, DIRECTION 0-14).
    const GOLDEN entries = GOLDEN().D(0).D(0).D(0).D(0).D(0).D(0).D(0).I(0).I(0).I(100).I(0).I(0).I(0).I(0)
                               .D(138).D(-3243).D(0).D(0).D(0).D(0).D(0).I(0).I(0).I(100).I(0).I(4).I(0).I(1);
    EXPECT_EQ(std::vector<uint8_t>(back.begin() + 8 + 84, back.begin() + 8 + 3 * 84), entries.B);
    KELUSEREALCLOCK();
}
