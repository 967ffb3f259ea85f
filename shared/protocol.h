// Every message of the game, its writer and its reader side by side so the
// two can never drift apart, plus the "is a whole message buffered?" checks
// both dispatchers use before they take a message.
//
// A message is an INT kind followed by a body fixed by the kind and the
// direction; there is no framing. Sizes, the kind included (n = string bytes):
//   GOODBYE, READY 4      FULLSTATE 1348     CONTROLS 28
//   UPDATE 104 + (68 + n) per connected slot other than the recipient's own
//   SHOTFIRED 28          SHOTGONE 8         CHAT 8 + n
//   NAMEINFO 12 + n       KILLCOUNT 12
//
// Writers append a complete message, kind included, to a connection's output
// buffer (see net.h; nothing is sent until the connection is flushed).
// Readers read the BODY of a message whose kind the caller has already taken
// and store it into the given tables:
//  - they read through NETRECV..., so bytes not yet buffered are awaited
//    (bounded, see net.h); after a PROTO...LENGTH check said the message is
//    whole they never wait;
//  - a slot number outside 0..15 or a projectile index outside 0..1024 is
//    read with the rest of the body and then used for nothing;
//  - they return true when the whole body was read. On false (the
//    connection closed, failed or broke the protocol mid-body) the tables
//    are left as they were.
// Threads: none of their own; each call works on the caller's connection and
// tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "shared/net.h"
#include "shared/world.h"

// Message kinds. Kinds 1 and 6 mean different things in the two directions.
constexpr int32_t GOODBYE = 0;    // both ways; also what a closed connection reads as
constexpr int32_t READY = 1;      // client to server, no body
constexpr int32_t FULLSTATE = 1;  // server to client
constexpr int32_t CONTROLS = 2;   // client to server
constexpr int32_t UPDATE = 3;     // server to client
constexpr int32_t SHOTFIRED = 4;  // server to client
constexpr int32_t SHOTGONE = 5;   // server to client
constexpr int32_t CHAT = 6;       // both ways: typed text up, a composed chat line down
constexpr int32_t NAMEINFO = 7;   // server to client
constexpr int32_t KILLCOUNT = 8;  // server to client

// The code a client sends first; the server answers anything else with -1.
constexpr int32_t AUTHCODE = 46213;
constexpr int32_t AUTHREFUSED = -1;

constexpr int32_t FULLSTATEBYTES = 4 + 16 * 84;
constexpr int32_t CONTROLSBYTES = 28;
constexpr int32_t SHOTFIREDBYTES = 28;
constexpr int32_t SHOTGONEBYTES = 8;
constexpr int32_t KILLCOUNTBYTES = 12;

// True for a ship slot 0..15 / a projectile index 0..1024.
bool PROTOVALIDSLOT(int32_t slot);
bool PROTOVALIDINDEX(int32_t index);

// --- Whole-message checks ------------------------------------------------------
// Given the unread bytes (kind first): the length of the whole first message
// when all of it is there, 0 when more bytes are needed, -1 when the bytes
// break the protocol (a string length below 0 or above NETMAXSTRING). An
// unknown kind is a 4-byte message.

// Messages travelling from a client to the server (what the server reads).
int64_t PROTOTOSERVERLENGTH(const uint8_t* bytes, size_t count);
// Messages travelling from the server to a client (what a client reads);
// OWNSLOT is the reader's own slot, which decides the shape of an UPDATE.
int64_t PROTOTOCLIENTLENGTH(const uint8_t* bytes, size_t count, int32_t ownslot);
// The same checks on a connection's unread input.
int64_t PROTOTOSERVERLENGTH(const NETCONNECTION& conn);
int64_t PROTOTOCLIENTLENGTH(const NETCONNECTION& conn, int32_t ownslot);

// --- Kind-only messages -------------------------------------------------------
// GOODBYE, READY, or any other bare kind.
void PROTOWRITEKIND(NETCONNECTION& conn, int32_t kind);

