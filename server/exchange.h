// The per-slot exchange: the dispatcher that takes at most one whole message
// from a player, and the sender of FULLSTATE, UPDATE and GOODBYE.
// Threads: server thread only.
#pragma once

#include <cstdint>

// Pulls whatever slot A's peer has sent into its buffer and, when a whole
// message is there, handles it: CONTROLS (stored, DELTATHETA cleared,
// answered with UPDATE), CHAT (composed, kept, broadcast), GOODBYE
// (disconnect); any other kind is skipped after its 4 bytes. A message whose
// body has not fully arrived is left for a later pass, so the tick never
// waits on one peer. The slot is disconnected as if it had said GOODBYE
// when its connection has closed with no whole message left, broke the
// protocol (bad string length), failed (unsent output past the limit, a
// send error), has been silent for SERVERSILENCELIMITMS, or has sent nothing
// for NETWAITLIMITMS while part of a message is still missing.
// A slot in its admission or being disconnected (not SLOTSETTLED) is not
// read here: it takes its SERVERADMISSIONSTEP instead.
void SERVERNETGETDATAPACKET(int32_t A);
// X = 1: FULLSTATE to slot A; X = 3: UPDATE built for A; X = 0: GOODBYE,
// then the slot is disconnected; anything else: nothing. Messages are only
// queued; they leave with the connection's next flush.
void SERVERNETSENDDATAPACKET(int32_t A, int32_t X);
