#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "media/clock.h"
#include "shared/physics.h"
#include "tests/support/screen.h"

namespace {
bool SERVERSTEP(SHIPTYPE& ship, double deltat) {
    const int32_t thrust = ship.CURRENTACCELERATION;
    const int32_t accelconst3 = SHIPTURN(ship, deltat);
    SHIPWRAPHEADING(ship.SUBDIRECTION);
    ship.DIRECTION = SHIPWHOLEHEADING(ship.SUBDIRECTION);
    SHIPMOVE(ship, thrust, accelconst3, deltat);
    const bool fired = SHIPGUN(ship, deltat);
    SHIPDRAG(ship, deltat);
    return fired;
}
}  // namespace

TEST(ShipPhysics, ThrustActsAlongWholeRadians) {
    const struct {
        double heading;
        int32_t radians;
    } table[] = {{5.0, 0}, {5.2, 1}, {15.3, 2}, {56.0, 5}, {56.1, 6}, {64.0, 6}};
    for (const auto& row : table) {
        SHIPTYPE ship;
        ship.SUBDIRECTION = row.heading;
        EXPECT_EQ(SHIPTURN(ship, 0.1), row.radians) << row.heading;
    }

    SHIPTYPE ship;
    ship.SUBDIRECTION = 16;
    SHIPMOVE(ship, 300, SHIPTURN(ship, 0.1), 0.1);
    EXPECT_NEAR(ship.XACCEL, 272.79, 0.005);
    EXPECT_NEAR(ship.YACCEL, 124.84, 0.005);
    EXPECT_NEAR(ship.X, 0.005 * 272.789, 1e-3);
    EXPECT_NEAR(ship.XVELOC, 27.2789, 1e-3);

    // Thrust direction is taken before the wrap: heading 0 thrusts up, then at 6 radians.
    SHIPTYPE zero;
    zero.SUBDIRECTION = 0;
    zero.CURRENTACCELERATION = 300;
    SERVERSTEP(zero, 0.1);
    EXPECT_EQ(zero.SUBDIRECTION, 64.0);
    EXPECT_EQ(zero.DIRECTION, 64);
    EXPECT_DOUBLE_EQ(zero.YACCEL, -300.0);
    SERVERSTEP(zero, 0.1);
    EXPECT_NEAR(zero.XACCEL, 300 * std::sin(6.0), 1e-9);

    SHIPTYPE hostile;
    SHIPMOVE(hostile, std::numeric_limits<int32_t>::min(), 0, 0.1);
    EXPECT_GT(hostile.YACCEL, 0);
}

TEST(ShipPhysics, HeadingWrapEndsForAnyValue) {
    const struct {
        double in, out;
    } wraps[] = {{0.0, 64.0}, {-0.0, 64.0}, {64.0, 64.0}, {0.5, 0.5}, {130.0, 2.0}, {-10.0, 54.0}, {1e6 + 0.5, 0.5}};
    for (const auto& row : wraps) {
        double heading = row.in;
        SHIPWRAPHEADING(heading);
        EXPECT_EQ(heading, row.out) << row.in;
    }
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        double heading = bad;
        SHIPWRAPHEADING(heading);
        EXPECT_EQ(heading, 64.0);
    }
    for (double huge : {1e300, -1e300, 1e17, std::numeric_limits<double>::max()}) {
        double heading = huge;
        SHIPWRAPHEADING(heading);
        EXPECT_GT(heading, 0.0) << huge;
        EXPECT_LE(heading, 64.0) << huge;
    }
    // The client's wrap leaves 0 and 64 alone.
    const struct {
        double in, out;
    } client[] = {{0.0, 0.0}, {64.0, 64.0}, {64.5, 0.5}, {-0.5, 63.5}};
    for (const auto& row : client) {
        double heading = row.in;
        SHIPCLIENTWRAPHEADING(heading);
        EXPECT_EQ(heading, row.out) << row.in;
    }
    EXPECT_EQ(SHIPWHOLEHEADING(64.0), 64);
    EXPECT_EQ(SHIPWHOLEHEADING(63.999), 63);
}

