// Feeding arbitrary byte streams to the game's own wire readers, over real
// loopback connections, for the fuzz targets and for the regression tests
// of what they found.
//
// Server side: FUZZSERVERSTREAM connects a raw socket to the real server
// code (listening on a port of its own), writes the bytes and runs server
// ticks (connection pass with admission and dispatcher, ship step,
// projectile step, flush); once the server has taken every byte in and
// handled every whole message, the stream ends (a reset, which the server
// reads as a close; see ENDSWITHCLOSE in harness.cpp) and the ticks go on
// until the server has let the connection go. A bystander player, admitted
// once at start, holds slot 0 throughout and never sends anything; it
// receives every broadcast.
//
// Client side: FUZZCLIENTSTREAM lets the real client connect
// (CLIENTSTARTNETWORK) to a listener of its own whose far end answers with
// the bytes (so they start with the handshake's slot number) and then
// closes; the client then runs its frame's network and prediction steps
// until it has found the connection closed, and draws one frame at the end
// when video was started.
//
// Both run on a hand-moved clock (KELTICKSOURCE / KELDELAYSINK), so the
// server's pauses cost nothing and the physics steps are the same on
// every run. Each call first puts the tables it touches back to the same
// state, so a run depends on its bytes alone.
//
// Threads: everything runs in the caller's thread, which plays both the
// server thread and the client's main thread; the client side adds one
// helper thread that plays the far end of the connection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// --- Server side ----------------------------------------------------------

// Opens the listening socket on the first free port of FIRST..LAST and
// admits the bystander. Returns false when no port could be had.
bool FUZZSERVERSTART(uint16_t first, uint16_t last);

struct FUZZSERVEROUTCOME {
    int32_t FIRSTANSWER = 0;         // first INT the server sent back (slot or -1); 0 if none
    bool GOTANSWER = false;
    size_t BYTESBACK = 0;            // everything the server sent to this connection
    bool RELEASED = false;           // the server closed the connection and freed its slot
    bool BYSTANDERKEPT = false;      // slot 0 still holds the bystander
    // Everything the server sent, to this connection and to the bystander,
    // reads as whole server-to-client messages of the kinds a server sends
    // (a message still on its way at the end aside).
    bool READABLE = false;
    std::vector<std::string> BYSTANDERCHAT;  // the CHAT lines the bystander received
    int PASSES = 0;
};
FUZZSERVEROUTCOME FUZZSERVERSTREAM(const uint8_t* data, size_t size);

// --- Client side ----------------------------------------------------------

// Opens the listener on the first free port of FIRST..LAST and starts the
// far end's helper thread. With DATAFOLDER (the game's data/ folder) video
// starts on SDL's dummy driver at 640 x 480 x 32 with every sprite loaded,
// and each stream ends with a drawn frame; the working directory is the
// same afterwards.
bool FUZZCLIENTSTART(uint16_t first, uint16_t last, const std::string& datafolder);

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
