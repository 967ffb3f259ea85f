// The shared ship and projectile physics, as tables of inputs and results.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shared/physics.h"
#include "media/clock.h"
#include "tests/support/screen.h"

TEST(ShipPhysics, HeadingsWrapForAnyValueAndThrustActsAlongWholeRadians) {
    constexpr double INF = std::numeric_limits<double>::infinity();
    // Server wrap (0 and below go up to 64, any value ends in (0, 64]), then the client's.
    const struct { double IN, SERVER, CLIENT; } wraps[] = {
        {0.0, 64.0, 0.0}, {-0.0, 64.0, 0.0}, {64.0, 64.0, 64.0}, {64.5, 0.5, 0.5}, {130.0, 2.0, 66.0},
        {-10.0, 54.0, 54.0}, {-0.5, 63.5, 63.5}, {1e6 + 0.5, 0.5, -1}, {std::nan(""), 64.0, -1}, {INF, 64.0, -1},
        {-INF, 64.0, -1}, {1e300, -1, -1}, {-1e300, -1, -1}, {1e17, -1, -1}};
    for (const auto& row : wraps) {
        double server = row.IN, client = row.IN;
        SHIPWRAPHEADING(server);
        EXPECT_TRUE(row.SERVER == -1 ? server > 0 && server <= 64 : server == row.SERVER) << row.IN << " " << server;
        if (row.CLIENT != -1) SHIPCLIENTWRAPHEADING(client);
        EXPECT_TRUE(row.CLIENT == -1 || client == row.CLIENT) << row.IN << " " << client;
    }
    EXPECT_TRUE(SHIPWHOLEHEADING(64.0) == 64 && SHIPWHOLEHEADING(63.999) == 63);
    for (const auto& [heading, radians] : {std::pair{0.0, 0}, {5.0, 0}, {5.2, 1}, {15.3, 2}, {56.0, 5}, {56.1, 6}, {64.0, 6}}) {
        SHIPTYPE ship{.SUBDIRECTION = heading, .PLAYERNAME = ""};
        EXPECT_EQ(SHIPTURN(ship, 0.1), radians) << heading;
    }
    SHIPTYPE ship{.SUBDIRECTION = 16, .PLAYERNAME = ""};
    SHIPMOVE(ship, 300, SHIPTURN(ship, 0.1), 0.1);
    EXPECT_NEAR(ship.XACCEL, 272.79, 0.005);
    EXPECT_NEAR(ship.YACCEL, 124.84, 0.005);
    EXPECT_TRUE(std::abs(ship.XVELOC - 27.2789) < 1e-3 && std::abs(ship.X - 1.36395) < 1e-4) << ship.X;
    SHIPTYPE hostile;
    SHIPMOVE(hostile, std::numeric_limits<int32_t>::min(), 0, 0.1);
    EXPECT_GT(hostile.YACCEL, 0);
}

TEST(ShipPhysics, EdgesBounceDragSlowsAndTheGunFiresAtOnceThenEachSecond) {
    // Past an edge (X or Y, either sign) the velocity turns and pushes back one second of it; exactly 5000 is inside.
    const struct { double X, XVELOC, DT, WANTX, WANTV; } edges[] = {
        {4996, 10, 0.5, 4991, -10}, {5001 - 0.3125, 10, 0.03125, 4991, -10}, {-5000.5, -3, 0, -4997.5, 3}, {5000, 10, 0, 5000, 10}};
    for (const auto& row : edges)
        for (bool ony : {false, true}) {  // the same row on the X axis, then on the Y axis
            SHIPTYPE ship{.PLAYERNAME = ""};
            (ony ? ship.Y : ship.X) = row.X, (ony ? ship.YVELOC : ship.XVELOC) = row.XVELOC;
            SHIPMOVE(ship, 0, 0, row.DT);
            const std::vector<double> got{ship.X, ship.XVELOC, ship.Y, ship.YVELOC};
            const std::vector<double> want{ony ? 0 : row.WANTX, ony ? 0 : row.WANTV, ony ? row.WANTX : 0, ony ? row.WANTV : 0};
            EXPECT_EQ(got, want) << row.X << (ony ? " on Y" : " on X");
        }
    SHIPTYPE drift{.XVELOC = 100, .PLAYERNAME = ""};
    SHIPDRAG(drift, 0.5);
    EXPECT_EQ(drift.XVELOC, 80.0);
    // One step idle, then held for 2.5 s in steps of 1/8 s: at once, after 1 s, after 2 s.
    SHIPTYPE gun{.PLAYERNAME = ""};
    std::vector<int> when;
    for (int step = -1; step < 20; gun.SHOOTING = 1, ++step)
        if (SHIPGUN(gun, 0.125)) when.push_back(step);
    EXPECT_EQ(when, (std::vector<int>{0, 8, 16}));
}

TEST(ProjectilePhysics, MotionAndArenaBounds) {
    BULLETTYPE fine{4000.0f, 0.0f, 1, 16, 0, 1, 0}, up{0.0f, 0.0f, 100, 0, 0, 1, 0};  // fine: summed in 64 bits, stored once
    BULLETMOVE(fine, 0.0001), BULLETMOVE(up, 0.5);
    EXPECT_TRUE(fine.X == static_cast<float>(4000.0 + 0.0001) && up.X == 0 && up.Y == -50) << up.Y;
    for (const auto& [x, y, out] : {std::tuple{0.0f, 4999.0f, true}, {4999.0f, 0.0f, false}, {0.0f, 4998.99f, false},
                                    {-5000.0f, 0.0f, true}, {-4999.9f, -4999.9f, false}, {std::nanf(""), 0.0f, true},
                                    {5000.0f, 0.0f, true}, {0.0f, -5000.0f, true}})
        EXPECT_EQ(BULLETOUTOFBOUNDS(BULLETTYPE{x, y, 0, 0, 0, 1, 0}), out) << x << " " << y;
}

// New chat lines push the older ones up; the thirteenth oldest falls off.
TEST(ChatBuffer, NewLinesPushOlderOnesUp) {
    CHATBUFFER lines;
    for (int i = 0; i <= 13; ++i) PUSHCHATLINE(lines, std::to_string(i));
    EXPECT_TRUE(lines[0] == "13" && lines[1] == "12" && lines[12] == "1");
}

// Each physics step's own clock: a fallback step of 1/30 s when no time has
// passed (the first step, or twice in one millisecond), else the time since
// the last step's end on the game clock.
TEST(PhysicsClock, FirstStepFallsBackThenMeasuresTheGameClock) {
    USEFAKECLOCK(1000);
    PHYSICSCLOCK clock;
    const double steps[] = {1.0 / 30.0, 1.0, 0.04, 1.0 / 30.0};
    for (int i = 0; i < 4; FAKENOW += i == 1 ? 40 : 0, PHYSICSENDSTEP(clock), ++i)
        EXPECT_DOUBLE_EQ(PHYSICSBEGINSTEP(clock), steps[i]) << i;
    EXPECT_EQ(clock.LASTTIME, 1040.0);
    KELUSEREALCLOCK();
}
