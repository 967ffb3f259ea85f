// World model: the ship, projectile and star records, the fixed global
// tables of both the server and the client copy of the world, the random
// generator and the real-to-integer conversions every other module uses.
// Threads: SERVER* tables belong to the server thread. The CLIENT* tables
// are thread_local: each thread that runs a client (the game's main thread,
// or each bot of vexil-bots) has its own copy of the client's world. The
// random generator keeps one state per thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct SDL_Surface;

// Storage class of the client's per-thread state (the tables below, the
// client's connection in net.h, its per-connection and clock state in
// client/). GCC 12 with -fsanitize=null miscompiles the null check of a
// thread_local's address under the exec TLS models (it branches on flags
// that the address computation never set); under the general-dynamic model,
// which the linker relaxes to the same code, the check is right.
#define CLIENTTHREADLOCAL thread_local __attribute__((tls_model("global-dynamic")))

// One player's ship.
struct SHIPTYPE {
    double X = 0;
    double Y = 0;
    double XVELOC = 0;
    double YVELOC = 0;
    double XACCEL = 0;
    double YACCEL = 0;
    int32_t DAMAGE = 0;
    int32_t SHOOTING = 0;
    int32_t WEAPON = 0;
    int32_t FRAME = 0;
    int32_t DIRECTION = 0;
    double SUBDIRECTION = 0;
    double DELTATHETA = 0;
    int32_t CURRENTACCELERATION = 0;
    SDL_Surface* GRAPHIC = nullptr;
    SDL_Surface* CURRENTGRAPHIC = nullptr;
    int32_t GUNHEAT = 0;
    double GUNTIMER = 0;
    int32_t HEALTH = 0;
    int32_t MAXHEALTH = 0;
    int32_t CONNECTED = 0;
    std::string PLAYERNAME;
    int32_t KILLS = 0;
};

// One projectile; SPRITE 0 marks a free slot.
struct BULLETTYPE {
    float X = 0;
    float Y = 0;
    int32_t SPEED = 0;
    int32_t DIRECTION = 0;
    int32_t OWNER = 0;
    int32_t SPRITE = 0;
    int32_t ANIM = 0;
};

// One background star; SPRITE 0 is a star that is never drawn.
struct STARTYPE {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t SPRITE = 0;
};

constexpr int MAXPLAYERS = 16;     // ship slots 0..15
constexpr int MAXBULLETS = 1025;   // projectile slots 0..1024
constexpr int MAXSTARS = 1025;     // stars 0..1024
constexpr int CHATLINES = 13;      // chat lines 0..12, 0 the newest

constexpr double HEADINGTORADIANS = 0.09817477042468103;  // pi / 32
constexpr double TURNRATE = 21.33333333333333;            // heading units per second
constexpr double ARENAEDGE = 5000.0;

using SHIPTABLE = std::array<SHIPTYPE, MAXPLAYERS>;
using BULLETTABLE = std::array<BULLETTYPE, MAXBULLETS>;
using STARTABLE = std::array<STARTYPE, MAXSTARS>;
using CHATBUFFER = std::array<std::string, CHATLINES>;

// Server copy of the world (server thread only).
extern SHIPTABLE SERVERPLAYERS;
extern BULLETTABLE SERVERBULLETS;
extern STARTABLE SERVERSTARFIELD;
extern CHATBUFFER SERVERCHATBUFFER;

// Client copy of the world: one per client thread (the game has one, the
// main thread).
extern CLIENTTHREADLOCAL SHIPTABLE CLIENTPLAYERS;
extern CLIENTTHREADLOCAL BULLETTABLE CLIENTBULLETS;
extern CLIENTTHREADLOCAL STARTABLE CLIENTSTARFIELD;
extern CLIENTTHREADLOCAL CHATBUFFER CLIENTCHATBUFFER;
extern CLIENTTHREADLOCAL int32_t CLIENTCURRENTPLAYERSHIP;
extern CLIENTTHREADLOCAL int32_t CLIENTPVPVARX;
extern CLIENTTHREADLOCAL int32_t CLIENTPVPVARY;

// Whole values 0..32767 from the calling thread's own generator. Every
// thread's generator starts in the same state, so two processes (or the
// client thread of a hosting process and a joining process) draw the same
// sequence.
int32_t RANDOMINT();
// Uniform in [0, 1) in steps of 1/32768.
double RANDOMVALUE();
// floor(random * 10000) - 5000: a whole coordinate from -5000 to 4999.
int32_t RANDOMARENACOORDINATE();
// Puts the calling thread's generator back to its start state (tests only).
void RESETRANDOM();
// The calling thread's generator state, read and restored by recordings.
uint32_t RANDOMSTATENOW();
void SETRANDOMSTATE(uint32_t state);

// Real to whole number: nearest, halves to even.
int32_t ROUNDEVEN(double value);
// Real to whole number towards minus infinity.
int32_t FLOORINT(double value);

// Moves every chat line one place older (12 takes 11, ..., 1 takes 0; the
// old line 12 is lost) and stores LINE as the newest.
void PUSHCHATLINE(CHATBUFFER& buffer, const std::string& line);
