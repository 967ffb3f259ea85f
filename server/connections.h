// Listening, admitting and disconnecting players.
// Threads: server thread only. SERVERSILENCELIMITMS may be lowered by tests
// before the server thread starts.
#pragma once

#include <atomic>
#include <cstdint>

// A connected player from whom nothing has arrived for this long is
// disconnected as if it had closed (NETSILENCELIMITMS unless a test lowers it).
extern std::atomic<uint32_t> SERVERSILENCELIMITMS;

// Starts the network library, opens TCP port GAMEPORT on every local address
// and allocates the sixteen one-member socket sets. A failure ends the
// process with status 1 after one line on standard error naming the cause
// (e.g. "vexil: cannot listen on TCP port 7778: address already in use").
void SERVERINITNETCONNECTION();
// The connection pass: sets SERVERHOSTING, then for each slot in ascending
// order hands an occupied slot to SERVERNETGETDATAPACKET and offers a free
// one to a pending connection, admitting it (code, slot number, name,
// FULLSTATE, join announcement) before going on. The admission's waits for
// the code and the name are bounded (NETWAITLIMITMS each).
void SERVERWAITFORCONNECTIONS();
// Frees slot A: a 50 ms pause, the connection closed and removed from its
// set, the ship parked at (-15000, -15000), then the leave announcement.
// Does nothing for a slot outside 0..15 or a free slot.
void SERVERNETDISCONNECTREMOTE(int32_t A);

// Closes every connection and the listening socket, frees the socket sets
// and clears the server tables and clocks, so a test can start another
// server in the same process. The game never calls it.
void SERVERRELEASE();
