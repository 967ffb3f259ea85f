// Test helpers: a connected pair of buffered connections over loopback, and
// a raw-socket peer for driving a server byte by byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <SDL_net.h>

#include "shared/net.h"

// A listening socket on 127.0.0.1:PORT, one client connected to it and the
// accepted end; both ends attached to NETCONNECTION records with their own
// one-member sets. Everything is closed when the object dies.
struct LOOPBACKPAIR {
    explicit LOOPBACKPAIR(uint16_t port);
    ~LOOPBACKPAIR();
    LOOPBACKPAIR(const LOOPBACKPAIR&) = delete;
    LOOPBACKPAIR& operator=(const LOOPBACKPAIR&) = delete;
    bool OK = false;
    TCPsocket LISTENER = nullptr;
    NETCONNECTION NEAR;  // the connecting end
    NETCONNECTION FAR;   // the accepted end
};

// Everything queued on FROM is flushed and all of it collected on TO
// (bounded wait); returns the bytes, or fewer if they did not all arrive.
std::vector<uint8_t> SHIP(NETCONNECTION& from, NETCONNECTION& to);

std::vector<uint8_t> BYTES(std::initializer_list<int> values);

// A plain POSIX TCP client to 127.0.0.1:PORT: full control over every write
// and over the receive window, for playing a hostile peer.
struct RAWPEER {
    RAWPEER() = default;
    ~RAWPEER();
    RAWPEER(const RAWPEER&) = delete;
    RAWPEER& operator=(const RAWPEER&) = delete;
    // RECEIVEBUFFER > 0 sets SO_RCVBUF before connecting.
    bool CONNECT(uint16_t port, int receivebuffer = 0);
    // Writes all bytes (blocking); false when the connection broke.
    bool WRITE(const std::vector<uint8_t>& bytes);
    bool WRITEINT(int32_t value);
    bool WRITEDBL(double value);
    bool WRITESTR(const std::string& text);
    // Non-blocking write attempt; returns bytes the kernel took (0 if full, -1 on error).
    long TRYWRITE(const std::vector<uint8_t>& bytes);
    // Reads until COUNT bytes have arrived, the peer closes, or MS pass.
    std::vector<uint8_t> READ(size_t count, int ms);
    // True when the server has closed the connection (EOF or reset) within MS.
    bool WAITCLOSED(int ms);
    void CLOSE();
    int FD = -1;
};
