// What the soak found about memory, pinned down: a connection that a peer
// flooded gives its buffers back when it is detached, so a server slot
// freed after such a peer holds nothing, and neither does a slot's record
// after a long series of players.
#include <gtest/gtest.h>

#include <string>

#include "shared/net.h"
#include "tests/support/child.h"
#include "tests/support/peer.h"

namespace {
uint16_t FREEPORT(uint16_t first) {
    for (uint16_t port = first; port < first + 50; ++port)
        if (PORTFREE(port)) return port;
    return first;
}
}  // namespace

TEST(SlotMemory, ADetachedConnectionHoldsNoBufferAfterAFloodBothWays) {
    LOOPBACKPAIR pair(FREEPORT(29400));
    ASSERT_TRUE(pair.OK);
    // In: the far end sends far more than one pump takes; the near end
    // pulls it all into its input buffer and reads none of it.
    const std::string block(60000, 'x');
    for (int i = 0; i < 30; ++i) NETPUTSTR(pair.FAR, block);
    size_t pulled = 0;
    for (int round = 0; round < 20000 && pulled < 30 * 60004u; ++round) {
        NETFLUSH(pair.FAR);
        pulled += static_cast<size_t>(NETPUMP(pair.NEAR));
    }
    ASSERT_GT(NETUNREAD(pair.NEAR), 1000000u);
    EXPECT_GT(pair.NEAR.INBUF.capacity(), 1000000u);
    // Out: far more queued than the kernel takes while nobody reads.
    for (int i = 0; i < 400 && !pair.NEAR.FAILED && pair.NEAR.OUTBUF.size() < 100000; ++i) {
        NETPUTSTR(pair.NEAR, block);
        NETFLUSH(pair.NEAR);
    }
    EXPECT_GT(pair.NEAR.OUTBUF.capacity(), 100000u);

    SDLNet_SocketSet set = pair.NEAR.SET;  // the record forgets it; we free it
    NETDETACH(pair.NEAR);
    SDLNet_FreeSocketSet(set);
    EXPECT_EQ(pair.NEAR.INBUF.capacity(), 0u);
    EXPECT_EQ(pair.NEAR.OUTBUF.capacity(), 0u);
    EXPECT_EQ(NETUNREAD(pair.NEAR), 0u);
    EXPECT_EQ(pair.NEAR.SOCKET, nullptr);
    // Detaching again, or a record that was never attached, is harmless.
    NETDETACH(pair.NEAR);
    NETCONNECTION fresh;
    EXPECT_EQ(NETDETACH(fresh), 0);
}
