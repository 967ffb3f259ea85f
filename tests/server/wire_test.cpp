// Every message of the game pinned by fixed bytes written out by hand from
// the message layouts: each row's bytes must be what its writer produces,
// and fed to its reader they must land in the fields they name. Every field
// carries a value of its own, so two fields swapped on both sides still show.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "shared/net.h"
#include "shared/protocol.h"
#include "tests/support/peer.h"

namespace {

// Little-endian encodings of the wire's value types, from their definitions
// (two's complement integers, IEEE-754 reals), independent of the game's own.
struct GOLDEN {
    std::vector<uint8_t> B;
    GOLDEN& I(int32_t v) {
        for (int k = 0; k < 4; ++k) B.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
        return *this;
    }
    GOLDEN& F(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return I(static_cast<int32_t>(bits));
    }
    GOLDEN& D(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        for (int k = 0; k < 8; ++k) B.push_back(static_cast<uint8_t>(bits >> (8 * k)));
        return *this;
    }
    GOLDEN& S(const std::string& s) {
        I(static_cast<int32_t>(s.size()));
        B.insert(B.end(), s.begin(), s.end());
        return *this;
    }
};

// Slot S of the sample table: a distinct value in every field.
SHIPTYPE SAMPLE(int s) {
    SHIPTYPE ship;
    ship.X = 1000.5 + s;
    ship.Y = -2000.25 - s;
    ship.XVELOC = 300.125 + s;
    ship.YVELOC = -400.0 - s;
    ship.SUBDIRECTION = 5.5 + s;
    ship.DELTATHETA = -6.75 - s;
    ship.GUNTIMER = 0.0625 * (s + 1);
    ship.SHOOTING = 10 + s;
    ship.DAMAGE = 20 + s;
    ship.HEALTH = 30 + s;
    ship.FRAME = 40 + s;
    ship.DIRECTION = 50 + s;
    ship.CURRENTACCELERATION = -60 - s;
    ship.CONNECTED = 70 + s;
    ship.PLAYERNAME = "p" + std::to_string(s);
    return ship;
}

SHIPTABLE SAMPLETABLE() {
    SHIPTABLE ships;
    for (int s = 0; s < MAXPLAYERS; ++s) ships[static_cast<size_t>(s)] = SAMPLE(s);
    return ships;
}

std::vector<uint8_t> FULLSTATEBYTESFOR(const SHIPTABLE& ships) {
    GOLDEN g;
    g.I(1);
    for (const SHIPTYPE& p : ships)
        g.D(p.X).D(p.Y).D(p.XVELOC).D(p.YVELOC).D(p.SUBDIRECTION).D(p.DELTATHETA).D(p.GUNTIMER)
            .I(p.SHOOTING).I(p.DAMAGE).I(p.HEALTH).I(p.FRAME).I(p.DIRECTION).I(p.CURRENTACCELERATION).I(p.CONNECTED);
    return g.B;
}

// The UPDATE for recipient 5: slot 2 another player named "ab", slot 5 the
// recipient's own section, slot 9 connected with an empty name, the rest
// not connected.
SHIPTABLE UPDATETABLE() {
    SHIPTABLE ships = SAMPLETABLE();
    for (int s = 0; s < MAXPLAYERS; ++s) ships[static_cast<size_t>(s)].CONNECTED = 0;
    ships[2].CONNECTED = 7;
    ships[2].PLAYERNAME = "ab";
    ships[5].CONNECTED = 1;
    ships[9].CONNECTED = 1;
    ships[9].PLAYERNAME = "";
    return ships;
}

std::vector<uint8_t> UPDATEBYTESFOR(const SHIPTABLE& ships) {
    GOLDEN g;
    g.I(3);
    for (int b = 0; b < MAXPLAYERS; ++b) {
        const SHIPTYPE& p = ships[static_cast<size_t>(b)];
        g.I(p.CONNECTED);
        if (b == 5)
            g.D(p.X).D(p.Y).D(p.XVELOC).D(p.YVELOC).I(p.HEALTH);
        else if (p.CONNECTED != 0)
            g.D(p.X).D(p.Y).D(p.XVELOC).D(p.YVELOC).D(p.SUBDIRECTION).D(p.DELTATHETA)
                .I(p.SHOOTING).I(p.HEALTH).I(p.DIRECTION).I(p.CURRENTACCELERATION).S(p.PLAYERNAME);
    }
    return g.B;
}

// The fields a reader must fill, compared one by one so a failure names it.
void EXPECTSHIP(const SHIPTYPE& got, const SHIPTYPE& want, bool full, int slot) {
    EXPECT_EQ(got.X, want.X) << slot;
    EXPECT_EQ(got.Y, want.Y) << slot;
    EXPECT_EQ(got.XVELOC, want.XVELOC) << slot;
    EXPECT_EQ(got.YVELOC, want.YVELOC) << slot;
    EXPECT_EQ(got.HEALTH, want.HEALTH) << slot;
    EXPECT_EQ(got.SUBDIRECTION, want.SUBDIRECTION) << slot;
    EXPECT_EQ(got.DELTATHETA, want.DELTATHETA) << slot;
    EXPECT_EQ(got.SHOOTING, want.SHOOTING) << slot;
    EXPECT_EQ(got.DIRECTION, want.DIRECTION) << slot;
    EXPECT_EQ(got.CURRENTACCELERATION, want.CURRENTACCELERATION) << slot;
    if (full) {
        EXPECT_EQ(got.GUNTIMER, want.GUNTIMER) << slot;
        EXPECT_EQ(got.DAMAGE, want.DAMAGE) << slot;
        EXPECT_EQ(got.FRAME, want.FRAME) << slot;
        EXPECT_EQ(got.CONNECTED, want.CONNECTED) << slot;
    }
}

struct ROW {
    const char* NAME;
    bool TOSERVER;  // direction, for the whole-message check; the handshake has none
    std::vector<uint8_t> BYTES;
    std::function<void(NETCONNECTION&)> WRITE;
    // Reads the row's bytes (kind included) from the connection and checks
    // what landed; null for the handshake's bare values.
    std::function<void(NETCONNECTION&)> READ;
};

int32_t TAKEKIND(NETCONNECTION& conn) {
    int32_t kind = -99;
    EXPECT_TRUE(NETTAKEINT(conn, kind));
    return kind;
}

std::vector<ROW> ROWS() {
    std::vector<ROW> rows;
    rows.push_back({"handshake code", true, BYTES({0x85, 0xB4, 0x00, 0x00}),
                    [](NETCONNECTION& c) { NETPUTINT(c, AUTHCODE); }, nullptr});
    rows.push_back({"handshake slot", false, BYTES({0x0B, 0x00, 0x00, 0x00}),
                    [](NETCONNECTION& c) { NETPUTINT(c, 11); }, nullptr});
    rows.push_back({"handshake refusal", false, BYTES({0xFF, 0xFF, 0xFF, 0xFF}),
                    [](NETCONNECTION& c) { NETPUTINT(c, AUTHREFUSED); }, nullptr});
    rows.push_back({"handshake name", true, BYTES({0x03, 0x00, 0x00, 0x00, 'A', 'n', 'n'}),
                    [](NETCONNECTION& c) { NETPUTSTR(c, "Ann"); }, [](NETCONNECTION& c) {
                        std::string name;
                        ASSERT_TRUE(NETTAKESTR(c, name));
                        EXPECT_EQ(name, "Ann");
                    }});
    rows.push_back({"READY", true, BYTES({0x01, 0x00, 0x00, 0x00}),
                    [](NETCONNECTION& c) { PROTOWRITEKIND(c, READY); },
                    [](NETCONNECTION& c) { EXPECT_EQ(TAKEKIND(c), READY); }});
    rows.push_back({"GOODBYE", false, BYTES({0x00, 0x00, 0x00, 0x00}),
                    [](NETCONNECTION& c) { PROTOWRITEKIND(c, GOODBYE); },
                    [](NETCONNECTION& c) { EXPECT_EQ(TAKEKIND(c), GOODBYE); }});
    rows.push_back({"CONTROLS", true, GOLDEN().I(2).I(-61).I(11).D(6.5).D(-7.75).B,
                    [](NETCONNECTION& c) { PROTOWRITECONTROLS(c, SAMPLE(1)); }, [](NETCONNECTION& c) {
                        ASSERT_EQ(TAKEKIND(c), CONTROLS);
                        SHIPTYPE ship;
                        ASSERT_TRUE(PROTOREADCONTROLS(c, ship));
                        EXPECT_EQ(ship.CURRENTACCELERATION, -61);
                        EXPECT_EQ(ship.SHOOTING, 11);
                        EXPECT_EQ(ship.SUBDIRECTION, 6.5);
                        EXPECT_EQ(ship.DELTATHETA, -7.75);
                    }});
    rows.push_back({"FULLSTATE", false, FULLSTATEBYTESFOR(SAMPLETABLE()),
                    [](NETCONNECTION& c) { PROTOWRITEFULLSTATE(c, SAMPLETABLE()); }, [](NETCONNECTION& c) {
                        ASSERT_EQ(TAKEKIND(c), FULLSTATE);
                        SHIPTABLE ships{};
                        ASSERT_TRUE(PROTOREADFULLSTATE(c, ships));
                        for (int s = 0; s < MAXPLAYERS; ++s)
                            EXPECTSHIP(ships[static_cast<size_t>(s)], SAMPLE(s), true, s);
                    }});
    rows.push_back({"UPDATE", false, UPDATEBYTESFOR(UPDATETABLE()),
                    [](NETCONNECTION& c) { PROTOWRITEUPDATE(c, UPDATETABLE(), 5); }, [](NETCONNECTION& c) {
                        ASSERT_EQ(TAKEKIND(c), UPDATE);
                        SHIPTABLE ships{};
                        ships[5].SUBDIRECTION = 99;  // the own ship's steering is not in the message
                        ships[4].X = 1234;           // a slot not connected keeps all but CONNECTED
                        ships[4].CONNECTED = 1;
                        ASSERT_TRUE(PROTOREADUPDATE(c, ships, 5));
                        const SHIPTABLE sent = UPDATETABLE();
                        EXPECTSHIP(ships[2], sent[2], false, 2);
                        EXPECT_EQ(ships[2].CONNECTED, 7);
                        EXPECT_EQ(ships[2].PLAYERNAME, "ab");
                        EXPECT_EQ(ships[9].CONNECTED, 1);
                        EXPECT_EQ(ships[9].X, sent[9].X);
                        EXPECT_EQ(ships[5].X, sent[5].X);
                        EXPECT_EQ(ships[5].YVELOC, sent[5].YVELOC);
                        EXPECT_EQ(ships[5].HEALTH, sent[5].HEALTH);
                        EXPECT_EQ(ships[5].SUBDIRECTION, 99);
                        EXPECT_EQ(ships[4].CONNECTED, 0);
                        EXPECT_EQ(ships[4].X, 1234);
                    }});
    rows.push_back({"SHOTFIRED", false, GOLDEN().I(4).I(1000).F(12.5f).F(-3.25f).I(2).I(17).I(640).B,
                    [](NETCONNECTION& c) { PROTOWRITESHOTFIRED(c, 1000, BULLETTYPE{12.5f, -3.25f, 640, 17, 9, 2, 0}); },
                    [](NETCONNECTION& c) {
                        ASSERT_EQ(TAKEKIND(c), SHOTFIRED);
                        BULLETTABLE bullets{};
                        bullets[1000].OWNER = 6;
                        bullets[1000].ANIM = 3;
                        ASSERT_TRUE(PROTOREADSHOTFIRED(c, bullets));
                        const BULLETTYPE& b = bullets[1000];
                        EXPECT_EQ(b.X, 12.5f);
                        EXPECT_EQ(b.Y, -3.25f);
                        EXPECT_EQ(b.SPRITE, 2);
                        EXPECT_EQ(b.DIRECTION, 17);
                        EXPECT_EQ(b.SPEED, 640);
                        EXPECT_EQ(b.OWNER, 6);  // not on the wire: kept
                        EXPECT_EQ(b.ANIM, 3);
                    }});
    rows.push_back({"SHOTGONE", false, BYTES({0x05, 0, 0, 0, 0x00, 0x04, 0, 0}),
                    [](NETCONNECTION& c) { PROTOWRITESHOTGONE(c, 1024); }, [](NETCONNECTION& c) {
                        ASSERT_EQ(TAKEKIND(c), SHOTGONE);
                        BULLETTABLE bullets{};
                        bullets[1024].SPRITE = 3;
                        bullets[1023].SPRITE = 3;
                        ASSERT_TRUE(PROTOREADSHOTGONE(c, bullets));
                        EXPECT_EQ(bullets[1024].SPRITE, 0);
                        EXPECT_EQ(bullets[1023].SPRITE, 3);
                    }});
    for (bool up : {true, false}) {
        const std::string text = up ? "hi" : "\xFE\xFE\xFE" "Ann:hi";
        rows.push_back({up ? "CHAT up" : "CHAT down", up, GOLDEN().I(6).S(text).B,
                        [text](NETCONNECTION& c) { PROTOWRITECHAT(c, text); }, [text](NETCONNECTION& c) {
                            ASSERT_EQ(TAKEKIND(c), CHAT);
                            std::string got;
                            ASSERT_TRUE(PROTOREADCHAT(c, got));
                            EXPECT_EQ(got, text);
                        }});
    }
    rows.push_back({"NAMEINFO", false, BYTES({0x07, 0, 0, 0, 0x04, 0, 0, 0, 0x03, 0, 0, 0, 'B', 'o', 'b'}),
                    [](NETCONNECTION& c) { PROTOWRITENAMEINFO(c, 4, "Bob"); }, [](NETCONNECTION& c) {
                        ASSERT_EQ(TAKEKIND(c), NAMEINFO);
                        SHIPTABLE ships{};
                        ASSERT_TRUE(PROTOREADNAMEINFO(c, ships));
                        EXPECT_EQ(ships[4].PLAYERNAME, "Bob");
                        EXPECT_EQ(ships[3].PLAYERNAME, "");
                    }});
    rows.push_back({"KILLCOUNT", false, BYTES({0x08, 0, 0, 0, 0x03, 0, 0, 0, 0x02, 0, 0, 0}),
                    [](NETCONNECTION& c) { PROTOWRITEKILLCOUNT(c, 3, 2); }, [](NETCONNECTION& c) {
                        ASSERT_EQ(TAKEKIND(c), KILLCOUNT);
                        SHIPTABLE ships{};
                        ASSERT_TRUE(PROTOREADKILLCOUNT(c, ships));
                        EXPECT_EQ(ships[3].KILLS, 2);
                        EXPECT_EQ(ships[2].KILLS, 0);
                    }});
    return rows;
}

}  // namespace

