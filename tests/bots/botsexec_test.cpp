// vexil-bots against vexil-server on the game port (in the test's own
// network namespace): the bots join, fly and fire at ships they only know
// from the server's messages, and leave cleanly on SIGTERM. Main thread only.
#include <gtest/gtest.h>

#include <signal.h>

#include "tests/support/child.h"
#include "tests/support/peer.h"

TEST(BotsExecutable, ThreeBotsJoinPlayAndLeaveCleanly) {
    CHILDPROCESS server = STARTCHILD(VEXILSERVERPATH, {});
    ASSERT_TRUE(READOUTUNTIL(server, "listening on TCP port 7778 ", 10000)) << server.OUTTEXT;
    TESTCLIENT watcher;
    ASSERT_TRUE(watcher.JOIN(7778, "watcher"));
    auto others = [&] {
        int count = 0;
        for (int32_t slot = 0; slot < MAXPLAYERS; ++slot)
            count += slot != watcher.SLOT && watcher.PLAYERS[static_cast<size_t>(slot)].CONNECTED != 0 &&
                     watcher.PLAYERS[static_cast<size_t>(slot)].PLAYERNAME.rfind("robo", 0) == 0;
        return count;
    };
    CHILDPROCESS bots = STARTCHILD(VEXILBOTSPATH, {"--count", "3", "--name", "robo", "localhost"});
    ASSERT_TRUE(watcher.RUNUNTIL([&] { return others() == 3; }, 30000)) << others();
    // A bot fires only when aimed at another ship, which it knows from UPDATEs alone.
    EXPECT_TRUE(watcher.RUNUNTIL([&] { return watcher.SHOTSFIRED.size() >= 3; }, 20000));
    kill(bots.PID, SIGTERM);
    EXPECT_EQ(WAITEXIT(bots, 10000), 0);
    READREST(bots, 1000);
    EXPECT_NE(bots.OUTTEXT.find("vexil-bots: 3 played, 0 could not join, 0 dropped by the server\n"), std::string::npos) << bots.OUTTEXT;
    EXPECT_EQ(bots.ERRTEXT, "");
    EXPECT_TRUE(watcher.RUNUNTIL([&] { return others() == 0; }, 15000));
    kill(server.PID, SIGTERM);
    EXPECT_EQ(WAITEXIT(server, 10000), 0);
}
