// What the soak found about memory, pinned down: a connection that a peer
// flooded both ways gives its buffers back when it is detached, so a freed
// server slot holds nothing. An in-memory connection; main thread only.
#include <gtest/gtest.h>

#include "shared/net.h"

TEST(SlotMemory, ADetachedConnectionHoldsNoBufferAfterAFloodBothWays) {
    const std::vector<uint8_t> flood(2000000, 'x');
    NETQUEUEMEMORY(flood.data(), flood.size(), false, nullptr);
    NETCONNECTION conn;
    NETATTACH(conn, NETACCEPT(nullptr), nullptr);
    for (int i = 0; i < 10000 && NETUNREAD(conn) < flood.size(); ++i) NETPUMP(conn);
    for (int i = 0; i < 100; ++i) NETPUTSTR(conn, std::string(10000, 'y'));
    ASSERT_GT(NETUNREAD(conn), 1000000u);
    ASSERT_GT(conn.OUTBUF.capacity(), 1000000u);
    NETDETACH(conn);
    EXPECT_EQ(conn.INBUF.capacity(), 0u);
    EXPECT_EQ(conn.OUTBUF.capacity(), 0u);
}
