// Test harness for the server: the server loop in a thread of the test
// process, a well-behaved client speaking the protocol over loopback, and
// slots plugged straight into loopback pairs for tests that drive the server
// operations by hand in one thread.
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

// Runs GAMESERVER on 127.0.0.1:PORT in its own thread. The constructor
// clears every server table, resets the shared flags and waits (bounded) for
// the first connection pass; STOP (or the destructor) sets QUITLOOP, joins
// the thread and releases every socket.
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

// A client that behaves as the game's client does: it answers every
// FULLSTATE and UPDATE with CONTROLS and records everything it receives.
struct TESTCLIENT {
    TESTCLIENT() = default;
    ~TESTCLIENT();
    TESTCLIENT(const TESTCLIENT&) = delete;
    TESTCLIENT& operator=(const TESTCLIENT&) = delete;

    // Connects and sends the code; false when the connection cannot be made.
    bool OPEN(uint16_t port, int32_t code = AUTHCODE);
    // Waits (up to MS) for the slot number; then sends the name and READY.
    // Returns true when a slot (not -1) was given.
    bool FINISHJOIN(const std::string& name, int ms = 15000);
    // OPEN and FINISHJOIN, then polls until the first UPDATE (FULLSTATE for
    // a client that does not ANSWER) has arrived.
    bool JOIN(uint16_t port, const std::string& name, int ms = 15000);
    // Handles at most one whole message: returns its kind, -1 when none is
    // whole yet, GOODBYE when the connection is gone.
    int32_t POLL();
    // Polls until PREDICATE holds or MS pass; true when it held.
    bool RUNUNTIL(const std::function<bool()>& predicate, int ms);
    void RUNFOR(int ms);
    void CLOSE();

    NETCONNECTION CONN;
    int32_t SLOT = -2;
    bool GONE = false;
    bool ANSWER = true;
    // What this client sends in its CONTROLS.
    int32_t THRUST = 0;
    int32_t SHOOT = 0;
    double HEADING = 10.0;
    double TURNRATE = 0.0;
    // What it has received.
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
    std::vector<std::pair<int32_t, int32_t>> KILLCOUNTS;
    std::vector<int32_t> SHOTSFIRED;
    std::vector<int32_t> SHOTSGONE;
};

// The bytes of a chat line: colour then text.
std::string COLOURED(int r, int g, int b, const std::string& text);

// Server slots wired by hand to loopback pairs, for single-threaded tests of
// the server operations. Each plugged slot is CONNECTED with the given name;
// the test reads what the server queued for it from PEER(slot). Clears the
// server tables first and releases everything when it dies.
struct PLUGGEDSLOTS {
    explicit PLUGGEDSLOTS(uint16_t firstport);
    ~PLUGGEDSLOTS();
    bool PLUG(int32_t slot, const std::string& name);
    NETCONNECTION& PEER(int32_t slot);
    // Flushes the server side of every slot and returns the next whole
    // server-to-client message queued for SLOT as (kind, bytes); kind -1
    // when none arrives.
    std::pair<int32_t, std::vector<uint8_t>> NEXT(int32_t slot);
    // Reads every message now queued for SLOT and returns their kinds.
    std::vector<int32_t> DRAIN(int32_t slot);
    uint16_t NEXTPORT;
    std::vector<std::unique_ptr<LOOPBACKPAIR>> PAIRS;
    std::vector<int32_t> PAIRSLOT;
};
