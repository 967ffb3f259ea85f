// Regression tests for faults found while fuzzing the wire: every stream the
// fuzzers kept (fuzz/seeds/) and every stream of a mended fault
// (tests/fuzz/inputs/) passes the fuzz targets' checks, and the longest
// message goes out and comes in whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/harness.h"
#include "shared/protocol.h"

// inputs/server/longest-name-join-and-leave.bin: a name of the longest
// length a peer may send made the join and leave lines longer than any
// string a client reads, so every client took the stream as broken.
TEST(WireRegression, EveryKeptStreamPassesTheFuzzChecks) {
    int replayed = 0;
    for (const std::string side : {"server", "client"})
        for (const char* folder : {"/fuzz/seeds/", "/tests/fuzz/inputs/"}) {
            std::error_code missing;  // there are no client inputs yet
            for (const auto& entry : std::filesystem::directory_iterator(VEXIL_SOURCE_DIR + (folder + side), missing)) {
                std::ifstream file(entry.path(), std::ios::binary);
                const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
                EXPECT_STREQ(FUZZSTREAM(side == "client", bytes.data(), bytes.size()), nullptr) << entry.path();
                ++replayed;
            }
        }
    EXPECT_GT(replayed, 500);
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
    int32_t kind = 0;
    ASSERT_EQ(PROTOTOCLIENTLENGTH(client, 15), static_cast<int64_t>(104 + 15 * (68 + NETMAXSTRING)));
    ASSERT_TRUE(NETTAKEINT(client, kind) && kind == UPDATE && PROTOREADUPDATE(client, seen, 15));
    EXPECT_EQ(seen[14].PLAYERNAME, ships[14].PLAYERNAME);
}
