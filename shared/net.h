// The buffered connection both sides talk through, and the typed-value
// primitives of the client (CLIENTNET...) and of the server (SERVERNET...).
//
// A NETCONNECTION wraps one SDL_net TCP socket with an input buffer and an
// output buffer:
//  - Sends never go straight to the library: every value is appended to the
//    output buffer, and NETFLUSH hands everything queued to ONE
//    SDLNet_TCP_Send. The socket is non-blocking (see NETATTACH), so a flush
//    never blocks; whatever the kernel does not take stays queued for the
//    next flush. The bytes and their order on the wire are exactly the bytes
//    appended, in the order appended.
//  - A memory connection (shared/memnet.h) is the same record with no
//    socket behind it, for the fuzz targets and tests.
//  - Reads go through the input buffer: NETPUMP moves whatever has arrived
//    into it with at most one zero-timeout poll and one SDLNet_TCP_Recv, and
//    the NETTAKE... functions take typed values out of it. NETWAITFOR is the
//    only operation that waits, and it never waits longer than NETWAITLIMITMS.
//
// All values are little-endian, exactly as the wire carries them:
//   INT, LNG: 4 bytes, signed two's complement
//   SNG:      4 bytes, IEEE-754 single
//   DBL:      8 bytes, IEEE-754 double
//   STR:      INT length n, then the n bytes (no terminator)
//
// A connection ends up in one of two "closed" conditions:
//  - CLOSED: the peer has closed its side, the socket reported an error on
//    receive, or a wait ran past NETWAITLIMITMS. Nothing more is read, but
//    whole messages already buffered may still be taken, and output is still
//    sent.
//  - FAILED: the connection is unusable and must be dropped now, whatever is
//    buffered: a protocol violation, unsent output past NETMAXUNSENT, a send
//    error, or a caller's NETFAIL. Its output is discarded. FAILED implies
//    CLOSED.
// Neither condition closes the socket: only NETDETACH does, so nothing is
// ever freed from inside a send path. The owner (the server's dispatcher,
// the client's loop) sees the condition at its next read and acts on it.
//
// Threads: a NETCONNECTION is used by one thread only. The client globals
// are thread_local (each client thread, the game's main thread or a bot,
// has its own connection); the server globals belong to the server thread.
// NETINIT may be called from either.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <SDL_net.h>

#include "shared/memnet.h"
#include "shared/world.h"

// Longest any wait inside a handshake or a message body may last.
constexpr uint32_t NETWAITLIMITMS = 3000;
// Longest string a peer may send; a longer (or negative) length is a
// protocol violation.
constexpr int32_t NETMAXSTRING = 64 * 1024;
// The longest message there is: an UPDATE naming fifteen other players,
// every name as long as a peer may send it (almost a megabyte).
constexpr size_t NETMAXMESSAGE = 4 + 16 * 4 + 36 + 15 * (68 + static_cast<size_t>(NETMAXSTRING));
// Unsent output a connection may hold; past it the peer is taken as gone
// (it stopped reading) and the connection FAILS. Room for the longest
// message, twice over.
constexpr size_t NETMAXUNSENT = 2 * NETMAXMESSAGE;
// A peer from whom nothing has arrived for this long counts as gone. Only a
// vanished machine is this quiet: a live client answers every UPDATE.
constexpr uint32_t NETSILENCELIMITMS = 30000;
// A connection whose queued output the kernel has refused to take any of
// for this long FAILS: its peer has stopped reading. A peer that reads,
// however slowly, lets the kernel take some bytes and restarts the clock, so
// a long UPDATE to a live peer never trips it.
constexpr uint32_t NETSTALLLIMITMS = 5000;
// The kernel send buffer a verified socket asks for (the kernel doubles it).
constexpr int NETKERNELSENDBUFFER = 64 * 1024;
// Unread input a connection buffers before it stops pulling more from the
// kernel (room for the longest message, twice over).
constexpr size_t NETMAXUNREAD = 2 * NETMAXMESSAGE;

struct NETCONNECTION {
    TCPsocket SOCKET = nullptr;       // the connection; null when detached
    SDLNet_SocketSet SET = nullptr;   // one-member set holding SOCKET while attached
    std::vector<uint8_t> INBUF;       // received bytes; unread ones start at INPOS
    size_t INPOS = 0;
    std::vector<uint8_t> OUTBUF;      // queued bytes; those before OUTPOS are sent already
    size_t OUTPOS = 0;
    bool CLOSED = false;              // no more input will arrive
    bool FAILED = false;              // unusable: drop it now
    bool NONBLOCKING = false;         // the socket was verified and made non-blocking
    uint32_t LASTHEARD = 0;           // NETNOW() when bytes last arrived (or at attach)
    uint32_t STALLEDSINCE = 0;        // NETNOW() when the kernel last took output while
                                      // some stayed queued; 0 when nothing waits
    uint32_t PEERHOST = 0;            // the peer's IPv4 address, in the library's byte order
    // A memory connection (memnet.h): input MEMIN[MEMINPOS..MEMINSIZE), which ends the
    // connection once used up when MEMINENDS; output appended to *MEMOUT.
    bool MEMORY = false;
    const uint8_t* MEMIN = nullptr;
    size_t MEMINSIZE = 0;
    size_t MEMINPOS = 0;
    bool MEMINENDS = true;
    std::vector<uint8_t>* MEMOUT = nullptr;
    // Counters for tests and benchmarks.
    uint64_t SENDCALLS = 0;           // SDLNet_TCP_Send calls made
    uint64_t BYTESSENT = 0;           // bytes the kernel took
    uint64_t RECVCALLS = 0;           // SDLNet_TCP_Recv calls made
    uint64_t BYTESRECEIVED = 0;
};

