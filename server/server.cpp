// The server loop and the arena set-up: GAMESERVER, SERVERRUN, SERVERTICK,
// SERVERPLACEOBJECTS, SERVERFLUSHALL.
// Threads: server thread only; reads QUITLOOP (shared atomic) once per tick
// and VX_HOSTNAME (written before this thread started).
#include "server/server.h"

#include <cstdio>

#include "main/spine.h"
#include "media/clock.h"
#include "shared/net.h"
#include "shared/world.h"

namespace {
constexpr uint32_t TICKPAUSEMS = 5;
}

void GAMESERVER(int32_t /*SERVEROPTION*/) {
    DEBUGMESSAGE(VX_HOSTNAME.c_str());
    if (!ISHOSTADDRESS(VX_HOSTNAME)) {
        DEBUGMESSAGE("server::ServerUnneeded");
        return;
    }
    DEBUGMESSAGE("server::start");
    DEBUGMESSAGE("server::objPlace");
    SERVERPLACEOBJECTS();
    DEBUGMESSAGE("server::prep");
    DEBUGMESSAGE("server:OpenNetConnection");
    SERVERINITNETCONNECTION();
    // Without discovery the game is still played; it is only not listed.
    if (const std::string why = SERVERDISCOVERYOPEN(); !why.empty())
        std::fprintf(stderr, "vexil: cannot open UDP port %d (%s): server finders will not list this game\n",
                     static_cast<int>(GAMEPORT), why.c_str());
    SERVERRUN();
}

void SERVERPLACEOBJECTS() {
    for (STARTYPE& star : SERVERSTARFIELD) {
        star.X = RANDOMARENACOORDINATE();
        star.Y = RANDOMARENACOORDINATE();
        star.SPRITE = FLOORINT(RANDOMVALUE() * 10);
    }
    for (SHIPTYPE& ship : SERVERPLAYERS) {
        ship.X = -500;
        ship.Y = -500;
        ship.SUBDIRECTION = 0;
        ship.DIRECTION = 0;
        ship.HEALTH = 100;
        ship.MAXHEALTH = 100;
        ship.GRAPHIC = PLAYER4SPRITES[0][0];
    }
    SERVERPLAYERS[0].GRAPHIC = PLAYER1SPRITES[1][0];
    SERVERPLAYERS[1].GRAPHIC = PLAYER2SPRITES[0][0];
    SERVERPLAYERS[2].GRAPHIC = PLAYER3SPRITES[0][0];
    SERVERPLAYERS[3].GRAPHIC = PLAYER4SPRITES[0][0];
}

void SERVERTICK() {
    SERVERWAITFORCONNECTIONS();
    SERVERDISCOVERYPASS();
    SERVERPHYSICS();
    SERVERBULLETPHYSICS();
    SERVERFLUSHALL();
}

void SERVERRUN() {
    do {
        SERVERTICK();
        KELDELAY(TICKPAUSEMS);
    } while (QUITLOOP.load() == 0);
}

void SERVERFLUSHALL() {
    for (int32_t slot = 0; slot < SERVERSLOTS; ++slot)
        if (SERVERTCPSOCKS[static_cast<size_t>(slot)] != nullptr) NETFLUSH(SERVERCONNECTIONS[static_cast<size_t>(slot)]);
}
