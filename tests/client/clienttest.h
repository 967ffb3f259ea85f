// Helpers of the client tests: a clean client state, the display with the
// game's sprites, and a scripted server that speaks the protocol over
// loopback with the shared writers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <SDL_net.h>

#include "shared/net.h"

// Empties every client table and flag the tests touch.
void RESETCLIENTSTATE();

// 800 x 600 dummy display with all sprites loaded (once per process).
void STARTGAMEVIDEO();

// A solid W x H surface of one colour in the display format (no colour key).
SDL_Surface* SOLIDSURFACE(int w, int h, int r, int g, int b);

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
    // Closes the accepted end (the listener stays).
    void DROP();
    TCPsocket LISTENER = nullptr;
    SDLNet_SocketSet SET = nullptr;
    NETCONNECTION CONN;
};

// Runs the client's network start against SERVER, answering the code with
// SLOT. Returns true when the handshake completed; CODE and NAME receive
// what the client sent.
bool HANDSHAKE(SCRIPTSERVER& server, int32_t slot, int32_t* code = nullptr, std::string* name = nullptr);

// Calls the client's dispatcher once per round (with its flush) until DONE
// holds or ROUNDS rounds have passed, pausing a few ms between rounds.
bool DISPATCHUNTIL(const std::function<bool()>& done, int rounds = 400);
