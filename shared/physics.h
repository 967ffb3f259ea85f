// The motion rules of ships and projectiles, written once for the server's
// authoritative step and the client's prediction. Each side composes its
// per-ship step from these pieces:
//
//   server, per slot:                      client, per slot:
//     c3 = SHIPTURN(ship, dt)                c3 = SHIPTURN(ship, dt)
//     SHIPWRAPHEADING(ship.SUBDIRECTION)     SHIPCLIENTWRAPHEADING(own ship's SUBDIRECTION)
//     ship.DIRECTION = SHIPWHOLEHEADING(..)  (no DIRECTION)
//     SHIPMOVE(ship, thrust, c3, dt)         SHIPMOVE(ship, thrust, c3, dt)
//     if SHIPGUN(ship, dt): fire             SHIPGUN(ship, dt) (fires nothing)
//     SHIPDRAG(ship, dt)                     SHIPDRAG(ship, dt)
//
// where thrust is the ship's CURRENTACCELERATION read at the start of the
// slot's step. Projectiles: BULLETMOVE, then (server only) the hit test, then
// BULLETOUTOFBOUNDS.
//
// Each physics operation keeps its own PHYSICSCLOCK: PHYSICSBEGINSTEP at the
// start of a call gives the step in seconds, PHYSICSENDSTEP at its end
// measures the next one from the game clock (KELGETTICKS, media/clock.h).
// Threads: none of their own; the server thread runs them on the server
// tables, the main thread on the client tables.
#pragma once

#include <cstdint>

#include "shared/world.h"

constexpr double FALLBACKSTEP = 1.0 / 30.0;  // step used when the measured one is not positive
constexpr double GUNINTERVAL = 1.0;          // seconds between shots while fire is held
constexpr double GUNIDLE = 29.0;             // gun timer while fire is not held
constexpr double DRAGFACTOR = 0.4;           // share of the velocity lost per second
constexpr int32_t SHOTBASESPEED = 500;       // projectile speed on top of the ship's
constexpr int32_t SHOTSPRITE = 1;            // image selector of every projectile fired
constexpr double HEADINGTURN = 64.0;         // heading units in a full turn

// A physics operation's private clock: LASTTIME is the game clock (ms) at
// the end of the previous call, DELTAT the step (s) for the next call. Both
// start at 0, so the first call uses FALLBACKSTEP and the second the whole
// time since the clock started.
struct PHYSICSCLOCK {
    double LASTTIME = 0;
    double DELTAT = 0;
};

// Start of a call: a DELTAT of 0 or less becomes FALLBACKSTEP. Returns DELTAT.
double PHYSICSBEGINSTEP(PHYSICSCLOCK& clock);
// End of a call: DELTAT = (clock - LASTTIME) / 1000, then LASTTIME = the
// clock read a second time.
void PHYSICSENDSTEP(PHYSICSCLOCK& clock);

// Turn: returns ACCELCONST3, the thrust direction in WHOLE radians, taken as
// (SUBDIRECTION + DELTAT * DELTATHETA) * pi/32 rounded half to even before
// any wrap; then advances SUBDIRECTION by DELTAT * DELTATHETA.
int32_t SHIPTURN(SHIPTYPE& ship, double deltat);

// The server's heading wrap: while above 64 subtract 64, then while 0 or
// below add 64, so the heading ends in (0, 64] and exactly 0 becomes 64.
// Headings a real client sends behave exactly so; a heading that is not a
// finite number becomes 64, and one so far outside the range that the
// subtraction loop would run long is first brought near it by a remainder,
// so the wrap always ends quickly.
void SHIPWRAPHEADING(double& subdirection);
// The client's wrap of its own heading: one test each way, above 64 subtract
// 64, then below 0 add 64 (0 and 64 stay as they are).
void SHIPCLIENTWRAPHEADING(double& subdirection);
// DIRECTION from a wrapped heading: floor of its absolute value.
int32_t SHIPWHOLEHEADING(double subdirection);

// Acceleration from THRUST along ACCELCONST3 radians; position moved with
// the velocity from before the step; velocity; then the four edge tests
// (X > 5000, X < -5000, Y > 5000, Y < -5000), each negating that velocity
// and pushing the ship back by one whole second of it.
void SHIPMOVE(SHIPTYPE& ship, int32_t thrust, int32_t accelconst3, double deltat);

// Gun timer. With SHOOTING set: GUNTIMER += DELTAT and, at GUNINTERVAL or
// more, returns true (fire) and sets GUNTIMER to 0. Without: GUNTIMER =
// GUNIDLE and returns false. So a held key fires at once, then every full
// second.
bool SHIPGUN(SHIPTYPE& ship, double deltat);
// Speed of a shot fired now: |velocity| + 500, rounded half to even.
int32_t SHIPSHOTSPEED(const SHIPTYPE& ship);

// Drag: each velocity component loses DRAGFACTOR of itself per second.
void SHIPDRAG(SHIPTYPE& ship, double deltat);

// Moves a projectile SPEED units/s along DIRECTION for DELTAT seconds; the
// products are formed in 64 bits and the position stored as 32-bit floats.
void BULLETMOVE(BULLETTYPE& bullet, double deltat);
// True when the projectile has left the arena: X >= 5000, X <= -5000,
// Y >= 4999 or Y <= -5000 (the lower edge is 4999). A position that is not
// a finite number also counts as gone, so it cannot hold its slot forever.
bool BULLETOUTOFBOUNDS(const BULLETTYPE& bullet);
