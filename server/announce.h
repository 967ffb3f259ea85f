// Chat relay and the announcements of joins, deaths and departures.
// Threads: server thread only.
#pragma once

#include <cstdint>
#include <string>

#include "server/connections.h"
#include "shared/world.h"

// Calls SEND(slot) for every slot whose player is connected, in ascending
// order: the one way every broadcast picks its recipients. A slot still in
// its handshake or being disconnected is left out, so nothing is queued
// before its slot number or after its -1 or GOODBYE.
template <typename SENDER>
void SERVERFOREACHCONNECTED(SENDER&& SEND) {
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot)
        if (SERVERSLOTINPLAY(slot)) SEND(slot);
}

// Queues MESSAGE as CHAT to every connected slot, in ascending order. A line
// longer than NETMAXSTRING (the longest string any peer accepts) is cut to
// that length.
void SERVERBROADCASTCHAT(const std::string& MESSAGE);
// White " *** NAME entered the game." to everyone, then NAMEINFO for PLAYER
// to every connected slot (PLAYER included).
void SERVERJOINMESSAGE(int32_t PLAYER);
// Red " *** VICTIM was murdered by KILLER." to everyone, then KILLCOUNT for
// KILLER (its KILLS already raised) to every connected slot.
void SERVERDEATHMESSAGE(int32_t PLAYER, int32_t KILLER);
// Light green " *** NAME has left the game." under the name the player had;
// the slot's name becomes " "; then FULLSTATE to every connected slot. Called
// after the slot was freed, so the leaver gets nothing.
void SERVERQUITMESSAGE(int32_t PLAYER);
