// SERVERSPAWNPROJECTILE and SERVERBULLETPHYSICS, and the projectile step's
// clock.
// Threads: server thread only.
#include "server/projectiles.h"

#include <array>
#include <cmath>

#include "main/spine.h"
#include "server/announce.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

PHYSICSCLOCK SERVERBULLETCLOCK;

namespace {
constexpr int32_t HITOFFSETX = 34;
constexpr int32_t HITOFFSETY = 30;
constexpr int64_t HITDISTANCE = 68;
constexpr int32_t HITDAMAGE = 33;
constexpr int32_t FULLHEALTH = 100;
constexpr int32_t OVERFLOWSLOT = MAXBULLETS - 1;  // used when 0..1023 are all in flight

}  // namespace

void SERVERSPAWNPROJECTILE(int32_t OWNER, int32_t DIRECTION, int32_t SPEED, int32_t SPRITE) {
    if (!PROTOVALIDSLOT(OWNER)) return;
    int32_t index = OVERFLOWSLOT;
    for (int32_t i = 0; i < OVERFLOWSLOT; ++i)
        if (SERVERBULLETS[static_cast<size_t>(i)].SPRITE == 0) {
            index = i;
            break;
        }
    BULLETTYPE& bullet = SERVERBULLETS[static_cast<size_t>(index)];
    const SHIPTYPE& owner = SERVERPLAYERS[static_cast<size_t>(OWNER)];
    bullet.OWNER = OWNER;
    bullet.SPRITE = SPRITE;
    bullet.DIRECTION = DIRECTION;
    bullet.SPEED = SPEED;
    bullet.X = static_cast<float>(owner.X);
    bullet.Y = static_cast<float>(owner.Y);
    SERVERFOREACHCONNECTED([&](int32_t slot) {
        DEBUGMESSAGE("Sending message to player");
        PROTOWRITESHOTFIRED(SERVERCONNECTIONS[static_cast<size_t>(slot)], index, bullet);
        DEBUGMESSAGE("speed ok");
    });
}

void SERVERBULLETPHYSICS() {
    const double deltat = PHYSICSBEGINSTEP(SERVERBULLETCLOCK);
    // Each ship's hit point, rounded once per step instead of once per
    // projectile; a ship reborn during the step gets its new point at once.
    std::array<int32_t, MAXPLAYERS> HITX{};
    std::array<int32_t, MAXPLAYERS> HITY{};
    const auto PLACEHITPOINT = [&](int32_t slot) {
        const SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(slot)];
        HITX[static_cast<size_t>(slot)] = ROUNDEVEN(ship.X + HITOFFSETX);
        HITY[static_cast<size_t>(slot)] = ROUNDEVEN(ship.Y + HITOFFSETY);
    };
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) PLACEHITPOINT(slot);

    for (int32_t index = 0; index < MAXBULLETS; ++index) {
        BULLETTYPE& bullet = SERVERBULLETS[static_cast<size_t>(index)];
        if (bullet.SPRITE == 0) continue;
        BULLETMOVE(bullet, deltat);
        // The projectile does not move while it is tested against the ships.
        const int32_t X2 = ROUNDEVEN(bullet.X);
        const int32_t Y2 = ROUNDEVEN(bullet.Y);
        for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
            SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(slot)];
            // A ship still in its handshake is not in play yet.
            if (slot == bullet.OWNER || !SERVERSLOTINPLAY(slot)) continue;
            // Whole-number distance test: sqrt(dx^2 + dy^2) <= 68 holds exactly
            // when dx^2 + dy^2 <= 68^2. Differences in 64 bits, and anything
            // more than 68 apart on one axis is rejected before squaring, so
            // saturated coordinates can neither overflow nor lose precision.
            const int64_t dx = static_cast<int64_t>(HITX[static_cast<size_t>(slot)]) - X2;
            const int64_t dy = static_cast<int64_t>(HITY[static_cast<size_t>(slot)]) - Y2;
            if (dx > HITDISTANCE || dx < -HITDISTANCE || dy > HITDISTANCE || dy < -HITDISTANCE) continue;
            if (dx * dx + dy * dy > HITDISTANCE * HITDISTANCE) continue;
            // The freed projectile stays where it is for the remaining
            // ships, so one shot can hit several ships in one step.
            bullet.SPRITE = 0;
            SERVERFOREACHCONNECTED(
                [&](int32_t recipient) { PROTOWRITESHOTGONE(SERVERCONNECTIONS[static_cast<size_t>(recipient)], index); });
            ship.HEALTH = ship.HEALTH - HITDAMAGE;
            if (ship.HEALTH < 0) {
                const int32_t killer = bullet.OWNER;
                if (PROTOVALIDSLOT(killer)) SERVERPLAYERS[static_cast<size_t>(killer)].KILLS += 1;
                SERVERDEATHMESSAGE(slot, killer);
                ship.HEALTH = FULLHEALTH;
                ship.X = RANDOMARENACOORDINATE();
                ship.Y = RANDOMARENACOORDINATE();
                PLACEHITPOINT(slot);
            }
        }
        if (BULLETOUTOFBOUNDS(bullet)) bullet.SPRITE = 0;
    }
    PHYSICSENDSTEP(SERVERBULLETCLOCK);
}
