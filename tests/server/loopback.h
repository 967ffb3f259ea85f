#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <SDL_net.h>

#include "shared/net.h"

// A listener on PORT, a connected client (NEAR) and the accepted end (FAR).
struct LOOPBACKPAIR {
    explicit LOOPBACKPAIR(uint16_t port);
    ~LOOPBACKPAIR();
    LOOPBACKPAIR(const LOOPBACKPAIR&) = delete;
    LOOPBACKPAIR& operator=(const LOOPBACKPAIR&) = delete;
    bool OK = false;
    TCPsocket LISTENER = nullptr;
    NETCONNECTION NEAR;
    NETCONNECTION FAR;
};

// Flushes FROM and returns what arrives on TO (bounded wait).
std::vector<uint8_t> SHIP(NETCONNECTION& from, NETCONNECTION& to);

std::vector<uint8_t> BYTES(std::initializer_list<int> values);

// A plain POSIX TCP client to 127.0.0.1:PORT, for playing a hostile peer.
struct RAWPEER {
    RAWPEER() = default;
    ~RAWPEER();
    RAWPEER(const RAWPEER&) = delete;
    RAWPEER& operator=(const RAWPEER&) = delete;
    bool CONNECT(uint16_t port, int receivebuffer = 0);
    bool WRITE(const std::vector<uint8_t>& bytes);
    bool WRITEINT(int32_t value);
    bool WRITESTR(const std::string& text);
    // Non-blocking: bytes taken, 0 if full, -1 on error.
    long TRYWRITE(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> READ(size_t count, int ms);
    bool WAITCLOSED(int ms);
    void CLOSE();
    int FD = -1;
};
