// Every message of the game pinned by fixed bytes written out by hand from
// the message layouts: each row's bytes must be what its writer produces,
// and fed to its reader they must land in the fields they name. Every field
// carries a value of its own, so two fields swapped on both sides still show.
// Then what readers do with hostile bytes. All on memory connections, in
// the test's thread.
#include <gtest/gtest.h>

#include <tuple>
#include <functional>

#include "tests/support/peer.h"

namespace {

// A memory connection reading IN (when given) and writing to OUT.
void MEMORY(NETCONNECTION& conn, const std::vector<uint8_t>* in, std::vector<uint8_t>* out) {
    NETQUEUEMEMORY(in ? in->data() : nullptr, in ? in->size() : 0, true, out);
    NETATTACH(conn, NETACCEPT(nullptr), nullptr);
}

// Slot S of the sample table: a distinct value in every field.
SHIPTYPE SAMPLE(int s) {
    return SHIPTYPE{.X = 1000.5 + s, .Y = -2000.25 - s, .XVELOC = 300.125 + s, .YVELOC = -400.0 - s, .DAMAGE = 20 + s,
                    .SHOOTING = 10 + s, .FRAME = 40 + s, .DIRECTION = 50 + s, .SUBDIRECTION = 5.5 + s,
                    .DELTATHETA = -6.75 - s, .CURRENTACCELERATION = -60 - s, .GUNTIMER = 0.0625 * (s + 1),
                    .HEALTH = 30 + s, .CONNECTED = 70 + s, .PLAYERNAME = "p" + std::to_string(s)};
}

// For the UPDATE to recipient 5: slot 2 another player named "ab", slot 5
// the recipient's own section, slot 9 connected with an empty name, the
// rest not connected (FULL: every slot as SAMPLE).
SHIPTABLE TABLE(bool full) {
    SHIPTABLE ships;
    for (int s = 0; s < MAXPLAYERS; ++s) ships[static_cast<size_t>(s)] = SAMPLE(s);
    for (int s = 0; s < MAXPLAYERS && !full; ++s) ships[static_cast<size_t>(s)].CONNECTED = s == 2 ? 7 : s == 5 || s == 9;
    ships[2].PLAYERNAME = "ab";
    ships[9].PLAYERNAME = "";
    return ships;
}

std::vector<uint8_t> GOLDENFULLSTATE() {
    GOLDEN g;
    g.I(1);
    for (const SHIPTYPE& p : TABLE(true))
        g.D(p.X).D(p.Y).D(p.XVELOC).D(p.YVELOC).D(p.SUBDIRECTION).D(p.DELTATHETA).D(p.GUNTIMER)
            .I(p.SHOOTING).I(p.DAMAGE).I(p.HEALTH).I(p.FRAME).I(p.DIRECTION).I(p.CURRENTACCELERATION).I(p.CONNECTED);
    return g.B;
}

std::vector<uint8_t> GOLDENUPDATE() {
    GOLDEN g;
    g.I(3);
    const SHIPTABLE ships = TABLE(false);
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

// The fields a ship-table reader fills (FULL: FULLSTATE's too), as one tuple.
auto FIELDS(const SHIPTYPE& p, bool full) {
    return std::tuple(p.X, p.Y, p.XVELOC, p.YVELOC, p.HEALTH, p.SUBDIRECTION, p.DELTATHETA, p.SHOOTING, p.DIRECTION,
                      p.CURRENTACCELERATION, full ? p.GUNTIMER : 0, full ? p.DAMAGE : 0, full ? p.FRAME : 0, full ? p.CONNECTED : 0);
}

struct ROW {
    const char* NAME;
    int32_t KIND;   // -1: a bare handshake value, with no kind and no length check
    bool TOSERVER;
    std::vector<uint8_t> BYTES;
    std::function<void(NETCONNECTION&)> WRITE;
    // Reads the row's body (after its kind) and checks what landed; null for bare values.
    std::function<void(NETCONNECTION&)> READ;
};

std::vector<ROW> ROWS() {
    const std::string down = "\xFE\xFE\xFE" "Ann:hi";
    return {
        {"handshake code", -1, true, BYTES({0x85, 0xB4, 0, 0}), [](NETCONNECTION& c) { NETPUTINT(c, AUTHCODE); }, nullptr},
        {"handshake slot", -1, false, BYTES({0x0B, 0, 0, 0}), [](NETCONNECTION& c) { NETPUTINT(c, 11); }, nullptr},
        {"handshake refusal", -1, false, BYTES({0xFF, 0xFF, 0xFF, 0xFF}), [](NETCONNECTION& c) { NETPUTINT(c, AUTHREFUSED); }, nullptr},
        {"handshake name", -1, true, BYTES({3, 0, 0, 0, 'A', 'n', 'n'}), [](NETCONNECTION& c) { NETPUTSTR(c, "Ann"); }, nullptr},
        {"READY", READY, true, BYTES({1, 0, 0, 0}), [](NETCONNECTION& c) { PROTOWRITEKIND(c, READY); }, [](NETCONNECTION&) {}},
        {"GOODBYE", GOODBYE, false, BYTES({0, 0, 0, 0}), [](NETCONNECTION& c) { PROTOWRITEKIND(c, GOODBYE); }, [](NETCONNECTION&) {}},
        {"CONTROLS", CONTROLS, true, GOLDEN().I(2).I(-61).I(11).D(6.5).D(-7.75).B,
         [](NETCONNECTION& c) { PROTOWRITECONTROLS(c, SAMPLE(1)); },
         [](NETCONNECTION& c) {
             SHIPTYPE ship;
             ASSERT_TRUE(PROTOREADCONTROLS(c, ship));
             EXPECT_EQ(std::tuple(ship.CURRENTACCELERATION, ship.SHOOTING, ship.SUBDIRECTION, ship.DELTATHETA), std::tuple(-61, 11, 6.5, -7.75));
         }},
        {"FULLSTATE", FULLSTATE, false, GOLDENFULLSTATE(), [](NETCONNECTION& c) { PROTOWRITEFULLSTATE(c, TABLE(true)); },
         [](NETCONNECTION& c) {
             SHIPTABLE ships{};
             ASSERT_TRUE(PROTOREADFULLSTATE(c, ships));
             for (int s = 0; s < MAXPLAYERS; ++s) EXPECT_EQ(FIELDS(ships[static_cast<size_t>(s)], true), FIELDS(SAMPLE(s), true)) << s;
         }},
        {"UPDATE", UPDATE, false, GOLDENUPDATE(), [](NETCONNECTION& c) { PROTOWRITEUPDATE(c, TABLE(false), 5); },
         [](NETCONNECTION& c) {
             SHIPTABLE ships{};
             ships[5].SUBDIRECTION = 99;  // the own ship's steering is not in the message
             ships[4].X = 1234;           // a slot not connected keeps all but CONNECTED
             ships[4].CONNECTED = 1;
             ASSERT_TRUE(PROTOREADUPDATE(c, ships, 5));
             const SHIPTABLE sent = TABLE(false);
             EXPECT_EQ(FIELDS(ships[2], false), FIELDS(sent[2], false));
             EXPECT_TRUE(ships[2].CONNECTED == 7 && ships[2].PLAYERNAME == "ab" && ships[9].X == sent[9].X);
             EXPECT_EQ(std::tuple(ships[5].X, ships[5].Y, ships[5].XVELOC, ships[5].YVELOC, ships[5].HEALTH, ships[5].SUBDIRECTION),
                       std::tuple(sent[5].X, sent[5].Y, sent[5].XVELOC, sent[5].YVELOC, sent[5].HEALTH, 99.0));
             EXPECT_TRUE(ships[4].CONNECTED == 0 && ships[4].X == 1234);
         }},
        {"SHOTFIRED", SHOTFIRED, false, GOLDEN().I(4).I(1000).F(12.5f).F(-3.25f).I(2).I(17).I(640).B,
         [](NETCONNECTION& c) { PROTOWRITESHOTFIRED(c, 1000, BULLETTYPE{12.5f, -3.25f, 640, 17, 9, 2, 0}); },
         [](NETCONNECTION& c) {
             BULLETTABLE bullets{};
             bullets[1000].OWNER = 6;  // not on the wire: kept
             ASSERT_TRUE(PROTOREADSHOTFIRED(c, bullets));
             const BULLETTYPE& b = bullets[1000];
             EXPECT_EQ(std::tuple(b.X, b.Y, b.SPRITE, b.DIRECTION, b.SPEED, b.OWNER), std::tuple(12.5f, -3.25f, 2, 17, 640, 6));
         }},
        {"SHOTGONE", SHOTGONE, false, BYTES({5, 0, 0, 0, 0x00, 0x04, 0, 0}), [](NETCONNECTION& c) { PROTOWRITESHOTGONE(c, 1024); },
         [](NETCONNECTION& c) {
             BULLETTABLE bullets{};
             bullets[1024].SPRITE = bullets[1023].SPRITE = 3;
             ASSERT_TRUE(PROTOREADSHOTGONE(c, bullets));
             EXPECT_TRUE(bullets[1024].SPRITE == 0 && bullets[1023].SPRITE == 3);
         }},
        {"CHAT up", CHAT, true, GOLDEN().I(6).S("hi").B, [](NETCONNECTION& c) { PROTOWRITECHAT(c, "hi"); },
         [](NETCONNECTION& c) {
             std::string got;
             EXPECT_TRUE(PROTOREADCHAT(c, got) && got == "hi");
         }},
        {"CHAT down", CHAT, false, GOLDEN().I(6).S(down).B, [down](NETCONNECTION& c) { PROTOWRITECHAT(c, down); },
         [down](NETCONNECTION& c) {
             std::string got;
             EXPECT_TRUE(PROTOREADCHAT(c, got) && got == down);
         }},
        {"NAMEINFO", NAMEINFO, false, BYTES({7, 0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 'B', 'o', 'b'}),
         [](NETCONNECTION& c) { PROTOWRITENAMEINFO(c, 4, "Bob"); },
         [](NETCONNECTION& c) {
             SHIPTABLE ships{};
             ASSERT_TRUE(PROTOREADNAMEINFO(c, ships));
             EXPECT_TRUE(ships[4].PLAYERNAME == "Bob" && ships[3].PLAYERNAME.empty());
         }},
        {"KILLCOUNT", KILLCOUNT, false, BYTES({8, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0}),
         [](NETCONNECTION& c) { PROTOWRITEKILLCOUNT(c, 3, 2); },
         [](NETCONNECTION& c) {
             SHIPTABLE ships{};
             ASSERT_TRUE(PROTOREADKILLCOUNT(c, ships));
             EXPECT_TRUE(ships[3].KILLS == 2 && ships[2].KILLS == 0);
         }},
    };
}

}  // namespace

TEST(WireBytes, EveryMessageIsItsGoldenBytesAndReadsBackIntoItsFields) {
    for (const ROW& row : ROWS()) {
        SCOPED_TRACE(row.NAME);
        std::vector<uint8_t> written;
        NETCONNECTION writer, reader;
        MEMORY(writer, nullptr, &written);
        row.WRITE(writer);
        NETFLUSH(writer);
        EXPECT_EQ(written, row.BYTES);
        // A kind's whole length, and 0 (wait for more) one byte short.
        for (size_t cut = 0; row.KIND != -1 && cut < 2; ++cut)
            EXPECT_EQ(row.TOSERVER ? PROTOTOSERVERLENGTH(row.BYTES.data(), row.BYTES.size() - cut)
                                   : PROTOTOCLIENTLENGTH(row.BYTES.data(), row.BYTES.size() - cut, 5),
                      cut ? 0 : static_cast<int64_t>(row.BYTES.size()));
        if (!row.READ) continue;
        MEMORY(reader, &row.BYTES, nullptr);
        ASSERT_TRUE(NETWAITFOR(reader, row.BYTES.size()));
        int32_t kind = -1;
        EXPECT_TRUE(NETTAKEINT(reader, kind) && kind == row.KIND);
        row.READ(reader);
        EXPECT_EQ(NETUNREAD(reader), 0u);
    }
}

// Indices and slots out of range are read past and change nothing.
TEST(WireHostile, OutOfRangeIndicesAreIgnoredAndBadStringLengthsBreakTheStream) {
    const std::vector<uint8_t> bytes = GOLDEN().I(NAMEINFO).I(16).S("ghost").I(NAMEINFO).I(-1).S("ghost").I(KILLCOUNT).I(1 << 30).I(5)
        .I(SHOTFIRED).I(1025).F(1).F(1).I(1).I(1).I(1).I(SHOTFIRED).I(-2147483647 - 1).F(1).F(1).I(1).I(1).I(1)
        .I(SHOTGONE).I(-1).I(NAMEINFO).I(15).S("real").B;
    NETCONNECTION reader;
    MEMORY(reader, &bytes, nullptr);
    SHIPTABLE ships{};
    BULLETTABLE bullets{};
    bullets[0].SPRITE = 1;
    for (int32_t kind = 0; NETRECVINT(reader, kind);)
        ASSERT_TRUE(kind == NAMEINFO    ? PROTOREADNAMEINFO(reader, ships)
                    : kind == KILLCOUNT ? PROTOREADKILLCOUNT(reader, ships)
                    : kind == SHOTFIRED ? PROTOREADSHOTFIRED(reader, bullets)
                                        : PROTOREADSHOTGONE(reader, bullets));
    for (int s = 0; s < MAXPLAYERS; ++s) EXPECT_EQ(ships[static_cast<size_t>(s)].PLAYERNAME + std::to_string(ships[static_cast<size_t>(s)].KILLS), s == 15 ? "real0" : "0");
    EXPECT_TRUE(bullets[0].SPRITE == 1 && bullets[1024].SPRITE == 0);
    int32_t value = 77;
    SERVERNETSENDMESSAGEINT(16, value);
    SERVERNETSENDMESSAGESTR(-1, "x");
    EXPECT_FALSE(SERVERNETRECIEVEMESSAGEINT(-5, value) || SERVERNETRECIEVEMESSAGEINT(16, value) || value != 77);

    // A huge, negative or too-long string length breaks the stream at once,
    // with nothing allocated and no wait for bytes that will never come.
    for (int32_t length : {2147483647, -5, NETMAXSTRING + 1, NETMAXSTRING}) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> bytes = GOLDEN().I(CHAT).I(length).B;
        const int64_t want = length == NETMAXSTRING ? 0 : -1;
        EXPECT_EQ(PROTOTOSERVERLENGTH(bytes.data(), bytes.size()), want);
        EXPECT_EQ(PROTOTOCLIENTLENGTH(bytes.data(), bytes.size(), 0), want);
        NETCONNECTION reader;
        const std::vector<uint8_t> in = GOLDEN().I(length).I(0x41414141).B;
        MEMORY(reader, &in, nullptr);
        std::string text = "unchanged";
        EXPECT_FALSE(NETRECVSTR(reader, text));
        EXPECT_TRUE(text == "unchanged" && reader.FAILED == (want == -1));
    }
}

