// Shared pieces of the benchmark programs: clocks (wall and per-thread CPU),
// simple statistics, the result rows the table script collects, a scratch
// run folder, the process's peak resident size, and BENCHPLAYER, a player
// that joins a server over loopback and plays at the game's frame rate
// through the same buffered connection and message code as the game.
// Threads: every BENCHPLAYER is used by one thread only; the rest keeps no
// shared state.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

// Monotonic wall clock and the calling thread's CPU clock, in seconds.
double WALLNOW();
double CPUNOW();
// Sleeps until the monotonic clock reads SECONDS.
void SLEEPUNTIL(double seconds);

struct STATS {
    size_t COUNT = 0;
    double MEAN = 0;
    double MEDIAN = 0;
    double P99 = 0;
    double MAX = 0;
};
STATS SUMMARISE(std::vector<double> values);

// One row of the result table. run.sh collects every line that starts with
// "ROW|" from the programs' standard output:
//   ROW|figure|measured|reference|ratio|target|verdict
void ROW(const std::string& figure, const std::string& measured, const std::string& reference,
         const std::string& ratio, const std::string& target, const std::string& verdict);
std::string FIXED(double value, int decimals);
std::string VERDICT(bool met);

// A fresh folder under /tmp holding a link to the repository's data/ and a
// config.cfg for 800 x 600 x 32; it becomes the working directory. Returns
// its path.
std::string MAKESCRATCHRUNFOLDER();
void REMOVESCRATCHRUNFOLDER(const std::string& path);

// Peak resident set size (VmHWM) of this process, in KiB; -1 if unknown.
long PEAKRESIDENTKIB();

// A TCP port in [FIRST, LAST] nobody listens on right now (0 if none).
uint16_t FREEPORT(uint16_t first, uint16_t last);

// Points standard output at /dev/null (the sprite loading trace) and back.
int MUTESTDOUT();
void RESTORESTDOUT(int saved);

// A loopback player. OPEN connects and sends the code; FINISHJOIN waits for
// the slot, then sends the name and READY. FRAME is one game frame: take in
// what has arrived, apply at most one whole message (answering the first
// FULLSTATE and every UPDATE with CONTROLS, as the game's client does) and
// hand what was queued to the kernel with one send.
struct BENCHPLAYER {
    BENCHPLAYER() = default;
    ~BENCHPLAYER();
    BENCHPLAYER(const BENCHPLAYER&) = delete;
    BENCHPLAYER& operator=(const BENCHPLAYER&) = delete;

    bool OPEN(uint16_t port);
    bool FINISHJOIN(const std::string& name, double seconds);
    bool JOIN(uint16_t port, const std::string& name, double seconds);
    // Returns the kind applied, -1 when no whole message was waiting, and
    // GOODBYE once the connection is gone.
    int32_t FRAME();
    // Applies the first whole message if there is one (no pump, no flush).
    int32_t APPLYONE();
    // True when a whole UPDATE is among the buffered messages (nothing taken).
    bool UPDATEBUFFERED() const;
    void CLOSE();

    NETCONNECTION CONN;
    int32_t SLOT = -2;
    bool GONE = false;
    bool ANSWEREDFULLSTATE = false;
    bool CONTROLSQUEUED = false;
    // What this player sends: it turns slowly, thrusts now and then, fires.
    int32_t THRUST = 0;
    int32_t SHOOT = 1;
    double HEADING = 10;
    uint64_t FRAMES = 0;
    // What it has received: whole messages and their bytes.
    uint64_t MESSAGES = 0;
    uint64_t PAYLOADBYTES = 0;
    uint64_t UPDATES = 0;
    size_t LASTLENGTH = 0;  // bytes of the last whole message applied
    SHIPTABLE PLAYERS{};
    BULLETTABLE BULLETS{};
    CHATBUFFER CHATS{};
};

// Plays every player in PLAYERS at FPS frames per second, their frames
// spread evenly over the frame period, until STOP is set, every player is
// gone, or LIMITSECONDS pass.
void RUNPLAYERS(std::vector<BENCHPLAYER*>& players, double fps, const std::atomic<bool>& stop, double limitseconds);
