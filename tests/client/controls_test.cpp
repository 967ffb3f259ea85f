#include <gtest/gtest.h>

#include <cmath>

#include "client/controls.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "shared/world.h"
#include "tests/support/peer.h"
#include "tests/support/script.h"
#include "tests/support/screen.h"

namespace {
class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        STARTTESTVIDEO(800, 600);
        RESETCLIENTSTATE();
        USEFAKECLOCK(1000);
        CLIENTCURRENTPLAYERSHIP = 5;
        KELFRAMEPERIOD = 33;
    }
    void TearDown() override { KELUSEREALCLOCK(); }
    SHIPTYPE& OWN() { return CLIENTPLAYERS[5]; }
    SCRATCHDIR SCRATCH;
};

void HOLD(SDLKey key) { PUSHKEY(key, true); }
void RELEASE(SDLKey key) { PUSHKEY(key, false); }
}  // namespace

TEST_F(ControlsTest, KeysSetTheOwnShipsControlsAndTheFramePeriod) {
    OWN().SUBDIRECTION = 12.7;
    OWN().FRAME = 2;
    CLIENTPLAYERS[4].CURRENTACCELERATION = 77;
    HOLD(SDLK_LEFT);
    HOLD(SDLK_RIGHT);
    HOLD(SDLK_UP);
    HOLD(SDLK_DOWN);
    HOLD(SDLK_SPACE);
    CLIENTCONTROLS();
    EXPECT_DOUBLE_EQ(OWN().DELTATHETA, TURNRATE);  // Right wins
    EXPECT_EQ(OWN().CURRENTACCELERATION, -300);    // Down wins: backwards
    EXPECT_EQ(OWN().SHOOTING, 1);
    EXPECT_EQ(OWN().DIRECTION, 12);  // the heading before this frame's turn
    EXPECT_EQ(OWN().FRAME, 0);
    EXPECT_EQ(CLIENTPLAYERS[4].CURRENTACCELERATION, 77);  // only the own ship
    EXPECT_EQ(QUITLOOP.load(), 0);

    RELEASE(SDLK_RIGHT);
    RELEASE(SDLK_DOWN);
    CLIENTCONTROLS();
    EXPECT_DOUBLE_EQ(OWN().DELTATHETA, -TURNRATE);
    EXPECT_EQ(OWN().CURRENTACCELERATION, 300);

    RELEASE(SDLK_LEFT);
    RELEASE(SDLK_UP);
    RELEASE(SDLK_SPACE);
    CLIENTCONTROLS();
    EXPECT_EQ(OWN().DELTATHETA, 0);
    EXPECT_EQ(OWN().CURRENTACCELERATION, 0);
    EXPECT_EQ(OWN().SHOOTING, 0);

    HOLD(SDLK_ESCAPE);
    CLIENTCONTROLS();
    EXPECT_EQ(QUITLOOP.load(), 1);

    HOLD(SDLK_p);
    for (int i = 0; i < 50; ++i) CLIENTCONTROLS();
    EXPECT_EQ(KELFRAMEPERIOD, 83);
    HOLD(SDLK_o);
    CLIENTCONTROLS();
    EXPECT_EQ(KELFRAMEPERIOD, 83);  // both held: no change
    RELEASE(SDLK_p);
    for (int i = 0; i < 90; ++i) CLIENTCONTROLS();
    EXPECT_EQ(KELFRAMEPERIOD, -7);
}

