// SERVERPHYSICS: the ship step of the server, composed from the shared
// motion rules, and the ship step's clock.
// Threads: server thread only.
#include "server/shipphysics.h"

#include "main/spine.h"
#include "server/projectiles.h"
#include "server/slots.h"
#include "shared/world.h"

PHYSICSCLOCK SERVERPHYSICSCLOCK;

void SERVERPHYSICS() {
    const double deltat = PHYSICSBEGINSTEP(SERVERPHYSICSCLOCK);
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
        // A slot in its handshake, refusal or closing pause is no ship in
        // play: it keeps its admission values (or where it stood) until it
        // is admitted or freed.
        if (SERVERSLOTSTATES[static_cast<size_t>(slot)].STAGE != SLOTSETTLED) continue;
        SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(slot)];
        const int32_t accelconst1 = ship.CURRENTACCELERATION;
        const int32_t accelconst3 = SHIPTURN(ship, deltat);
        SHIPWRAPHEADING(ship.SUBDIRECTION);
        ship.DIRECTION = SHIPWHOLEHEADING(ship.SUBDIRECTION);
        SHIPMOVE(ship, accelconst1, accelconst3, deltat);
        if (ship.SHOOTING != 0) DEBUGMESSAGE("server::Bullet");
        if (SHIPGUN(ship, deltat))
            SERVERSPAWNPROJECTILE(slot, FLOORINT(ship.SUBDIRECTION), SHIPSHOTSPEED(ship), SHOTSPRITE);
        SHIPDRAG(ship, deltat);
    }
    PHYSICSENDSTEP(SERVERPHYSICSCLOCK);
}
