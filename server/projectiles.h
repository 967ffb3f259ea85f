// The server's projectiles: launching, motion, hits, kills and removal.
// Threads: server thread only.
#pragma once

#include <cstdint>

#include "shared/physics.h"

// The projectile step's own clock pair (tests may set DELTAT before a call).
extern PHYSICSCLOCK SERVERBULLETCLOCK;

// Puts a projectile of ship OWNER into the lowest free slot 0..1023 (slot
// 1024 when all of those fly, replacing whatever it held) at the owner's
// position and announces it with SHOTFIRED to every connected player.
void SERVERSPAWNPROJECTILE(int32_t OWNER, int32_t DIRECTION, int32_t SPEED, int32_t SPRITE);
// Moves every projectile in flight, tests it against every connected ship
// but its owner (hit within 68 units of the ship's point (X+34, Y+30), after
// rounding), applies damage, kills and rebirths, and frees projectiles that
// hit something or left the arena.
void SERVERBULLETPHYSICS();
