// Memory connections: a NETCONNECTION with no socket behind it. Its input is
// a byte buffer the caller provides and its output is collected in a
// caller's vector; it never waits (once its input is used up a wait ends at
// once as CLOSED). The fuzz targets and tests drive the real admission,
// handshake and dispatchers through it; the game itself never queues one.
// Threads: the queued connection is per thread; each record is used by the
// thread that attached it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <SDL_net.h>

struct NETCONNECTION;

// The peer address a memory connection reports unless the test names one:
// 127.0.0.1, in the library's byte order.
constexpr uint32_t NETMEMORYLOOPBACK = 0x0100007F;

// The stand-in socket of a memory connection: never handed to the network
// library, only to NETATTACH and as a slot's occupied mark.
extern const TCPsocket NETMEMORYSOCKET;
// Queues a memory connection for this thread: the next NETACCEPT or NETOPEN
// returns NETMEMORYSOCKET, and the NETATTACH of it makes its record read
// DATA[0..SIZE) (kept alive by the caller) and append its output to *OUT
// (may be null). ENDS: the connection is CLOSED once DATA is used up;
// otherwise it stays open and silent. HOST is the peer address it reports.
void NETQUEUEMEMORY(const uint8_t* data, size_t size, bool ends, std::vector<uint8_t>* out,
                    uint32_t host = NETMEMORYLOOPBACK);
// True while a memory connection waits for its accept or open.
bool NETMEMORYQUEUED();
// SDLNet_TCP_Accept, or the queued memory connection; null when LISTENER is
// null and nothing is queued.
TCPsocket NETACCEPT(TCPsocket listener);
// SDLNet_TCP_Open, or the queued memory connection.
TCPsocket NETOPEN(IPaddress* address);

// Hands an attached memory connection DATA[0..SIZE) as its next input (kept
// alive by the caller), replacing what was left of the old one; ENDS as for
// NETQUEUEMEMORY. A replay reveals each recorded frame's bytes this way.
void NETMEMORYFEED(NETCONNECTION& conn, const uint8_t* data, size_t size, bool ends);

// For net.cpp: makes CONN (already reset) the queued memory connection's
// record; its pump (input moved into CONN's buffer, or the close once it is
// used up); its delivery of COUNT queued output bytes.
void NETMEMORYATTACH(NETCONNECTION& conn);
int32_t NETMEMORYPUMP(NETCONNECTION& conn);
void NETMEMORYDELIVER(NETCONNECTION& conn, const uint8_t* bytes, size_t count);