// --- FULLSTATE (server to client): all 16 ships ----------------------------------
// Per slot, in order: DBL X, Y, XVELOC, YVELOC, SUBDIRECTION, DELTATHETA,
// GUNTIMER; INT SHOOTING, DAMAGE, HEALTH, FRAME, DIRECTION,
// CURRENTACCELERATION, CONNECTED.
void PROTOWRITEFULLSTATE(NETCONNECTION& conn, const SHIPTABLE& ships);
bool PROTOREADFULLSTATE(NETCONNECTION& conn, SHIPTABLE& ships);

// --- CONTROLS (client to server): the sender's own ship ---------------------------
// INT CURRENTACCELERATION, INT SHOOTING, DBL SUBDIRECTION, DBL DELTATHETA.
// The reader stores all four fields (the server clears DELTATHETA itself).
void PROTOWRITECONTROLS(NETCONNECTION& conn, const SHIPTYPE& ship);
bool PROTOREADCONTROLS(NETCONNECTION& conn, SHIPTYPE& ship);

// --- UPDATE (server to client): built for the recipient OWNSLOT --------------------
// Per slot B: INT CONNECTED; then, if B is not OWNSLOT and CONNECTED is not
// 0, DBL X, Y, XVELOC, YVELOC, SUBDIRECTION, DELTATHETA, INT SHOOTING, HEALTH,
// DIRECTION, CURRENTACCELERATION, STR PLAYERNAME; else if B is OWNSLOT, DBL
// X, Y, XVELOC, YVELOC, INT HEALTH; otherwise nothing more. Any non-zero
// CONNECTED counts as connected. The reader makes the same decision with
// the CONNECTED it has just read and its own OWNSLOT (an OWNSLOT outside
// 0..15 matches no slot).
void PROTOWRITEUPDATE(NETCONNECTION& conn, const SHIPTABLE& ships, int32_t ownslot);
bool PROTOREADUPDATE(NETCONNECTION& conn, SHIPTABLE& ships, int32_t ownslot);

// --- SHOTFIRED (server to client) ------------------------------------------------
// INT index, SNG X, SNG Y, INT SPRITE, INT DIRECTION, INT SPEED. The reader
// stores X, Y, SPRITE, DIRECTION, SPEED at the index; OWNER and ANIM keep
// what they held.
void PROTOWRITESHOTFIRED(NETCONNECTION& conn, int32_t index, const BULLETTYPE& bullet);
bool PROTOREADSHOTFIRED(NETCONNECTION& conn, BULLETTABLE& bullets);

// --- SHOTGONE (server to client) -------------------------------------------------
// INT index. The reader sets SPRITE of that entry to 0.
void PROTOWRITESHOTGONE(NETCONNECTION& conn, int32_t index);
bool PROTOREADSHOTGONE(NETCONNECTION& conn, BULLETTABLE& bullets);

// --- CHAT (both ways) ------------------------------------------------------------
// STR: the typed text (up) or a complete chat line, colour bytes first
// (down). The reader only returns the string; the caller decides where it
// goes (the server composes a line, the client pushes it into its buffer).
void PROTOWRITECHAT(NETCONNECTION& conn, const std::string& text);
bool PROTOREADCHAT(NETCONNECTION& conn, std::string& text);

// --- NAMEINFO (server to client) -------------------------------------------------
// INT slot, STR name. The reader stores PLAYERNAME of that slot.
void PROTOWRITENAMEINFO(NETCONNECTION& conn, int32_t slot, const std::string& name);
bool PROTOREADNAMEINFO(NETCONNECTION& conn, SHIPTABLE& ships);

// --- KILLCOUNT (server to client) ------------------------------------------------
// INT slot, INT kills. The reader stores KILLS of that slot.
void PROTOWRITEKILLCOUNT(NETCONNECTION& conn, int32_t slot, int32_t kills);
bool PROTOREADKILLCOUNT(NETCONNECTION& conn, SHIPTABLE& ships);
