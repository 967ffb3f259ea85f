// Chat relay and the announcements of joins, deaths and departures.
// Threads: server thread only.
#pragma once

#include <cstdint>
#include <string>

#include "server/slots.h"
#include "shared/world.h"

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
