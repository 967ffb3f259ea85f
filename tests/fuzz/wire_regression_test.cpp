// Regression tests for faults found while fuzzing the wire: every stream the
// fuzzers kept and every stream of a mended fault (both in fuzz/seeds/)
// passes the fuzz targets' checks, and the longest message goes out and
// comes in whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "shared/protocol.h"

// The harness of the fuzz targets (fuzz/harness.cpp): null when every check holds.
const char* FUZZSTREAM(bool client, const uint8_t* data, size_t size);
const char* FUZZREPLAY(const uint8_t* data, size_t size);

// seeds/server/longest-name-join-and-leave: a name of the longest length a
// peer may send made the join and leave lines longer than any string a
// client reads, so every client took the stream as broken.
TEST(WireRegression, EveryKeptStreamPassesTheFuzzChecks) {
    for (const std::string side : {"server", "client"})
        for (const auto& entry : std::filesystem::directory_iterator(VEXIL_SOURCE_DIR "/fuzz/seeds/" + side)) {
            const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(std::ifstream(entry.path(), std::ios::binary).rdbuf()), {});
            EXPECT_STREQ(FUZZSTREAM(side == "client", bytes.data(), bytes.size()), nullptr) << entry.path();
        }
    for (const auto& entry : std::filesystem::directory_iterator(VEXIL_SOURCE_DIR "/fuzz/seeds/replay")) {
        const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(std::ifstream(entry.path(), std::ios::binary).rdbuf()), {});
        EXPECT_STREQ(FUZZREPLAY(bytes.data(), bytes.size()), nullptr) << entry.path();
    }
}

// Fifteen players with names of the longest length make an UPDATE of almost
// a megabyte. It was larger than the output a connection may hold (so the
// server dropped the player it answered) and than the input a client
// buffers (so no client could ever take it whole).
TEST(WireRegression, AnUpdateCarryingFifteenLongestNamesArrivesWhole) {
    SHIPTABLE ships{}, seen{};
    for (SHIPTYPE& ship : ships) ship.CONNECTED = 1, ship.PLAYERNAME.assign(static_cast<size_t>(NETMAXSTRING), 'n');
    std::vector<uint8_t> wire;
    NETCONNECTION server, client;
    NETQUEUEMEMORY(nullptr, 0, false, &wire);
    NETATTACH(server, NETACCEPT(nullptr), nullptr);
    PROTOWRITEUPDATE(server, ships, 15);
    NETFLUSH(server);
    NETQUEUEMEMORY(wire.data(), wire.size(), true, nullptr);
    NETATTACH(client, NETOPEN(nullptr), nullptr);
    NETPUMP(client);
    ASSERT_EQ(PROTOTOCLIENTLENGTH(client, 15), static_cast<int64_t>(104 + 15 * (68 + NETMAXSTRING)));
    NETSKIP(client, 4);
    EXPECT_TRUE(PROTOREADUPDATE(client, seen, 15) && seen[14].PLAYERNAME == ships[14].PLAYERNAME);
}
