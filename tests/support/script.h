// Test support for the client's tests: a clean client state and a scripted
// server on GAMEPORT that speaks the protocol over loopback with the shared
// writers. Test code only; the test's main thread (HANDSHAKE runs the
// scripted side in a thread of its own while the client starts).
#pragma once

#include <SDL_net.h>

#include <cstdint>
#include <functional>
#include <string>

#include "shared/net.h"

// Empties every client table and flag the tests touch.
void RESETCLIENTSTATE();

// A listening socket on GAMEPORT and, once a client came, its accepted end
// as a buffered connection.
struct SCRIPTSERVER {
    SCRIPTSERVER();
    ~SCRIPTSERVER();
    SCRIPTSERVER(const SCRIPTSERVER&) = delete;
    SCRIPTSERVER& operator=(const SCRIPTSERVER&) = delete;
    // Accepts one connection, waiting at most MS milliseconds.
    bool ACCEPT(int ms);
    // Sends everything queued on CONN.
    void FLUSH();
    // Waits (bounded) until COUNT unread bytes from the client are buffered.
    bool WAITBYTES(size_t count, int ms = 2000);
    TCPsocket LISTENER = nullptr;
    SDLNet_SocketSet SET = nullptr;
    NETCONNECTION CONN;
};

// Runs the client's network start against SERVER, answering the code with
// SLOT. Returns true when the handshake completed.
bool HANDSHAKE(SCRIPTSERVER& server, int32_t slot, const char* host = "127.0.0.1");

// Calls the client's dispatcher once per round (with its flush) until DONE
// holds or ROUNDS rounds have passed, pausing a few ms between rounds.
bool DISPATCHUNTIL(const std::function<bool()>& done, int rounds = 400);
