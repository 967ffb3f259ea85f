#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <SDL_net.h>

#include "shared/net.h"

void RESETCLIENTSTATE();

void STARTGAMEVIDEO();

SDL_Surface* SOLIDSURFACE(int w, int h, int r, int g, int b);

struct SCRIPTSERVER {
    SCRIPTSERVER();
    ~SCRIPTSERVER();
    SCRIPTSERVER(const SCRIPTSERVER&) = delete;
    SCRIPTSERVER& operator=(const SCRIPTSERVER&) = delete;
    bool ACCEPT(int ms);
    void FLUSH();
    bool WAITBYTES(size_t count, int ms = 2000);
    void DROP();
    TCPsocket LISTENER = nullptr;
    SDLNet_SocketSet SET = nullptr;
    NETCONNECTION CONN;
};

bool HANDSHAKE(SCRIPTSERVER& server, int32_t slot, int32_t* code = nullptr, std::string* name = nullptr);

bool DISPATCHUNTIL(const std::function<bool()>& done, int rounds = 400);
