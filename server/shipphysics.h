// The server's authoritative ship step over all sixteen slots.
// Threads: server thread only.
#pragma once

#include "shared/physics.h"

// The step's own clock pair (tests may set DELTAT before a call).
extern PHYSICSCLOCK SERVERPHYSICSCLOCK;

// Turns, moves, bounces, fires and slows every ship slot, connected or not,
// by the time since the previous call.
void SERVERPHYSICS();