// A FULLSTATE or UPDATE whose peer closed inside it leaves the table as it
// was; a whole message before a close is still read.
TEST(WireHostile, AMessageCutShortLeavesTheTableAndWholeOnesStayReadable) {
    for (std::vector<uint8_t> bytes : {GOLDENFULLSTATE(), GOLDENUPDATE()}) {
        const bool full = NETREADINT(bytes.data()) == FULLSTATE;
        bytes.erase(bytes.begin(), bytes.begin() + 4);
        bytes.pop_back();
        NETCONNECTION reader;
        MEMORY(reader, &bytes, nullptr);
        SHIPTABLE seen{};
        seen[5].PLAYERNAME = "kept";
        EXPECT_FALSE(full ? PROTOREADFULLSTATE(reader, seen) : PROTOREADUPDATE(reader, seen, 5)) << full;
        EXPECT_TRUE(seen[2].X == 0 && seen[2].CONNECTED == 0 && seen[5].PLAYERNAME == "kept") << full;
    }
    const std::vector<uint8_t> last = GOLDEN().I(CHAT).S("last words").I(CONTROLS).B;
    NETCONNECTION reader;
    MEMORY(reader, &last, nullptr);
    NETPUMP(reader);
    NETPUMP(reader);
    EXPECT_TRUE(reader.CLOSED && !reader.FAILED && !NETGONE(reader) && PROTOTOSERVERLENGTH(reader) == 18);
    int32_t kind = 0;
    std::string text;
    EXPECT_TRUE(NETTAKEINT(reader, kind) && PROTOREADCHAT(reader, text) && text == "last words");
    EXPECT_FALSE(PROTOTOSERVERLENGTH(reader) != 0 || NETWAITFOR(reader, 28));
}