TEST(WireBytes, EveryMessageIsItsGoldenBytesAndReadsBackIntoItsFields) {
    LOOPBACKPAIR pair(17010);
    ASSERT_TRUE(pair.OK);
    for (const ROW& row : ROWS()) {
        SCOPED_TRACE(row.NAME);
        row.WRITE(pair.NEAR);
        EXPECT_EQ(SHIP(pair.NEAR, pair.FAR), row.BYTES);
        const std::string kind = row.NAME;
        if (kind.rfind("handshake", 0) != 0) {
            const int64_t whole = row.TOSERVER ? PROTOTOSERVERLENGTH(row.BYTES.data(), row.BYTES.size())
                                               : PROTOTOCLIENTLENGTH(row.BYTES.data(), row.BYTES.size(), 5);
            EXPECT_EQ(whole, static_cast<int64_t>(row.BYTES.size()));
            const int64_t cut = row.TOSERVER ? PROTOTOSERVERLENGTH(row.BYTES.data(), row.BYTES.size() - 1)
                                             : PROTOTOCLIENTLENGTH(row.BYTES.data(), row.BYTES.size() - 1, 5);
            EXPECT_EQ(cut, 0);
        }
        if (!row.READ) continue;
        pair.NEAR.OUTBUF.insert(pair.NEAR.OUTBUF.end(), row.BYTES.begin(), row.BYTES.end());
        NETFLUSH(pair.NEAR);
        ASSERT_TRUE(NETWAITFOR(pair.FAR, row.BYTES.size()));
        row.READ(pair.FAR);
        EXPECT_EQ(NETUNREAD(pair.FAR), 0u);
    }
    EXPECT_EQ(FULLSTATEBYTESFOR(SAMPLETABLE()).size(), 1348u);
    EXPECT_EQ(UPDATEBYTESFOR(UPDATETABLE()).size(), 104u + (68u + 2u) + 68u);
}