TEST(ShipPhysics, EdgeBounceAndDrag) {
    // X reaches 5001 with XVELOC 10: velocity turns, pushed back one second of it.
    for (double deltat : {0.5, 0.03125}) {
        SHIPTYPE ship;
        ship.X = 5001 - 10 * deltat;
        ship.XVELOC = 10;
        SHIPMOVE(ship, 0, 0, deltat);
        EXPECT_EQ(ship.XVELOC, -10.0);
        EXPECT_EQ(ship.X, 4991.0);
    }
    SHIPTYPE low;
    low.Y = -5000.5;
    low.YVELOC = -3;
    SHIPMOVE(low, 0, 0, 0.0);
    EXPECT_EQ(low.YVELOC, 3.0);
    EXPECT_EQ(low.Y, -4997.5);
    SHIPTYPE onedge;  // exactly 5000 is still inside
    onedge.X = 5000;
    onedge.XVELOC = 0;
    SHIPMOVE(onedge, 0, 0, 0.1);
    EXPECT_EQ(onedge.X, 5000.0);

    SHIPTYPE drift;
    drift.XVELOC = 100;
    drift.YVELOC = -50;
    SHIPDRAG(drift, 0.5);
    EXPECT_DOUBLE_EQ(drift.XVELOC, 80.0);
    EXPECT_DOUBLE_EQ(drift.YVELOC, -40.0);
}

TEST(ShipPhysics, GunFiresAtOnceThenEachFullSecond) {
    SHIPTYPE ship;
    ship.SHOOTING = 0;
    EXPECT_FALSE(SHIPGUN(ship, 0.125));
    EXPECT_EQ(ship.GUNTIMER, 29.0);

    // Held for 2.5 s in steps of 1/8 s: at once, after 1 s, after 2 s.
    ship.SHOOTING = 1;
    std::vector<int> when;
    for (int step = 0; step < 20; ++step)
        if (SHIPGUN(ship, 0.125)) when.push_back(step);
    EXPECT_EQ(when, (std::vector<int>{0, 8, 16}));

    SHIPTYPE tap;
    tap.GUNTIMER = 29;
    tap.SHOOTING = 1;
    int tapshots = SHIPGUN(tap, 0.03) ? 1 : 0;
    tap.SHOOTING = 0;
    for (int i = 0; i < 100; ++i) tapshots += SHIPGUN(tap, 0.03) ? 1 : 0;
    EXPECT_EQ(tapshots, 1);

    SHIPTYPE moving;
    moving.XVELOC = 3;
    moving.YVELOC = -4;
    EXPECT_EQ(SHIPSHOTSPEED(moving), 505);
    moving.XVELOC = 0.5;
    moving.YVELOC = 0;
    EXPECT_EQ(SHIPSHOTSPEED(moving), 500);  // 500.5 rounds to even
    moving.XVELOC = 1.5;
    EXPECT_EQ(SHIPSHOTSPEED(moving), 502);
}

TEST(ProjectilePhysics, MotionAndArenaBounds) {
    BULLETTYPE right{0.0f, 0.0f, 600, 16, 0, 1, 0};
    BULLETMOVE(right, 0.5);
    EXPECT_FLOAT_EQ(right.X, 300.0f);
    EXPECT_NEAR(right.Y, 0.0f, 1e-6);
    // Summed in 64 bits and stored once.
    BULLETTYPE fine{4000.0f, 0.0f, 1, 16, 0, 1, 0};
    BULLETMOVE(fine, 0.0001);
    EXPECT_EQ(fine.X, static_cast<float>(4000.0 + 0.0001));

    auto at = [](float x, float y) { return BULLETTYPE{x, y, 0, 0, 0, 1, 0}; };
    EXPECT_TRUE(BULLETOUTOFBOUNDS(at(0, 4999.0f)));
    EXPECT_FALSE(BULLETOUTOFBOUNDS(at(4999.0f, 0)));
    EXPECT_FALSE(BULLETOUTOFBOUNDS(at(0, 4998.99f)));
    EXPECT_TRUE(BULLETOUTOFBOUNDS(at(-5000.0f, 0)));
    EXPECT_FALSE(BULLETOUTOFBOUNDS(at(-4999.9f, -4999.9f)));
    EXPECT_TRUE(BULLETOUTOFBOUNDS(at(std::nanf(""), 0)));
}

TEST(PhysicsClock, FirstStepFallsBackThenMeasuresTheGameClock) {
    USEFAKECLOCK(1000);
    PHYSICSCLOCK clock;
    EXPECT_DOUBLE_EQ(PHYSICSBEGINSTEP(clock), 1.0 / 30.0);
    PHYSICSENDSTEP(clock);
    EXPECT_DOUBLE_EQ(PHYSICSBEGINSTEP(clock), 1.0);
    FAKENOW += 40;
    PHYSICSENDSTEP(clock);
    EXPECT_DOUBLE_EQ(PHYSICSBEGINSTEP(clock), 0.04);
    PHYSICSENDSTEP(clock);  // same millisecond: falls back again
    EXPECT_DOUBLE_EQ(PHYSICSBEGINSTEP(clock), 1.0 / 30.0);
    EXPECT_EQ(clock.LASTTIME, 1040.0);
    KELUSEREALCLOCK();
}