// Starts the network library (SDLNet_Init; returns its result) and, once per
// process, makes a send on a connection the peer has closed return an error
// instead of raising SIGPIPE. Safe to call from both threads and repeatedly.
int32_t NETINIT();

// Monotonic milliseconds used by the network limits (not the game clock, so
// tests that fake the game clock do not disturb the limits).
uint32_t NETNOW();

// Makes CONN the fresh record of SOCKET: buffers emptied, flags and counters
// cleared, LASTHEARD = now, PEERHOST the peer's address. When SET is not null the socket is added to it
// and kept as CONN.SET. The socket is then made non-blocking with TCP_NODELAY,
// but only after the descriptor read from SDL_net's socket record has been
// verified to be this connection's socket (see net.cpp); if that check fails
// the socket is left as SDL_net made it (blocking) and NONBLOCKING stays
// false: the game still works, but then a peer that stops reading can hold
// up a flush. The first such failure in a process prints one line on
// standard error saying so.
void NETATTACH(NETCONNECTION& conn, TCPsocket socket, SDLNet_SocketSet set);
// Adds CONN's socket to SET and keeps SET as CONN.SET (for a record
// attached with no set).
void NETJOINSET(NETCONNECTION& conn, SDLNet_SocketSet set);
// Tries to hand the queued output to the kernel one last time (one send,
// never blocking when NONBLOCKING), removes the socket from its set, closes
// it and empties the record, giving its buffers' memory back (counters are
// kept). Returns the result of
// SDLNet_DelSocket (-1 when the library reports a failure), or 0 when there
// was no set. Safe on a detached record.
int32_t NETDETACH(NETCONNECTION& conn);

// Appending typed values to the output buffer. Nothing is appended while
// the record is detached or FAILED; an append that takes the unsent output
// past NETMAXUNSENT drops that output and FAILS the connection.
void NETPUTINT(NETCONNECTION& conn, int32_t value);
void NETPUTLNG(NETCONNECTION& conn, int32_t value);
void NETPUTSNG(NETCONNECTION& conn, float value);
void NETPUTDBL(NETCONNECTION& conn, double value);
void NETPUTSTR(NETCONNECTION& conn, const std::string& value);
// Appends COUNT raw bytes at once (a message built whole by its writer).
void NETPUTBYTES(NETCONNECTION& conn, const uint8_t* bytes, size_t count);

// Hands everything queued to one SDLNet_TCP_Send and keeps what the kernel
// did not take. Does nothing (and makes no library call) when nothing is
// queued. A send error other than "would block" FAILS the connection, and
// so does output of which the kernel has taken nothing for NETSTALLLIMITMS.
void NETFLUSH(NETCONNECTION& conn);

// At most one zero-timeout SDLNet_CheckSockets and, when it reports the
// socket readable, one SDLNet_TCP_Recv into the input buffer (at most
// NETMAXUNREAD unread bytes are kept; the rest waits in the kernel). A receive
// of 0 bytes or an error marks the connection CLOSED. Returns the number of
// bytes received.
int32_t NETPUMP(NETCONNECTION& conn);

// Appends COUNT received bytes to the input buffer (LASTHEARD = now): what
// a pump does with the bytes it got.
void NETRECEIVED(NETCONNECTION& conn, const uint8_t* bytes, size_t count);

// Waits at most MS milliseconds for input and pumps it; a memory
// connection pumps at once.
void NETPOLL(NETCONNECTION& conn, int32_t ms);

// Flushes, then polls and receives until at least COUNT unread bytes are
// buffered. Returns true when they are. Returns false when the connection is
// or becomes CLOSED first, or when NETWAITLIMITMS pass (after which it counts
// as CLOSED). Asking for more than NETMAXUNREAD bytes FAILS it.
bool NETWAITFOR(NETCONNECTION& conn, size_t count);

// Queued output not yet taken by the kernel.
size_t NETUNSENT(const NETCONNECTION& conn);
// Unread bytes in the input buffer, and a pointer to the first of them.
size_t NETUNREAD(const NETCONNECTION& conn);
const uint8_t* NETPEEK(const NETCONNECTION& conn);

