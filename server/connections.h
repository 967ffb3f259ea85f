// Listening, admitting and disconnecting players, and each slot's admission
// stage. Threads: server thread only. SERVERSILENCELIMITMS may be lowered by
// tests before the server thread starts.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "shared/net.h"

// What an occupied slot is waiting for. No pass ever waits on a peer: each
// pass looks at the slot's buffered bytes and its deadline and moves on.
//   SLOTSETTLED:   nothing pending; a free slot, or an admitted player whom
//                  the exchange serves.
//   SLOTAWAITCODE: accepted; waiting for the 4-byte code.
//   SLOTAWAITNAME: code accepted and slot number queued; waiting for the name.
//   SLOTREFUSING:  wrong code (or none); -1 goes out at DEADLINE.
//   SLOTCLOSING:   being disconnected; closed and announced at DEADLINE.
// A slot in any stage but SLOTSETTLED is occupied, is not handed to the
// exchange and gets no broadcast.
enum SLOTSTAGE : int32_t { SLOTSETTLED = 0, SLOTAWAITCODE, SLOTAWAITNAME, SLOTREFUSING, SLOTCLOSING };
struct SLOTSTATE {
    int32_t STAGE = SLOTSETTLED;
    uint32_t DEADLINE = 0;  // NETNOW() at which the stage runs out
};
extern std::array<SLOTSTATE, SERVERSLOTS> SERVERSLOTSTATES;

// True when slot A's player is connected, admitted and not being
// disconnected: the slots broadcasts go to.
bool SERVERSLOTINPLAY(int32_t A);

// A connected player from whom nothing has arrived for this long is
// disconnected as if it had closed (NETSILENCELIMITMS unless a test lowers it).
extern std::atomic<uint32_t> SERVERSILENCELIMITMS;

// Starts the network library, opens TCP port GAMEPORT on every local address
// and allocates the sixteen one-member socket sets. A failure ends the
// process with status 1 after one line on standard error naming the cause
// (e.g. "vexil: cannot listen on TCP port 7778: address already in use").
void SERVERINITNETCONNECTION();
// The connection pass: sets SERVERHOSTING, then for each slot in ascending
// order hands an occupied slot to SERVERNETGETDATAPACKET (which passes a
// slot in its admission on to SERVERADMISSIONSTEP) and offers a free one to
// a pending connection, which enters SLOTAWAITCODE (ship placed, CONNECTED
// 1) and gets one look at its bytes; the pass goes on at once.
void SERVERWAITFORCONNECTIONS();
// Slot A's next admission step, taken only if its bytes or its deadline are
// there: a whole name admits (slot number, FULLSTATE and the join
// announcement were queued in that order); a wrong code, or none within
// NETWAITLIMITMS of the accept, is refused: -1 50 ms after the code, the
// close 50 ms later. A name missing for NETWAITLIMITMS after the code admits
// an empty name whose connection counts as closed. A slot that changed
// stage is not served as a player in the same pass. Does nothing for a
// settled or free slot.
void SERVERADMISSIONSTEP(int32_t A);
// Starts freeing slot A: 50 ms later (SLOTCLOSING) a pass closes the
// connection and removes it from its set, parks the ship at
// (-15000, -15000) and announces the leave. Until then the slot stays
// occupied. Does nothing for a slot outside 0..15, a free slot or one
// already closing.
void SERVERNETDISCONNECTREMOTE(int32_t A);

// Closes every connection and the listening socket, frees the socket sets
// and clears the server tables and clocks, so a test can start another
// server in the same process. The game never calls it.
void SERVERRELEASE();
