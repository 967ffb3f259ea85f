// Test support, the network side: a client that plays a server on a
// loopback port (TESTCLIENT), a raw POSIX peer for hostile bytes,
// a loopback pair of buffered connections, and server slots wired to memory
// connections (PLUGGEDSLOTS). Test code only; each object is used by the
// thread that made it.
#pragma once

#include <bit>
#include <functional>

#include "shared/net.h"
#include "shared/protocol.h"

// A listener on PORT, a connected client (NEAR) and the accepted end (FAR).
struct LOOPBACKPAIR {
    explicit LOOPBACKPAIR(uint16_t port);
    ~LOOPBACKPAIR();
    bool OK = false;
    TCPsocket LISTENER = nullptr;
    NETCONNECTION NEAR;
    NETCONNECTION FAR;
};

std::vector<uint8_t> BYTES(std::initializer_list<int> values);

// Little-endian encodings of the wire's value types, from their definitions
// (two's complement integers, IEEE-754 reals), independent of the game's own.
struct GOLDEN {
    std::vector<uint8_t> B;
    GOLDEN& I(int32_t v) {
        for (int k = 0; k < 4; ++k) B.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * k)));
        return *this;
    }
    GOLDEN& F(float v) { return I(std::bit_cast<int32_t>(v)); }
    GOLDEN& D(double v) { return I(static_cast<int32_t>(std::bit_cast<uint64_t>(v))).I(static_cast<int32_t>(std::bit_cast<uint64_t>(v) >> 32)); }
    GOLDEN& S(const std::string& s) {
        I(static_cast<int32_t>(s.size())).B.insert(B.end(), s.begin(), s.end());
        return *this;
    }
};

// A plain POSIX TCP client to 127.0.0.1:PORT, for playing a hostile peer.
struct RAWPEER {
    ~RAWPEER();
    bool CONNECT(uint16_t port, int receivebuffer = 0);
    bool WRITE(const std::vector<uint8_t>& bytes);
    bool WRITEINT(int32_t value);
    bool WRITESTR(const std::string& text);
    // Non-blocking: bytes taken, 0 if full, -1 on error.
    long TRYWRITE(const std::vector<uint8_t>& bytes);
    // Up to COUNT bytes, waiting at most MS for them.
    std::vector<uint8_t> READ(size_t count, int ms);
    bool WAITCLOSED(int ms);
    void CLOSE();
    int FD = -1;
};

// Answers every FULLSTATE and UPDATE with CONTROLS and records what it receives.
struct TESTCLIENT {
    ~TESTCLIENT();
    // Connects and sends CODE.
    bool OPEN(uint16_t port, int32_t code = AUTHCODE);
    // OPEN, the slot number, name and READY, then polls until the first UPDATE.
    bool JOIN(uint16_t port, const std::string& name, int ms = 15000);
    // Handles one whole message: its kind, -1 if none, GOODBYE when gone.
    int32_t POLL();
    bool RUNUNTIL(const std::function<bool()>& predicate, int ms);
    void CLOSE();

    NETCONNECTION CONN;
    int32_t SLOT = -2;
    bool GONE = false;
    SHIPTABLE PLAYERS{};
    std::vector<std::string> LINES;
    int UPDATES = 0;
    uint32_t LASTUPDATEAT = 0, LONGESTUPDATEGAP = 0;
    std::vector<int32_t> SHOTSFIRED;
};

// Ticks the server in this thread, serving CLIENTS, until PREDICATE holds
// (true) or MS pass.
bool TICKUNTIL(std::vector<TESTCLIENT*> clients, const std::function<bool()>& predicate, uint32_t ms = 10000);
// CLIENT sends its code, NAME and READY at once to the server this thread
// ticks; true once its slot number is in.
bool TICKJOIN(TESTCLIENT& client, const std::string& name, std::vector<TESTCLIENT*> others);

// A server finder: a UDP socket on 127.0.0.1 (port OWNPORT, any when 0) that
// sends datagrams to PORT on 127.0.0.1 and takes the answers.
struct FINDER {
    explicit FINDER(uint16_t ownport = 0);
    ~FINDER();
    void SEND(const std::vector<uint8_t>& bytes, uint16_t port = 7778);
    // The next datagram into GOT, waiting at most MS for it; false if none came.
    bool TAKE(std::vector<uint8_t>& got, int ms);
    int FD = -1;
};

std::string COLOURED(int r, int g, int b, const std::string& text);

// Server slots on memory connections (no sockets, no waits): what the test
// writes to PEERS[slot] and flushes lands in the server's input of that
// slot, and NEXT reads what the server flushed to it (OUT[slot]).
struct PLUGGEDSLOTS {
    explicit PLUGGEDSLOTS(uint16_t unusedport = 0);
    ~PLUGGEDSLOTS();
    bool PLUG(int32_t slot, const std::string& name);
    // Next whole message the server sent SLOT (flushing every slot first)
    // as (kind, bytes); kind -1 if none.
    std::pair<int32_t, std::vector<uint8_t>> NEXT(int32_t slot);
    std::array<NETCONNECTION, SERVERSLOTS> PEERS;
    std::array<std::vector<uint8_t>, SERVERSLOTS> OUT;
    std::array<size_t, SERVERSLOTS> READAT{};
};
