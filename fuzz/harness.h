// Feeding arbitrary byte streams to the game's own wire readers through
// memory connections (no sockets, no waits), for the fuzz targets and for
// the regression tests of what they found.
//
// Server side: FUZZSERVERSTREAM queues a memory connection carrying the
// bytes, so the next connection pass accepts it into the lowest free slot
// exactly as a peer from the network, and runs server ticks (connection
// pass with admission and dispatcher, ship step, projectile step, flush)
// until the server has let the connection go. A bystander player, admitted
// once at start, holds slot 0 throughout and never sends anything more; it
// receives every broadcast.
//
// Client side: FUZZCLIENTSTREAM lets the client's own start
// (CLIENTSTARTNETWORK) open a memory connection whose input is the bytes
// (so they start with the handshake's slot number), then runs the frame's
// network and prediction steps until the client has found the connection
// closed, and draws one frame at the end when video was started.
//
// Both run on a hand-moved clock (KELTICKSOURCE / KELDELAYSINK), so the
// server's pauses cost nothing and the physics steps are the same on every
// run. Each call first puts the tables it touches back to the same state,
// so a run depends on its bytes alone.
// Threads: everything runs in the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Admits the bystander. Returns false when it could not join.
bool FUZZSERVERSTART();

struct FUZZSERVEROUTCOME {
    int32_t FIRSTANSWER = 0;         // first INT the server sent back (slot or -1); 0 if none
    bool RELEASED = false;           // the server closed the connection and freed its slot
    bool BYSTANDERKEPT = false;      // slot 0 still holds the bystander
    // Everything the server sent, to this connection and to the bystander,
    // reads as whole server-to-client messages of the kinds a server sends.
    bool READABLE = false;
    std::vector<std::string> BYSTANDERCHAT;  // the CHAT lines the bystander received
    int PASSES = 0;
};
FUZZSERVEROUTCOME FUZZSERVERSTREAM(const uint8_t* data, size_t size);

// With DATAFOLDER (the game's data/ folder) video starts on SDL's dummy
// driver at 320 x 240 x 32 with every sprite loaded, and each stream ends
// with a drawn frame; the working directory is the same afterwards.
bool FUZZCLIENTSTART(const std::string& datafolder);

struct FUZZCLIENTOUTCOME {
    bool JOINED = false;             // the handshake gave a slot
    bool RELEASED = false;           // the client found the connection closed and let it go
    // Everything the client sent reads as a client's stream: the code, then
    // (once joined) its name and whole READY, CONTROLS and CHAT messages.
    bool SENTREADABLE = false;
    std::vector<uint8_t> SENT;       // those bytes
    int PASSES = 0;
};
FUZZCLIENTOUTCOME FUZZCLIENTSTREAM(const uint8_t* data, size_t size);

// Reads a whole file (empty when it cannot be read).
std::vector<uint8_t> FUZZREADFILE(const std::string& path);
