// Listening, admitting and disconnecting players: the connection pass, the
// admission of a new player as a per-slot stage, the budget of admissions
// per address, and the end of a disconnect. Threads: server thread only.
#pragma once

#include <cstdint>

#include "server/slots.h"

// Starts the network library, opens TCP port GAMEPORT on every local address
// and allocates the sixteen one-member socket sets. A failure ends the
// process with status 1 after one line on standard error naming the cause
// (e.g. "vexil: cannot listen on TCP port 7778: address already in use").
void SERVERINITNETCONNECTION();
// The connection pass: sets SERVERHOSTING, then for each slot in ascending
// order hands an occupied slot to SERVERNETGETDATAPACKET (a settled one) or
// SERVERADMISSIONSTEP, and offers a free one to pending connections. A
// connection always takes the lowest slot that was free at its turn in this
// pass, even when it arrived while the pass was further on. An accepted
// connection from an address past its budget (SERVERADMITBURST, then one
// per SERVERADMITREFILLMS) is closed at once, with no slot and no
// announcement, and the next pending one is tried. Otherwise it enters
// SLOTAWAITCODE (ship placed, CONNECTED 1) and gets one look at its bytes;
// the pass goes on at once.
void SERVERWAITFORCONNECTIONS();
// Slot A's next admission step, taken only if its bytes or its deadline are
// there: a whole name, cut to SERVERMAXNAME bytes, admits (slot number,
// FULLSTATE and the join announcement were queued in that order); a wrong
// code, or none within NETWAITLIMITMS of the accept, is refused: -1 50 ms
// after the code, the close 50 ms later. A peer that closes, breaks its
// name or sends none for NETWAITLIMITMS after the code is let go at once
// with nothing announced: it never entered the game. A closing slot whose
// pause is over is closed, its ship parked at (-15000, -15000) and the
// leave announced. A slot that changed stage is not served as a player in
// the same pass. Does nothing for a settled or free slot.
void SERVERADMISSIONSTEP(int32_t A);

// Closes every connection, the listening socket and discovery, frees the socket sets
// and clears the server tables and clocks, so a test can start another
// server in the same process. The game never calls it.
void SERVERRELEASE();

// Longest name kept (what the pre-game name box holds); longer ones are cut.
constexpr size_t SERVERMAXNAME = 38;
