// The per-slot exchange: the dispatcher that takes at most one whole message
// from a player, with the player's chat budget and the bounds a real
// client's controls keep. Threads: server thread only.
#pragma once

#include <cstddef>
#include <cstdint>

// Longest chat text relayed (what the game's chat box holds in a wide
// window); longer texts are cut to it.
constexpr size_t SERVERMAXCHATTEXT = 255;
// Thrust a real client sends: 0 or +-300.
constexpr int32_t SERVERMAXTHRUST = 300;

// Pulls whatever slot A's peer has sent into its buffer and, when a whole
// message is there, handles it: CONTROLS (stored within a real client's
// bounds, DELTATHETA cleared, answered with UPDATE), CHAT (composed, kept,
// broadcast, while the player's chat budget lasts), GOODBYE (disconnect);
// any other kind is skipped after its 4 bytes. A message whose body has not
// fully arrived is left for a later pass, so the tick never waits on one
// peer. The slot is disconnected as if it had said GOODBYE when its
// connection has closed with no whole message left, broke the protocol
// (bad string length), failed (unsent output past the limit, a send error),
// has been silent for SERVERSILENCELIMITMS, or has sent nothing for
// NETWAITLIMITMS while part of a message is still missing; each is one line
// in the operator's log. Does nothing for a slot that is not settled (the
// connection pass hands those to their admission step).
void SERVERNETGETDATAPACKET(int32_t A);
// Gives slot A a full chat budget (a newly admitted player).
void SERVERRESETCHATBUDGET(int32_t A);
