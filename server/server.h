// The server thread's body and the arena set-up. GAMESERVER serves only when
// this process hosts (the host address is "127.0.0.1"); a tick is one
// connection pass, the discovery pass, the ship step, the projectile step,
// one flush of every connection and a 5 ms pause, repeated until QUITLOOP is set.
// Threads: server thread only (the dedicated server's main thread plays that
// role there).
#pragma once

#include <cstdint>

#include "server/announce.h"
#include "server/connections.h"
#include "server/discovery.h"
#include "server/exchange.h"
#include "server/projectiles.h"
#include "server/shipphysics.h"
#include "server/slots.h"

// The thread's entry; SERVEROPTION is not used. Returns at once unless
// ISHOSTADDRESS(VX_HOSTNAME); otherwise sets up the arena, opens the port
// (ending the process with status 1 if it cannot), opens discovery (one
// line on standard error if it cannot) and runs SERVERRUN.
void GAMESERVER(int32_t SERVEROPTION);
// Stars placed at random; every ship slot at rest at (-500, -500) with
// heading 0 and full health.
void SERVERPLACEOBJECTS();
// The tick loop; at least one tick runs, and the loop ends after the tick
// in which it finds QUITLOOP set.
void SERVERRUN();
// One tick without the pause: connection pass, discovery pass, ship step,
// projectile step, flush of every connection.
void SERVERTICK();
// One library send per occupied connection that has output queued.
void SERVERFLUSHALL();
