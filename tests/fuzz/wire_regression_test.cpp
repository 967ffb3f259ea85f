// Regression tests for faults found while fuzzing the wire: streams a
// hostile player can send, and what every other player must still be able
// to read afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/server.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "tests/server/serverharness.h"

// Fifteen players with names of the longest length make an UPDATE of almost
// a megabyte. It was larger than the output a server connection may hold
// (so the server dropped the player it answered) and than the input a
// client buffers (so no client could ever take it whole).
TEST(WireRegression, AnUpdateCarryingFifteenLongestNamesArrivesWhole) {
    PLUGGEDSLOTS slots(37300);
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
