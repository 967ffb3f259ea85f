// Test support for the client's tests: a clean client state and a scripted
// server on a memory connection (shared/net.h), so the client's real
// handshake and dispatcher run with no socket and no waiting.
// Test code only; the test's main thread only.
#pragma once

#include "shared/net.h"

// Empties every client table and flag the tests touch.
void RESETCLIENTSTATE();

// The server's side: what the protocol writers put on CONN reaches the
// client at the next SAY; what the client sends collects in HEARD.
struct FAKESERVER {
    FAKESERVER();
    ~FAKESERVER();  // closes the client's connection too
    NETCONNECTION CONN;
    std::vector<uint8_t> WIRE, HEARD;
};
// Runs the client's network start (to VX_HOSTNAME) on a memory connection
// to S, which has said what was put on CONN so far. ENDS: the connection
// closes once the client has read everything said.
void MEMORYSTART(FAKESERVER& s, bool ends = false);
// A fresh client state, then a start on S answered with SLOT: whether the
// client joined in that slot.
bool MEMORYJOIN(FAKESERVER& s, int32_t slot);
// Hands what was put on CONN to the client, all but the last HOLD bytes.
void SAY(FAKESERVER& s, size_t hold = 0);
