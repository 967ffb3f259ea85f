// The player slots as the rest of the server sees them: each slot's stage,
// which slots are in play, the send-to-slot operations (FULLSTATE, UPDATE,
// GOODBYE; every broadcast picks its recipients here), the start of a
// disconnect, the budgets' settings and the operator's log hook. The
// connection pass, the exchange and the announcements all build on this
// file, which builds on none of them.
// Threads: server thread only. The settings (atomics) may be changed by
// tests, fuzzing or a driver before the server thread starts.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "shared/net.h"
#include "shared/world.h"

// What an occupied slot is waiting for. No pass ever waits on a peer: each
// pass looks at the slot's buffered bytes and its deadline and moves on.
//   SLOTSETTLED:   nothing pending; a free slot, or an admitted player whom
//                  the exchange serves.
//   SLOTAWAITCODE: accepted; waiting for the 4-byte code.
//   SLOTAWAITNAME: code accepted and slot number queued; waiting for the name.
//   SLOTREFUSING:  wrong code (or none); -1 goes out at DEADLINE.
//   SLOTCLOSING:   being disconnected; closed and announced at DEADLINE.
// A slot in any stage but SLOTSETTLED is occupied, is not handed to the
// exchange, gets no broadcast, is left alone by the physics and is shown to
// the other players as not connected.
enum SLOTSTAGE : int32_t { SLOTSETTLED = 0, SLOTAWAITCODE, SLOTAWAITNAME, SLOTREFUSING, SLOTCLOSING };
struct SLOTSTATE {
    int32_t STAGE = SLOTSETTLED;
    uint32_t DEADLINE = 0;  // the stage clock's time at which the stage runs out
};
extern std::array<SLOTSTATE, SERVERSLOTS> SERVERSLOTSTATES;

// A connected player from whom nothing has arrived for this long is
// disconnected as if it had closed (NETSILENCELIMITMS unless a test lowers it).
extern std::atomic<uint32_t> SERVERSILENCELIMITMS;

// Chat lines a player may send in a burst; then one more per
// SERVERCHATREFILLMS. Admissions from one address in a burst; then one more
// per SERVERADMITREFILLMS. Both budgets run on the game clock.
extern std::atomic<int32_t> SERVERCHATBURST;
extern std::atomic<int32_t> SERVERCHATREFILLMS;
extern std::atomic<int32_t> SERVERADMITBURST;
extern std::atomic<int32_t> SERVERADMITREFILLMS;

// The operator's log: one line per event (no newline), or null (the hosting
// game) for none. Only the dedicated server sets it.
extern void (*SERVERLOGHOOK)(const std::string& LINE);
// Hands LINE to SERVERLOGHOOK when one is set.
void SERVERLOG(const std::string& LINE);

// A rate budget on the game clock: CREDIT milliseconds of refill, at most
// BURST refill periods' worth; one use costs one period. A new budget starts
// full at its first use.
struct SERVERBUDGET {
    bool STARTED = false;
    int64_t CREDIT = 0;
    uint32_t REFILLEDAT = 0;
    uint32_t LOGGEDAT = 0;
    bool LOGGED = false;
};
// Takes one use from BUDGET. When it is spent, returns false and hands
// LINE() to SERVERLOG, at most once a second per budget.
// The same without the log: LOGNOW says whether a log line is due.
bool SERVERSPENDQUIET(SERVERBUDGET& BUDGET, int32_t BURST, int32_t REFILLMS, bool& LOGNOW);
template <typename TEXT>
bool SERVERSPEND(SERVERBUDGET& BUDGET, int32_t BURST, int32_t REFILLMS, TEXT LINE) {
    bool lognow = false;
    if (SERVERSPENDQUIET(BUDGET, BURST, REFILLMS, lognow)) return true;
    if (lognow) SERVERLOG(LINE());
    return false;
}
// One budget per source address in a fixed table of COUNT entries: an
// address not in it takes a free entry, else the one quiet longest (whose
// budget has then refilled the most), so a flood from many addresses never
// grows memory.
struct SERVERADDRESSBUDGET {
    uint32_t HOST = 0;
    bool USED = false;
    SERVERBUDGET BUDGET;
};
SERVERBUDGET& SERVERBUDGETOF(SERVERADDRESSBUDGET* TABLE, size_t COUNT, uint32_t HOST);
// "Ann" for a log line: quoted, bytes outside printable ASCII shown as '?',
// so a name can neither break a line nor forge one.
std::string SERVERLOGNAME(const std::string& NAME);
// "a.b.c.d" for an address in the library's byte order.
std::string SERVERADDRESSTEXT(uint32_t HOST);

// Enters STAGE, which runs out WAITMS from now. The handshake's stages run
// on the network clock, like every other wait for a peer; the 50 ms pauses
// on the game clock (a driver that steps the game clock steps them too).
void SERVERENTERSTAGE(int32_t A, int32_t STAGE, uint32_t WAITMS);
// True once slot A's stage has run out (wrapping-safe).
bool SERVERSTAGEDUE(int32_t A);

// True when slot A's player is connected, admitted and not being
// disconnected: the slots broadcasts go to.
bool SERVERSLOTINPLAY(int32_t A);

// Calls SEND(slot) for every slot whose player is in play, in ascending
// order: the one way every broadcast picks its recipients. A slot still in
// its handshake or being disconnected is left out, so nothing is queued
// before its slot number or after its -1 or GOODBYE.
template <typename SENDER>
void SERVERFOREACHCONNECTED(SENDER&& SEND) {
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot)
        if (SERVERSLOTINPLAY(slot)) SEND(slot);
}

// X = 1: FULLSTATE to slot A; X = 3: UPDATE built for A; X = 0: GOODBYE,
// then the slot is disconnected; anything else: nothing. In both state
// messages a slot that is not settled reads as not connected. Messages are
// only queued; they leave with the connection's next flush.
void SERVERNETSENDDATAPACKET(int32_t A, int32_t X);

// Starts freeing slot A: nothing more is read from it, and 50 ms later
// (SLOTCLOSING) a pass closes the connection, parks the ship and announces
// the leave. Until then the slot stays occupied. Does nothing for a slot
// outside 0..15, a free slot or one already closing.
void SERVERNETDISCONNECTREMOTE(int32_t A);