// Taking typed values out of the input buffer, without waiting. Each returns
// false and leaves VALUE unchanged when the whole value is not buffered. A
// string whose length is negative or above NETMAXSTRING FAILS the connection
// (nothing is allocated for it).
bool NETTAKEINT(NETCONNECTION& conn, int32_t& value);
bool NETTAKELNG(NETCONNECTION& conn, int32_t& value);
bool NETTAKESNG(NETCONNECTION& conn, float& value);
bool NETTAKEDBL(NETCONNECTION& conn, double& value);
bool NETTAKESTR(NETCONNECTION& conn, std::string& value);
// Drops COUNT unread bytes (fewer if fewer are buffered).
void NETSKIP(NETCONNECTION& conn, size_t count);

// Receiving typed values: take from the buffer, doing a bounded NETWAITFOR
// only when the bytes are not there yet. On failure VALUE is unchanged and
// false is returned.
bool NETRECVINT(NETCONNECTION& conn, int32_t& value);
bool NETRECVLNG(NETCONNECTION& conn, int32_t& value);
bool NETRECVSNG(NETCONNECTION& conn, float& value);
bool NETRECVDBL(NETCONNECTION& conn, double& value);
bool NETRECVSTR(NETCONNECTION& conn, std::string& value);

// Marks the connection FAILED (and CLOSED) and discards its queued output.
void NETFAIL(NETCONNECTION& conn);
// True when nothing more can be expected from this connection: detached,
// FAILED, or CLOSED with no unread bytes.
bool NETGONE(const NETCONNECTION& conn);

// Little-endian helpers for fixed-size fields in a byte buffer (used by the
// message-length checks and by tests).
int32_t NETREADINT(const uint8_t* bytes);
void NETWRITEINT(uint8_t* bytes, int32_t value);

// ---------------------------------------------------------------------------
// The client's connection, one per client thread. The client opens CLIENTSOCKET,
// allocates CLIENTTCPSOCKSET and then calls
//     NETATTACH(CLIENTCONNECTION, CLIENTSOCKET, CLIENTTCPSOCKSET);
// after which the CLIENTNET... primitives work on CLIENTCONNECTION. The
// client flushes CLIENTCONNECTION once per frame (NETFLUSH); receives flush
// first by themselves.
extern CLIENTTHREADLOCAL TCPsocket CLIENTSOCKET;
extern CLIENTTHREADLOCAL SDLNet_SocketSet CLIENTTCPSOCKSET;
extern CLIENTTHREADLOCAL IPaddress CLIENTIP;
extern CLIENTTHREADLOCAL NETCONNECTION CLIENTCONNECTION;

void CLIENTNETSENDMESSAGEINT(const int32_t& X);
void CLIENTNETSENDMESSAGELNG(const int32_t& X);
void CLIENTNETSENDMESSAGESNG(const float& X);
void CLIENTNETSENDMESSAGEDBL(const double& X);
void CLIENTNETSENDMESSAGESTR(const std::string& X);
// Each returns true when the whole value arrived; on false X is unchanged.
bool CLIENTNETRECIEVEMESSAGEINT(int32_t& X);
bool CLIENTNETRECIEVEMESSAGELNG(int32_t& X);
bool CLIENTNETRECIEVEMESSAGESNG(float& X);
bool CLIENTNETRECIEVEMESSAGEDBL(double& X);
bool CLIENTNETRECIEVEMESSAGESTR(std::string& X);

// ---------------------------------------------------------------------------
// The server's connections (server thread only). Slot A (0..15) is occupied
// exactly while SERVERTCPSOCKS[A] is not null; SERVERCONNECTIONS[A] is its
// buffered record. A slot argument outside 0..15 makes every primitive do
// nothing (a receive then returns false).
constexpr int SERVERSLOTS = 16;
extern TCPsocket SERVERTCPSOCK;
extern IPaddress SERVERIP;
extern std::array<TCPsocket, SERVERSLOTS> SERVERTCPSOCKS;
extern std::array<SDLNet_SocketSet, SERVERSLOTS> SERVERTCPSOCKSETS;
extern std::array<NETCONNECTION, SERVERSLOTS> SERVERCONNECTIONS;

// The record of slot A, or null for a slot outside 0..15.
NETCONNECTION* SERVERCONNECTION(int32_t A);

void SERVERNETSENDMESSAGEINT(int32_t A, const int32_t& X);
void SERVERNETSENDMESSAGELNG(int32_t A, const int32_t& X);
void SERVERNETSENDMESSAGESNG(int32_t A, const float& X);
void SERVERNETSENDMESSAGEDBL(int32_t A, const double& X);
void SERVERNETSENDMESSAGESTR(int32_t A, const std::string& X);
bool SERVERNETRECIEVEMESSAGEINT(int32_t A, int32_t& X);
bool SERVERNETRECIEVEMESSAGELNG(int32_t A, int32_t& X);
bool SERVERNETRECIEVEMESSAGESNG(int32_t A, float& X);
bool SERVERNETRECIEVEMESSAGEDBL(int32_t A, double& X);
bool SERVERNETRECIEVEMESSAGESTR(int32_t A, std::string& X);
