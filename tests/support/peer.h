// Test support, the network side: a game server thread on a loopback port,
// a client that plays it (TESTCLIENT), raw and buffered loopback peers, slots
// wired to loopback pairs, and a scripted server for the client's tests.
// Test code only; each object is used by the thread that made it.
#pragma once

#include <SDL_net.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

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

// GAMESERVER on 127.0.0.1:PORT in its own thread; STOP or the destructor ends it.
struct SERVERTHREAD {
    explicit SERVERTHREAD(uint16_t port);
    ~SERVERTHREAD();
    SERVERTHREAD(const SERVERTHREAD&) = delete;
    SERVERTHREAD& operator=(const SERVERTHREAD&) = delete;
    void STOP();
    bool RUNNING = false;
    uint16_t PORT;
    std::thread THREAD;
};

// Answers every FULLSTATE and UPDATE with CONTROLS and records what it receives.
struct TESTCLIENT {
    TESTCLIENT() = default;
    ~TESTCLIENT();
    TESTCLIENT(const TESTCLIENT&) = delete;
    TESTCLIENT& operator=(const TESTCLIENT&) = delete;

    bool OPEN(uint16_t port, int32_t code = AUTHCODE);
    // Waits for the slot number, then sends the name and READY.
    bool FINISHJOIN(const std::string& name, int ms = 15000);
    // OPEN and FINISHJOIN, then polls until the first UPDATE (FULLSTATE if !ANSWER).
    bool JOIN(uint16_t port, const std::string& name, int ms = 15000);
    // Handles one whole message: its kind, -1 if none, GOODBYE when gone.
    int32_t POLL();
    bool RUNUNTIL(const std::function<bool()>& predicate, int ms);
    void RUNFOR(int ms);
    void CLOSE();

    NETCONNECTION CONN;
    int32_t SLOT = -2;
    bool GONE = false;
    bool ANSWER = true;
    int32_t THRUST = 0;
    int32_t SHOOT = 0;
    double HEADING = 10.0;
    double TURNRATE = 0.0;
    SHIPTABLE PLAYERS{};
    BULLETTABLE BULLETS{};
    CHATBUFFER CHATS{};
    std::vector<std::string> LINES;
    std::vector<int32_t> KINDS;
    int UPDATES = 0;
    int FULLSTATES = 0;
    int64_t LASTUPDATEBYTES = 0;
    int64_t LASTFULLSTATEBYTES = 0;
    uint32_t LASTUPDATEAT = 0;
    uint32_t LONGESTUPDATEGAP = 0;
    std::vector<int32_t> SHOTSFIRED;
};

std::string COLOURED(int r, int g, int b, const std::string& text);

// Server slots wired to loopback pairs; PEER(slot) reads what the server queued.
struct PLUGGEDSLOTS {
    explicit PLUGGEDSLOTS(uint16_t firstport);
    ~PLUGGEDSLOTS();
    bool PLUG(int32_t slot, const std::string& name);
    NETCONNECTION& PEER(int32_t slot);
    // Next whole message queued for SLOT as (kind, bytes); kind -1 if none.
    std::pair<int32_t, std::vector<uint8_t>> NEXT(int32_t slot);
    std::vector<int32_t> DRAIN(int32_t slot);
    uint16_t NEXTPORT;
    std::vector<std::unique_ptr<LOOPBACKPAIR>> PAIRS;
    std::vector<int32_t> PAIRSLOT;
};
