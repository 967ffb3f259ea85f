#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "bots/bot.h"
#include "main/spine.h"
#include "media/video.h"
#include "server/server.h"
#include "shared/physics.h"
#include "tests/support/child.h"
#include "tests/support/peer.h"

namespace {
SHIPTABLE ARENA(double x, double y, double heading) {
    SHIPTABLE ships{};
    ships[2].CONNECTED = 1;
    ships[2].X = x;
    ships[2].Y = y;
    ships[2].SUBDIRECTION = heading;
    return ships;
}

void PUT(SHIPTABLE& ships, int32_t slot, double x, double y) {
    ships[static_cast<size_t>(slot)].CONNECTED = 1;
    ships[static_cast<size_t>(slot)].X = x;
    ships[static_cast<size_t>(slot)].Y = y;
}

struct BOTGROUP {
    ~BOTGROUP() { STOPALL(); }
    BOTTYPE& ADD(const std::string& name, uint32_t seed) {
        auto bot = std::make_unique<BOTTYPE>();
        bot->NAME = name;
        bot->HOST = "127.0.0.1";
        bot->SEED = seed;
        BOTS.push_back(std::move(bot));
        return *BOTS.back();
    }
    void START() {
        for (size_t i = THREADS.size(); i < BOTS.size(); ++i) THREADS.emplace_back(BOTRUN, std::ref(*BOTS[i]));
    }
    void STOPALL() {
        BOTSTOP.store(1);
        for (std::thread& thread : THREADS)
            if (thread.joinable()) thread.join();
        BOTSTOP.store(0);
    }
    std::vector<std::unique_ptr<BOTTYPE>> BOTS;
    std::vector<std::thread> THREADS;
};

uint16_t FREEPORT(uint16_t first) {
    for (uint16_t port = first; port < first + 50; ++port)
        if (PORTFREE(port)) return port;
    return first;
}

bool WAITFOR(const std::function<bool()>& done, int ms) {
    const uint32_t start = NETNOW();
    while (!done()) {
        if (NETNOW() - start >= static_cast<uint32_t>(ms)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class BotPlay : public ::testing::Test {
protected:
    void SetUp() override {
        BOTSTOP.store(0);
        KELEXITSTATUS.store(0);
    }
    void TearDown() override {
        BOTSTOP.store(0);
        QUITLOOP.store(0);
        KELEXITSTATUS.store(0);
    }
};

}  // namespace

TEST(BotSteering, HeadingsAndTurnsFollowTheGameConvention) {
    EXPECT_NEAR(BOTHEADINGTO(0, -10), 0.0, 1e-9);
    EXPECT_NEAR(BOTHEADINGTO(10, 0), 16.0, 1e-9);
    EXPECT_NEAR(BOTHEADINGTO(0, 10), 32.0, 1e-9);
    EXPECT_NEAR(BOTHEADINGTO(-10, 0), 48.0, 1e-9);
    EXPECT_NEAR(BOTHEADINGTO(-10, -10), 56.0, 1e-9);
    for (double h : {0.5, 7.0, 31.9, 40.25, 63.5}) {
        const double r = h * HEADINGTORADIANS;
        EXPECT_NEAR(BOTHEADINGTO(std::sin(r), -std::cos(r)), h, 1e-9) << h;
    }
    EXPECT_NEAR(BOTTURNBY(60, 4), 8.0, 1e-9);
    EXPECT_NEAR(BOTTURNBY(4, 60), -8.0, 1e-9);
    EXPECT_NEAR(BOTTURNBY(64, 0), 0.0, 1e-9);
    EXPECT_EQ(BOTTURNBY(NAN, 3), 0.0);
}

TEST(BotSteering, NearestShipSkipsItselfAndFreeSlots) {
    SHIPTABLE ships = ARENA(0, 0, 0);
    EXPECT_EQ(BOTNEARESTSHIP(ships, 2), -1);
    PUT(ships, 9, 3000, 0);
    PUT(ships, 4, 0, -2000);
    ships[7].X = 10;  // closer, but its slot is free
    ships[7].Y = 10;
    EXPECT_EQ(BOTNEARESTSHIP(ships, 2), 4);
    PUT(ships, 0, -100, 100);
    EXPECT_EQ(BOTNEARESTSHIP(ships, 2), 0);
    ships[0].X = NAN;  // an unreadable position is never chosen
    EXPECT_EQ(BOTNEARESTSHIP(ships, 2), 4);
}

TEST(BotSteering, TurnsThrustsAndFiresTowardTheTarget) {
    BOTMIND mind = BOTNEWMIND(5);
    struct CASE {
        double tx, ty;       // the other ship, our ship at (0, 0) heading up
        double turn;         // expected DELTATHETA
        int32_t thrust;      // expected thrust, or 1 for "300 or none"
        int32_t shooting;
    };
    const CASE cases[] = {
        {2000, 0, TURNRATE, 300, 0},              // far to the right
        {-2000, 0, -TURNRATE, 300, 0},            // far to the left
        {0, -(mind.CLOSE + 10), 0, 1, 1},         // dead ahead, near enough
        {0, -(mind.CLOSE / 2), 0, -300, 1},       // dead ahead, too close
        {0, -(mind.FAR + 500), 0, 300, 1},        // dead ahead, far
        {0, 2000, 0, 300, 0},                     // straight behind: either way round
    };
    for (const CASE& c : cases) {
        SHIPTABLE ships = ARENA(0, 0, 0.2);
        ships[2].SUBDIRECTION = 64.0;  // exactly up, as the server leaves it
        PUT(ships, 11, c.tx, c.ty);
        BOTSTEER(mind, ships, 2, 1000);
        const SHIPTYPE& me = ships[2];
        if (c.ty == 2000) {
            EXPECT_EQ(std::fabs(me.DELTATHETA), TURNRATE);
        } else {
            EXPECT_EQ(me.DELTATHETA, c.turn) << c.tx << "," << c.ty;
        }
        if (c.thrust == 1) {
            EXPECT_TRUE(me.CURRENTACCELERATION == 0 || me.CURRENTACCELERATION == 300);
        } else {
            EXPECT_EQ(me.CURRENTACCELERATION, c.thrust) << c.tx << "," << c.ty;
        }
        EXPECT_EQ(me.SHOOTING, c.shooting) << c.tx << "," << c.ty;
        EXPECT_EQ(me.DIRECTION, 64);
        EXPECT_EQ(me.FRAME, 0);
    }
    SHIPTABLE alone = ARENA(100, 100, 10.5);
    BOTSTEER(mind, alone, 2, 5000);
    EXPECT_EQ(alone[2].CURRENTACCELERATION, 300);
    EXPECT_EQ(alone[2].SHOOTING, 0);
    EXPECT_EQ(alone[2].DIRECTION, 10);
    EXPECT_LE(std::fabs(alone[2].DELTATHETA), TURNRATE);
}

TEST(BotSteering, ClosedLoopTheHeadingSettlesOnTheTargetAndMindsDiffer) {
    BOTMIND mind = BOTNEWMIND(9);
    SHIPTABLE ships = ARENA(0, 0, 0);
    const double r = 40.0 * HEADINGTORADIANS;
    PUT(ships, 5, 1000 * std::sin(r), -1000 * std::cos(r));
    int firing = 0;
    for (int frame = 0; frame < 150; ++frame) {
        BOTSTEER(mind, ships, 2, static_cast<uint32_t>(frame * 33));
        SHIPTURN(ships[2], 0.033);
        SHIPCLIENTWRAPHEADING(ships[2].SUBDIRECTION);
        if (frame >= 120) firing += ships[2].SHOOTING;
    }
    EXPECT_LE(std::fabs(BOTTURNBY(ships[2].SUBDIRECTION, 40.0)), mind.DEADBAND + 1.0);
    EXPECT_EQ(firing, 30);

}

TEST_F(BotPlay, SeveralBotsInOneProcessPlayEachOnItsOwnConnection) {
    const uint16_t port = FREEPORT(29100);
    SERVERTHREAD server(port);
    ASSERT_TRUE(server.RUNNING);
    TESTCLIENT watcher;
    ASSERT_TRUE(watcher.JOIN(port, "watcher"));
    ASSERT_EQ(watcher.SLOT, 0);

    BOTGROUP group;
    group.ADD("alpha", 1);
    group.ADD("beta", 2);
    BOTTYPE& gamma = group.ADD("gamma", 3);
    gamma.CHATLINES = 2;
    group.START();

    ASSERT_TRUE(watcher.RUNUNTIL(
        [&] {
            for (auto& bot : group.BOTS)
                if (bot->UPDATES.load() < 30 || bot->OTHERSSEEN.load() != 3) return false;
            return true;
        },
        20000));
    std::vector<int32_t> slots;
    for (auto& bot : group.BOTS) slots.push_back(bot->SLOT.load());
    std::sort(slots.begin(), slots.end());
    EXPECT_TRUE(std::adjacent_find(slots.begin(), slots.end()) == slots.end());
    for (int32_t slot : slots) EXPECT_TRUE(slot >= 1 && slot < MAXPLAYERS) << slot;

    auto ship = [&](size_t bot) -> SHIPTYPE& { return watcher.PLAYERS[static_cast<size_t>(group.BOTS[bot]->SLOT.load())]; };
    ASSERT_TRUE(watcher.RUNUNTIL(
        [&] { return ship(0).CONNECTED != 0 && ship(1).CONNECTED != 0 && ship(2).CONNECTED != 0; }, 10000));
    EXPECT_EQ(ship(0).PLAYERNAME, "alpha");
    EXPECT_EQ(ship(1).PLAYERNAME, "beta");
    EXPECT_EQ(ship(2).PLAYERNAME, "gamma");
    const SHIPTYPE before = ship(0);
    EXPECT_TRUE(watcher.RUNUNTIL([&] { return ship(0).X != before.X || ship(0).Y != before.Y; }, 5000));
    EXPECT_TRUE(watcher.RUNUNTIL(
        [&] {
            for (auto& bot : group.BOTS)
                if (bot->FRAMESSHOOTING.load() == 0) return false;
            return true;
        },
        10000));
    ASSERT_TRUE(watcher.RUNUNTIL([&] { return gamma.CHATSSENT.load() == 2 && gamma.CHATSSEEN.load() >= 2; }, 10000));
    ASSERT_TRUE(watcher.RUNUNTIL(
        [&] {
            for (const std::string& line : watcher.LINES)
                if (line == COLOURED(254, 254, 254, "gamma:gamma says hello 2")) return true;
            return false;
        },
        10000));

    BOTTYPE& beta = *group.BOTS[1];
    const int32_t betaslot = beta.SLOT.load();
    beta.LEAVE.store(true);
    ASSERT_TRUE(watcher.RUNUNTIL([&] { return beta.ENDED.load(); }, 5000));
    EXPECT_FALSE(beta.DROPPED.load());
    ASSERT_TRUE(watcher.RUNUNTIL(
        [&] { return watcher.PLAYERS[static_cast<size_t>(betaslot)].CONNECTED == 0; }, 10000));
    const uint64_t alphaupdates = group.BOTS[0]->UPDATES.load();
    EXPECT_TRUE(watcher.RUNUNTIL([&] { return group.BOTS[0]->UPDATES.load() > alphaupdates + 10; }, 10000));
    EXPECT_FALSE(group.BOTS[0]->ENDED.load());

    group.STOPALL();
    for (auto& bot : group.BOTS) EXPECT_TRUE(bot->ENDED.load());
    EXPECT_TRUE(watcher.RUNUNTIL(
        [&] { return ship(0).CONNECTED == 0 && ship(1).CONNECTED == 0 && ship(2).CONNECTED == 0; }, 10000));
    EXPECT_EQ(QUITLOOP.load(), 0);  // leaving by choice never stops the process
}

TEST_F(BotPlay, ABotEndsWhenTheServerGoes) {
    {
        SERVERTHREAD server(FREEPORT(29200));
        ASSERT_TRUE(server.RUNNING);
        BOTGROUP group;
        BOTTYPE& bot = group.ADD("delta", 4);
        group.START();
        ASSERT_TRUE(WAITFOR([&] { return bot.UPDATES.load() >= 5; }, 15000));
        server.STOP();
        SERVERRELEASE();
        ASSERT_TRUE(WAITFOR([&] { return bot.ENDED.load(); }, 10000));
        EXPECT_TRUE(bot.DROPPED.load());
        EXPECT_FALSE(bot.FAILED.load());
    }
}
