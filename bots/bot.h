// Bots: headless players that join a server over the real protocol with the
// game client's own networking (CLIENTSTARTNETWORK, CLIENTNETGETDATAPACKET,
// CLIENTNETFLUSH) and prediction (CLIENTPHYSICS, CLIENTBULLETPHYSICS), and
// steer their own ship instead of reading keys: turn toward the nearest
// other ship, thrust, fire.
// Threads: each bot runs BOTRUN in a thread of its own. The client's world,
// connection and clocks are thread_local, so every bot has its own copy; the
// BOTTYPE counters are atomics that other threads may read while it plays,
// and BOTSTOP is the process-wide stop flag (a signal handler may set it).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "shared/world.h"

// Frame length of a bot, as the game's default frame period.
constexpr uint32_t BOTFRAMEMS = 33;

// Set to 1 to make every bot of the process leave at its next frame.
extern std::atomic<int32_t> BOTSTOP;

// A bot's personality and its private random sequence (not the world's
// generator, so bots started alike still differ).
struct BOTMIND {
    uint32_t RANDOMSTATE = 1;
    double AIMTOLERANCE = 3.0;  // heading units off target within which it fires
    double DEADBAND = 0.6;      // heading units off target it does not turn for
    double CLOSE = 250.0;       // nearer than this it backs off
    double FAR = 700.0;         // farther than this it thrusts toward the target
    uint32_t WANDERUNTIL = 0;   // NETNOW() when the wandering turn is chosen anew
    double WANDERTURN = 0;      // turn rate while no other ship is there
};

// A uniform value in [0, 1) from the mind's own sequence.
double BOTRANDOM(BOTMIND& mind);
// A mind whose limits are spread at random around the defaults.
BOTMIND BOTNEWMIND(uint32_t seed);

// The heading (0 to 64, 0 up, clockwise) that points along (DX, DY).
double BOTHEADINGTO(double dx, double dy);
// The shortest turn from heading FROM to heading TO, in (-32, 32].
double BOTTURNBY(double from, double to);
// The nearest other connected ship to slot OWN, or -1 when there is none.
int32_t BOTNEARESTSHIP(const SHIPTABLE& ships, int32_t own);
// One frame of decisions: sets DELTATHETA, CURRENTACCELERATION, SHOOTING,
// FRAME and DIRECTION of ships[OWN] the way CLIENTCONTROLS sets them from
// keys. NOW (milliseconds) paces the wandering when it is alone.
void BOTSTEER(BOTMIND& mind, SHIPTABLE& ships, int32_t own, uint32_t now);

// One bot: what it is told, and what it has seen (read by other threads).
struct BOTTYPE {
    // Set before BOTRUN starts.
    std::string NAME = "bot";
    std::string HOST = "localhost";
    uint32_t SEED = 1;
    double SECONDS = 0;       // play time; 0 plays until stopped or dropped
    int32_t CHATLINES = 0;    // chat lines to send, one every CHATEVERY frames
    int32_t CHATEVERY = 1;
    std::string RECORDDIR;    // records its game into this folder ("" records nothing)
    // Set by another thread to make just this bot leave.
    std::atomic<bool> LEAVE{false};
    // Written by the bot.
    std::atomic<int32_t> SLOT{-1};
    std::atomic<bool> JOINED{false};      // the handshake succeeded
    std::atomic<bool> FAILED{false};      // it could not join
    std::atomic<bool> DROPPED{false};     // the server ended its connection
    std::atomic<bool> ENDED{false};       // BOTRUN has returned
    std::atomic<uint64_t> FRAMES{0};
    std::atomic<uint64_t> MESSAGES{0};    // server messages applied
    std::atomic<uint64_t> UPDATES{0};
    std::atomic<uint64_t> FULLSTATES{0};
    std::atomic<uint64_t> SHOTSSEEN{0};   // SHOTFIRED received
    std::atomic<uint64_t> CHATSSEEN{0};   // chat lines received
    std::atomic<uint64_t> CHATSSENT{0};
    std::atomic<uint64_t> FRAMESSHOOTING{0};
    std::atomic<uint32_t> LASTUPDATEAT{0};      // NETNOW() of the latest UPDATE
    std::atomic<uint32_t> LONGESTUPDATEGAP{0};  // longest wait between UPDATEs, ms
    std::atomic<int32_t> OTHERSSEEN{0};   // other connected ships in the latest state
};

// The thread body of one bot: joins BOT.HOST on GAMEPORT under BOT.NAME,
// plays one frame every BOTFRAMEMS until BOTSTOP, BOT.LEAVE, BOT.SECONDS or
// the server ends the connection, then closes its connection. Joins are
// made one bot at a time (the client's handshake reads the process-wide
// VX_PLAYERNAME and VX_HOSTNAME). Never touches the display.
void BOTRUN(BOTTYPE& bot);
