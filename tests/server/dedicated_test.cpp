// The dedicated server executable on the game's own port (inside the test's
// private network namespace): it says where it listens, a client joins (in
// the operator's log) and plays, a second server finds the port taken, and a signal stops it
// cleanly, telling the client goodbye.
#include <gtest/gtest.h>

#include <signal.h>

#include "tests/support/child.h"
#include "tests/support/peer.h"

TEST(DedicatedServer, ServesAPlayerAndStopsCleanlyOnSigterm) {
    CHILDPROCESS child = STARTCHILD(VEXILSERVERPATH, {});
    ASSERT_GT(child.PID, 0);
    EXPECT_TRUE(READOUTUNTIL(child, "Vexil! server listening on TCP port 7778\n", 10000)) << child.OUTTEXT;
    // A second server finds the port taken: one line, status 1.
    CHILDPROCESS second = STARTCHILD(VEXILSERVERPATH, {});
    EXPECT_EQ(WAITEXIT(second, 10000), 1);
    READREST(second, 1000);
    EXPECT_EQ(second.ERRTEXT, "vexil: cannot listen on TCP port 7778: address already in use\n");
    ENDCHILD(second);
    TESTCLIENT ann;
    ASSERT_TRUE(ann.JOIN(7778, "Ann"));
    EXPECT_EQ(ann.SLOT, 0);
    EXPECT_TRUE(READOUTUNTIL(child, "join: slot 0 \"Ann\" from 127.0.0.1\n", 10000)) << child.OUTTEXT;
    EXPECT_TRUE(ann.RUNUNTIL([&] { return ann.UPDATES >= 3 && ann.PLAYERS[0].PLAYERNAME == "Ann"; }, 10000));
    kill(child.PID, SIGTERM);
    EXPECT_EQ(WAITEXIT(child, 10000), 0);
    EXPECT_TRUE(ann.RUNUNTIL([&] { return ann.GONE; }, 10000));
    READREST(child, 100);
    EXPECT_EQ(child.ERRTEXT, "");
    ENDCHILD(child);
}
