// The dedicated server executable on the game's own port (inside the test's
// private network namespace): it says where it listens, a client joins (in
// the operator's log) and plays, a finder sees it under its --name, a second
// server finds the port taken, and a signal stops it cleanly, telling the
// client goodbye. With discovery's port taken it still serves; a bad
// command line gets the usage.
#include <gtest/gtest.h>

#include <signal.h>

#include "shared/discovery.h"
#include "tests/support/child.h"
#include "tests/support/peer.h"

TEST(DedicatedServer, ServesAPlayerAndStopsCleanlyOnSigterm) {
    CHILDPROCESS child = STARTCHILD(VEXILSERVERPATH, {"--name", "Box"});
    ASSERT_GT(child.PID, 0);
    EXPECT_TRUE(READOUTUNTIL(child, "Vexil! server listening on TCP port 7778 (discovery on UDP port 7778)\n", 10000)) << child.OUTTEXT;
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
    FINDER finder;
    finder.SEND(DISCOVERYWRITEQUERY(9));
    std::vector<uint8_t> got;
    DISCOVERYINFO info;
    EXPECT_TRUE(finder.TAKE(got, 10000) && got.size() <= 1200 && DISCOVERYREADANSWER(got.data(), got.size(), info));
    EXPECT_TRUE(info.TOKEN == 9 && info.NAME == "Box" && info.PLAYERS.size() == 1 && info.PLAYERS[0].NAME == "Ann");
    kill(child.PID, SIGTERM);
    EXPECT_EQ(WAITEXIT(child, 10000), 0);
    EXPECT_TRUE(ann.RUNUNTIL([&] { return ann.GONE; }, 10000));
    READREST(child, 100);
    EXPECT_EQ(child.ERRTEXT, "");
    ENDCHILD(child);
}

TEST(DedicatedServer, ServesWithoutDiscoveryWhenItsPortIsTakenAndRefusesAnUnknownOption) {
    FINDER squatter(7778);
    CHILDPROCESS child = STARTCHILD(VEXILSERVERPATH, {});
    EXPECT_TRUE(READOUTUNTIL(child, "Vexil! server listening on TCP port 7778\ndiscovery: cannot open UDP port 7778 "
                             "(address already in use): server finders will not list this server\n", 10000)) << child.OUTTEXT;
    EXPECT_TRUE(CHILDALIVE(child));
    ENDCHILD(child);
    CHILDPROCESS bad = STARTCHILD(VEXILSERVERPATH, {"--nmae", "Box"});
    EXPECT_EQ(WAITEXIT(bad, 10000), 2);
    READREST(bad, 1000);
    EXPECT_EQ(bad.ERRTEXT, "vexil-server: unknown option '--nmae'\nusage: vexil-server [--name NAME]\n");
    ENDCHILD(bad);
}