TEST_F(ControlsTest, OnlyTheOwnHeadingIsWrappedOnceEachWayAndDirectionIsLeftAlone) {
    OWN().SUBDIRECTION = 63.9;
    OWN().DELTATHETA = TURNRATE;
    OWN().DIRECTION = 5;
    CLIENTPLAYERS[2].SUBDIRECTION = 63.9;  // another ship turning: not wrapped
    CLIENTPLAYERS[2].DELTATHETA = TURNRATE;
    CLIENTPLAYERS[3].SUBDIRECTION = 0;      // the server would make these 64
    CLIENTPLAYERS[6].SUBDIRECTION = -10;
    CLIENTPLAYERS[6].DIRECTION = 7;
    CLIENTPHYSICS();
    EXPECT_NEAR(OWN().SUBDIRECTION, 63.9 + TURNRATE / 30 - 64, 1e-12);
    EXPECT_NEAR(CLIENTPLAYERS[2].SUBDIRECTION, 63.9 + TURNRATE / 30, 1e-12);
    EXPECT_EQ(CLIENTPLAYERS[3].SUBDIRECTION, 0);
    EXPECT_EQ(CLIENTPLAYERS[6].SUBDIRECTION, -10);
    EXPECT_EQ(CLIENTPLAYERS[6].DIRECTION, 7);
    EXPECT_EQ(OWN().DIRECTION, 5);

    OWN().DELTATHETA = 0;
    OWN().SUBDIRECTION = 0;
    CLIENTPHYSICS();
    EXPECT_EQ(OWN().SUBDIRECTION, 0);
    OWN().SUBDIRECTION = 64;
    CLIENTPHYSICS();
    EXPECT_EQ(OWN().SUBDIRECTION, 64);
}

TEST_F(ControlsTest, ProjectilesFlyAndLeaveAtTheServersBounds) {
    auto PUT = [](size_t i, float x, float y, int32_t direction, int32_t speed) {
        CLIENTBULLETS[i] = BULLETTYPE{x, y, speed, direction, 0, 1, 0};
    };
    PUT(0, 4999.f, 0.f, 0, 0);        // flies on
    PUT(1, 0.f, 4999.f, 0, 0);        // the lower edge is 4999: gone
    PUT(2, 5000.f, 0.f, 0, 0);        // gone
    PUT(3, -5000.f, 0.f, 0, 0);       // gone
    PUT(4, 0.f, -4999.5f, 0, 0);      // flies on
    PUT(5, 100.f, 4990.f, 32, 300);   // moves 10 down to 5000: gone
    PUT(1024, 100.f, 200.f, 16, 300); // moves 10 to the right
    CLIENTBULLETPHYSICS();
    EXPECT_EQ(CLIENTBULLETS[0].SPRITE, 1);
    EXPECT_EQ(CLIENTBULLETS[1].SPRITE, 0);
    EXPECT_EQ(CLIENTBULLETS[2].SPRITE, 0);
    EXPECT_EQ(CLIENTBULLETS[3].SPRITE, 0);
    EXPECT_EQ(CLIENTBULLETS[4].SPRITE, 1);
    EXPECT_EQ(CLIENTBULLETS[5].SPRITE, 0);
    EXPECT_EQ(CLIENTBULLETS[1024].SPRITE, 1);
    EXPECT_NEAR(CLIENTBULLETS[1024].X, 110.f, 1e-3);
    EXPECT_NEAR(CLIENTBULLETS[1024].Y, 200.f, 1e-3);
}

TEST_F(ControlsTest, ReleasingStopsThrustAndTurnTheShipDriftsAndSlows) {
    HOLD(SDLK_UP);
    HOLD(SDLK_RIGHT);
    for (int i = 0; i < 10; ++i) {
        CLIENTCONTROLS();
        CLIENTPHYSICS();
        FAKENOW += 33;
    }
    const double HEADING = OWN().SUBDIRECTION;
    EXPECT_GT(HEADING, 0);
    const double SPEED = std::hypot(OWN().XVELOC, OWN().YVELOC);
    EXPECT_GT(SPEED, 0);

    RELEASE(SDLK_UP);
    RELEASE(SDLK_RIGHT);
    double speed = SPEED;
    for (int i = 0; i < 5; ++i) {
        CLIENTCONTROLS();
        const double x = OWN().X;
        CLIENTPHYSICS();
        FAKENOW += 33;
        const double now = std::hypot(OWN().XVELOC, OWN().YVELOC);
        EXPECT_LT(now, speed);
        EXPECT_GT(now, 0);
        EXPECT_NE(OWN().X, x);
        speed = now;
    }
    EXPECT_DOUBLE_EQ(OWN().SUBDIRECTION, HEADING);
}
