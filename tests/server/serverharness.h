#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"
#include "tests/server/loopback.h"

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
