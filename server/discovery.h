// The server's side of discovery: a UDP socket on GAMEPORT beside the TCP
// listener, and one pass per tick that reads a bounded number of datagrams
// and answers each well-formed query (shared/discovery.h) within two
// budgets, one per source address and one overall. Malformed, short,
// oversize or unknown datagrams and queries over budget get no answer; the
// operator's log counts them in at most one line a second.
// Threads: server thread only. The settings (atomics), SERVERDISCOVERYNAME
// and the two datagram hooks may be set before the server thread starts.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// Queries one source address may have answered in a burst; then one more per
// SERVERQUERYREFILLMS. All sources together: SERVERQUERYALLBURST, then one
// more per SERVERQUERYALLREFILLMS. Both run on the game clock.
extern std::atomic<int32_t> SERVERQUERYBURST;
extern std::atomic<int32_t> SERVERQUERYREFILLMS;
extern std::atomic<int32_t> SERVERQUERYALLBURST;
extern std::atomic<int32_t> SERVERQUERYALLREFILLMS;
// Datagrams one pass reads at most; the rest wait in the kernel (which drops
// what overflows its buffer).
constexpr int SERVERDISCOVERYREADS = 32;

// The name answers carry: the dedicated server's --name. When empty, the
// hosting player's name (VX_PLAYERNAME), else this machine's host name.
extern std::string SERVERDISCOVERYNAME;

// Opens UDP port GAMEPORT on every IPv4 address, non-blocking. Returns ""
// when open, else why not ("address already in use"); the server then
// serves TCP as ever and is only not found.
std::string SERVERDISCOVERYOPEN();
// Closes the socket and forgets the budgets and the unlogged counts.
void SERVERDISCOVERYCLOSE();
// One pass: at most SERVERDISCOVERYREADS datagrams, each answered or not at
// once (one receive and at most one send each, the answer's bytes built at
// most once a pass); then the log line if one is due.
void SERVERDISCOVERYPASS();

// Where a pass takes datagrams and sends answers: the socket, unless a test
// or the fuzz harness put memory in its place. RECEIVE puts the next waiting
// datagram's first ROOM bytes into BUFFER, its whole size into SIZE and its
// source into HOST (network byte order, as the library keeps addresses) and
// PORT; false when none waits.
extern bool (*SERVERDISCOVERYRECEIVE)(uint8_t* BUFFER, size_t ROOM, size_t& SIZE, uint32_t& HOST, uint16_t& PORT);
extern void (*SERVERDISCOVERYSEND)(const uint8_t* BYTES, size_t SIZE, uint32_t HOST, uint16_t PORT);
// Puts the socket back behind both hooks.
void SERVERDISCOVERYUSESOCKET();
