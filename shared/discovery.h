// The discovery datagrams: how a finder asks "which games are here?" on UDP
// port 7778 and how a server answers. Only the layout lives here (writers
// and readers side by side); the sockets are the server's and the finder's.
//
// Every value is little-endian; strings are a 1-byte length and that many
// bytes (no terminator, any bytes).
//
// QUERY, always exactly DISCOVERYQUERYBYTES (1200) bytes:
//   0  4  "VXQ?"  magic
//   4  1  format version, 1
//   5  1  0 (reserved)
//   6  4  token: any value; the answer echoes it so the finder can match it
//  10  -  zero bytes up to 1200. The padding makes every query at least as
//         large as any answer, so a forged source address gets its victim
//         no more bytes than the forger sent.
// ANSWER, at most DISCOVERYMAXANSWERBYTES (738) bytes:
//   0  4  "VXA!"  magic
//   4  1  format version, 1
//   5  1  0 (reserved)
//   6  4  token of the query answered
//  10  2  TCP port of the game
//  12  4  server id: drawn at random when the server starts, the same in
//         every answer, so a finder reached by one server over several
//         addresses lists it once
//  16  1  players in play, n (0..16)
//  17  1  player slots, 16
//  18     STR game version (at most 15 bytes)
//         STR server name (at most 63 bytes)
//         n times: 1 byte slot (0..15), STR player name (at most 38 bytes)
// A reader rejects a datagram of the wrong size, magic or version, a query
// whose padding is not zero, and an answer whose strings or players run
// past its end, leave bytes over, or name a slot twice or out of range.
// Threads: none of their own; pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t DISCOVERYFORMAT = 1;
constexpr size_t DISCOVERYQUERYBYTES = 1200;
constexpr size_t DISCOVERYVERSIONMAX = 15;
constexpr size_t DISCOVERYSERVERNAMEMAX = 63;
constexpr size_t DISCOVERYPLAYERNAMEMAX = 38;
constexpr size_t DISCOVERYMAXANSWERBYTES =
    18 + (1 + DISCOVERYVERSIONMAX) + (1 + DISCOVERYSERVERNAMEMAX) + 16 * (2 + DISCOVERYPLAYERNAMEMAX);
static_assert(DISCOVERYMAXANSWERBYTES <= DISCOVERYQUERYBYTES, "an answer must never outgrow its query");

struct DISCOVERYPLAYER {
    int32_t SLOT = 0;
    std::string NAME;
};

// What an answer says about one server.
struct DISCOVERYINFO {
    uint32_t TOKEN = 0;
    uint16_t PORT = 7778;
    uint32_t SERVERID = 0;
    int32_t SLOTS = 16;
    std::string VERSION;
    std::string NAME;
    std::vector<DISCOVERYPLAYER> PLAYERS;  // in slot order
};

// The 1200 bytes of a query carrying TOKEN.
std::vector<uint8_t> DISCOVERYWRITEQUERY(uint32_t token);
// True when BYTES[0..COUNT) is a well-formed query; its token into TOKEN.
bool DISCOVERYREADQUERY(const uint8_t* bytes, size_t count, uint32_t& token);
// The answer for INFO: strings cut to their limits, at most 16 players
// (those with a slot outside 0..15 or named twice are left out).
std::vector<uint8_t> DISCOVERYWRITEANSWER(const DISCOVERYINFO& info);
// True when BYTES[0..COUNT) is a well-formed answer; its contents into INFO.
bool DISCOVERYREADANSWER(const uint8_t* bytes, size_t count, DISCOVERYINFO& info);
