// Regression tests for faults found while fuzzing the wire: streams a
// hostile player can send, and what every other player must still be able
// to read afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/harness.h"
#include "server/server.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "tests/support/peer.h"

namespace {

std::vector<uint8_t> JOINSTREAM(const std::string& name) {
    std::vector<uint8_t> bytes(8);
    NETWRITEINT(bytes.data(), AUTHCODE);
    NETWRITEINT(bytes.data() + 4, static_cast<int32_t>(name.size()));
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.resize(bytes.size() + 4);
    NETWRITEINT(bytes.data() + bytes.size() - 4, READY);
    return bytes;
}

}  // namespace

// A name of the longest length a peer may send made the join and leave
// lines (" *** NAME entered the game.") longer than any string a client
// reads: every client, the joiner's own included, then took the stream as
// broken and dropped the connection.
TEST(WireRegression, JoinAndLeaveLinesOfTheLongestNameReachOthersReadable) {
    ASSERT_TRUE(FUZZSERVERSTART());
    const std::string name(static_cast<size_t>(NETMAXSTRING), 'n');
    const std::vector<uint8_t> stream = JOINSTREAM(name);
    const FUZZSERVEROUTCOME outcome = FUZZSERVERSTREAM(stream.data(), stream.size());
    EXPECT_EQ(outcome.FIRSTANSWER, 1);
    EXPECT_TRUE(outcome.RELEASED);
    EXPECT_TRUE(outcome.BYSTANDERKEPT);
    EXPECT_TRUE(outcome.READABLE);
    // The bystander reads both lines, cut to the longest string it takes.
    ASSERT_EQ(outcome.BYSTANDERCHAT.size(), 2u);
    EXPECT_EQ(outcome.BYSTANDERCHAT[0], COLOURED(254, 254, 254, " *** " + name).substr(0, name.size()));
    EXPECT_EQ(outcome.BYSTANDERCHAT[1], COLOURED(128, 254, 128, " *** " + name).substr(0, name.size()));
}

// Fifteen players with names of the longest length make an UPDATE of almost
// a megabyte. It was larger than the output a server connection may hold
// (so the server dropped the player it answered) and than the input a
// client buffers (so no client could ever take it whole).
TEST(WireRegression, AnUpdateCarryingFifteenLongestNamesArrivesWhole) {
    PLUGGEDSLOTS slots(31300);
    const std::string longest(static_cast<size_t>(NETMAXSTRING), 'n');
    for (int32_t slot = 0; slot < 15; ++slot) ASSERT_TRUE(slots.PLUG(slot, longest));
    ASSERT_TRUE(slots.PLUG(15, "last"));

    SERVERNETSENDDATAPACKET(15, UPDATE);
    EXPECT_FALSE(SERVERCONNECTIONS[15].FAILED);
    const auto message = slots.NEXT(15);
    ASSERT_EQ(message.first, UPDATE);
    EXPECT_EQ(message.second.size(), 104u + 15u * (68u + static_cast<size_t>(NETMAXSTRING)));

    // The client's own reader takes it and finds every name.
    NETCONNECTION reader;
    reader.INBUF.assign(message.second.begin() + 4, message.second.end());
    SHIPTABLE seen{};
    ASSERT_TRUE(PROTOREADUPDATE(reader, seen, 15));
    for (int32_t slot = 0; slot < 15; ++slot) EXPECT_EQ(seen[static_cast<size_t>(slot)].PLAYERNAME, longest) << slot;
    EXPECT_EQ(NETUNREAD(reader), 0u);
}
