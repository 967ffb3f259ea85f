// The program's spine: the stop flag and the hosting flag that the two
// threads share, the start-up strings, the trace hook, the remembered
// defaults file and the sprite tables loaded at start.
// Threads: QUITLOOP and SERVERHOSTING are atomics written and polled by both
// threads; VX_HOSTNAME and VX_PLAYERNAME are written by the main thread before
// the server thread exists and only read afterwards; the sprite tables are
// filled by the main thread before either loop runs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

struct SDL_Surface;

// Non-zero asks every loop to end; only ever changes from 0 to 1.
extern std::atomic<int32_t> QUITLOOP;
// Set to 1 by every connection pass of the server; the hosting client waits for it.
extern std::atomic<int32_t> SERVERHOSTING;
extern std::string VX_HOSTNAME;
extern std::string VX_PLAYERNAME;

constexpr const char* HOSTINGADDRESS = "127.0.0.1";
// TCP port of the game: 7778. The game never changes it; tests that run
// several servers side by side in one process set it before starting them.
extern int32_t GAMEPORT;

// Trace points of the game code: every text is discarded.
void DEBUGMESSAGE(const char* x);

// True when the host address, with surrounding spaces removed, is exactly
// "127.0.0.1": this process then runs the server.
bool ISHOSTADDRESS(const std::string& hostname);
// Surrounding spaces removed.
std::string TRIMSPACES(const std::string& text);

// "defaults.cfg": host name then player name, one token each.
void READDEFAULTS(const char* path, std::string& hostname, std::string& playername);
void WRITEDEFAULTS(const char* path, const std::string& hostname, const std::string& playername);

// Sprite tables: [row][heading column].
using SPRITESET = std::array<std::array<SDL_Surface*, 65>, 4>;
extern SPRITESET PLAYER1SPRITES;
extern SPRITESET PLAYER2SPRITES;
extern SPRITESET PLAYER3SPRITES;
extern SPRITESET PLAYER4SPRITES;
extern std::array<std::array<SDL_Surface*, 65>, 17> BULLETSPRITES;
extern std::array<SDL_Surface*, 10> STARSPRITES;

// Loads every bitmap and makes the 64 turned copies of each ship and
// projectile image. Needs the video mode; ends the process on a missing file.
void LOADGRAPHICS();
// One turned copy: the picture with magenta made fully transparent, turned
// clockwise by COLUMN * 5.625 degrees with smoothing, with per-pixel alpha.
SDL_Surface* MAKETURNEDSPRITE(SDL_Surface* source, int column);
