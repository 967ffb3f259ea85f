// The bot's decisions, one frame at a time: whom it steers at, which way it
// turns, when it thrusts, backs off and fires. Main thread only.
#include <gtest/gtest.h>

#include <cmath>

#include "bots/bot.h"

TEST(BotSteering, TurnsThrustsAndFiresAsTheTargetLies) {
    struct ROW {
        double bearing, distance;  // of the one other ship, in heading units from straight up; NAN: alone
        double heading;            // of our own ship at (0, 0)
        double turn;               // DELTATHETA, or NAN: any turn up to TURNRATE either way
        int32_t thrust;            // CURRENTACCELERATION, or 1: 0 or 300 (a burst now and then)
        int32_t shooting;
    };
    const ROW rows[] = {
        {16, 2000, 64.0, TURNRATE, 300, 0},    // far to the right (64 is straight up too)
        {48, 2000, 0.0, -TURNRATE, 300, 0},    // far to the left
        {0, 260, 64.0, 0, 1, 1},               // dead ahead at a middle distance
        {0, 100, 0.0, 0, -300, 1},             // dead ahead, too close: backs off
        {0, 1500, 0.0, 0, 300, 1},             // dead ahead, far
        {2, 500, 0.0, TURNRATE, 1, 1},         // a little off: turns and still fires
        {62, 500, 2.0, -TURNRATE, 1, 0},       // the short way across the wrap, off aim
        {NAN, 0, 10.5, NAN, 300, 0},           // alone: wanders with thrust, never fires
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        const ROW& row = rows[i];
        SHIPTABLE ships{};
        ships[2].CONNECTED = 1;
        ships[2].SUBDIRECTION = row.heading;
        ships[2].FRAME = 5;
        ships[7].X = ships[7].Y = 10;  // nearer, but a free slot
        ships[0].CONNECTED = 1;        // connected with an unreadable position
        ships[0].X = NAN;
        if (!std::isnan(row.bearing)) {
            ships[11].CONNECTED = 1;
            ships[11].X = row.distance * std::sin(row.bearing * HEADINGTORADIANS);
            ships[11].Y = -row.distance * std::cos(row.bearing * HEADINGTORADIANS);
        }
        BOTMIND mind;  // the default limits: aim 3, dead band 0.6, close 250, far 700
        BOTSTEER(mind, ships, 2, 1000);
        const SHIPTYPE& me = ships[2];
        if (std::isnan(row.turn)) EXPECT_LE(std::fabs(me.DELTATHETA), TURNRATE);
        else EXPECT_EQ(me.DELTATHETA, row.turn);
        if (row.thrust == 1) EXPECT_TRUE(me.CURRENTACCELERATION == 0 || me.CURRENTACCELERATION == 300);
        else EXPECT_EQ(me.CURRENTACCELERATION, row.thrust);
        EXPECT_EQ(me.SHOOTING, row.shooting);
        EXPECT_EQ(me.DIRECTION, static_cast<int32_t>(row.heading));
        EXPECT_EQ(me.FRAME, 0);
    }
}
