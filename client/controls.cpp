// Controls of the own ship and the client's motion prediction: CLIENTPHYSICS
// and CLIENTBULLETPHYSICS each keep their own clock pair, one per client
// thread (thread_local, like the client tables). Main thread in the game;
// QUITLOOP is the one thing written here that the server thread reads.
#include "client/controls.h"

#include "main/spine.h"
#include "media/input.h"
#include "media/video.h"
#include "shared/physics.h"
#include "shared/world.h"

namespace {
CLIENTTHREADLOCAL PHYSICSCLOCK SHIPCLOCK;
CLIENTTHREADLOCAL PHYSICSCLOCK BULLETCLOCK;

bool HELD(int32_t code) { return KELMULTIKEY(code) != 0; }

SHIPTYPE* OWNSHIP() {
    if (CLIENTCURRENTPLAYERSHIP < 0 || CLIENTCURRENTPLAYERSHIP >= MAXPLAYERS) return nullptr;
    return &CLIENTPLAYERS[static_cast<size_t>(CLIENTCURRENTPLAYERSHIP)];
}
}  // namespace

void CLIENTSPAWNPROJECTILE(int32_t /*OWNER*/, int32_t /*DIRECTION*/, int32_t /*SPEED*/, int32_t /*SPRITE*/) {}

void CLIENTCONTROLS() {
    SHIPTYPE dummy;
    SHIPTYPE* own = OWNSHIP();
    SHIPTYPE& ship = own != nullptr ? *own : dummy;

    ship.CURRENTACCELERATION = 0;
    ship.FRAME = 0;
    if (HELD(CLIENTKEYSLOWER)) ++KELFRAMEPERIOD;
    if (HELD(CLIENTKEYFASTER)) --KELFRAMEPERIOD;
    ship.DELTATHETA = 0;
    if (HELD(CLIENTKEYLEFT)) ship.DELTATHETA = -TURNRATE;
    if (HELD(CLIENTKEYRIGHT)) ship.DELTATHETA = TURNRATE;
    ship.DIRECTION = FLOORINT(ship.SUBDIRECTION);
    if (HELD(CLIENTKEYUP)) ship.CURRENTACCELERATION = 300;
    if (HELD(CLIENTKEYDOWN)) ship.CURRENTACCELERATION = -300;
    ship.SHOOTING = HELD(CLIENTKEYFIRE) ? 1 : 0;
    if (HELD(CLIENTKEYLEAVE)) QUITLOOP = 1;
}

void CLIENTPHYSICS() {
    const double deltat = PHYSICSBEGINSTEP(SHIPCLOCK);
    SHIPTYPE* own = OWNSHIP();
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
        SHIPTYPE& ship = CLIENTPLAYERS[static_cast<size_t>(slot)];
        const int32_t thrust = ship.CURRENTACCELERATION;
        const int32_t accelconst3 = SHIPTURN(ship, deltat);
        // Only the own ship's heading is kept in range here, once per slot
        // step; the others come wrapped from the server and the renderer.
        if (own != nullptr) SHIPCLIENTWRAPHEADING(own->SUBDIRECTION);
        SHIPMOVE(ship, thrust, accelconst3, deltat);
        if (SHIPGUN(ship, deltat)) {
            CLIENTSPAWNPROJECTILE(slot, FLOORINT(ship.SUBDIRECTION), SHIPSHOTSPEED(ship), SHOTSPRITE);
        }
        SHIPDRAG(ship, deltat);
    }
    PHYSICSENDSTEP(SHIPCLOCK);
}

void CLIENTBULLETPHYSICS() {
    const double deltat = PHYSICSBEGINSTEP(BULLETCLOCK);
    for (BULLETTYPE& bullet : CLIENTBULLETS) {
        if (bullet.SPRITE == 0) continue;
        BULLETMOVE(bullet, deltat);
        if (BULLETOUTOFBOUNDS(bullet)) bullet.SPRITE = 0;
    }
    PHYSICSENDSTEP(BULLETCLOCK);
}

void CLIENTRESETPHYSICSCLOCKS() {
    SHIPCLOCK = PHYSICSCLOCK();
    BULLETCLOCK = PHYSICSCLOCK();
}

std::array<double, 4> CLIENTPHYSICSCLOCKS() {
    return {SHIPCLOCK.LASTTIME, SHIPCLOCK.DELTAT, BULLETCLOCK.LASTTIME, BULLETCLOCK.DELTAT};
}

void CLIENTSETPHYSICSCLOCKS(const std::array<double, 4>& values) {
    SHIPCLOCK = PHYSICSCLOCK{values[0], values[1]};
    BULLETCLOCK = PHYSICSCLOCK{values[2], values[3]};
}
