// The game finder: asks "which games are here?" on UDP port 7778 and lists
// each game that answers once, sorted by name. One search owns one UDP
// socket (broadcast allowed, non-blocking, an ephemeral port) from
// FINDERSTART until it ends; nothing is sent before FINDERSTART. The query
// goes out three times (at 0, 0.5 and 1.0 s) because datagrams get lost.
// Threads: a FINDERTYPE belongs to the thread that started it (the
// pre-game screen's main thread, or vexil-find's only thread).
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t FINDERPORT = 7778;
constexpr uint32_t FINDERSEARCHMS = 1500;
constexpr int32_t FINDERSENDS = 3;
constexpr uint32_t FINDERSENDGAPMS = 500;
// Games kept per search: a flood of made-up servers cannot grow the list
// (or the screen's work) without end.
constexpr size_t FINDERMAXGAMES = 128;
// Datagrams read per FINDERPOLL: one frame never reads more than this.
constexpr int32_t FINDERREADSPERPOLL = 64;

// Where a query goes: the address and what the player is told about it
// ("eth0 (10.0.0.255)", "255.255.255.255", a host name as typed).
struct FINDERPLACE {
    in_addr_t HOST = 0;  // network byte order
    std::string LABEL;
};

// One game that answered.
struct FINDERGAME {
    in_addr_t HOST = 0;     // the answer's source address, network byte order
    std::string ADDRESS;    // HOST dotted, for the IP Address box
    std::string SHOWN;      // ADDRESS, with ":port" when its game port is not 7778
    uint16_t PORT = 7778;
    uint32_t SERVERID = 0;
    std::string NAME;       // as sent: show it through FINDERPRINTABLE
    int32_t PLAYERS = 0;
    int32_t SLOTS = 16;
};

struct FINDERTYPE {
    int SOCKET = -1;
    int32_t RUNNING = 0;       // 1 from FINDERSTART until the search ends
    int32_t SEARCHED = 0;      // 1 once a search has been started
    uint32_t TOKEN = 0;
    uint32_t STARTMS = 0;      // on the caller's millisecond clock
    uint32_t LENGTHMS = FINDERSEARCHMS;
    int32_t SENT = 0;          // rounds of queries sent so far (0..3)
    // End early once every place has answered (vexil-find's named hosts).
    int32_t ENDWHENALLANSWER = 0;
    std::vector<FINDERPLACE> PLACES;
    std::vector<int32_t> ANSWERED;  // per place: 1 once an answer came from it
    std::vector<FINDERGAME> GAMES;  // sorted by name, then address
    std::string ERROR;              // why the search could not start or send
};

// The broadcast address of every IPv4 interface that is up and can
// broadcast, then 255.255.255.255 and 127.0.0.1.
std::vector<FINDERPLACE> FINDERLOCALPLACES();
// HOSTS resolved to IPv4 addresses (every address of each name); the names
// that do not resolve are added to FAILED.
std::vector<FINDERPLACE> FINDERHOSTPLACES(const std::vector<std::string>& hosts, std::vector<std::string>& failed);
// "eth0 (10.0.0.255), 255.255.255.255 and 127.0.0.1".
std::string FINDERWHERE(const FINDERTYPE& finder);

// Forgets the last search's games, opens the socket, draws a fresh token and
// sends the first round. False (with ERROR set) when no socket can be had.
bool FINDERSTART(FINDERTYPE& finder, const std::vector<FINDERPLACE>& places, uint32_t nowms,
                 uint32_t lengthms = FINDERSEARCHMS);
// Never blocks: sends the rounds that are due, reads at most
// FINDERREADSPERPOLL answers, and ends the search (closing the socket) once
// its time is over. Returns RUNNING.
int32_t FINDERPOLL(FINDERTYPE& finder, uint32_t nowms);
// A steady millisecond clock for searches run by FINDERWAIT.
uint32_t FINDERNOWMS();
// For programs without a frame loop, on the FINDERNOWMS clock: waits in
// poll() (at most MAXMS) for an answer or the next round or the end, then
// polls. Returns RUNNING.
int32_t FINDERWAIT(FINDERTYPE& finder, uint32_t maxms);
// Ends a search at once and closes its socket; the games found stay.
void FINDERSTOP(FINDERTYPE& finder);
const std::vector<FINDERGAME>& FINDERRESULTS(const FINDERTYPE& finder);

// TEXT with every byte that is not printable ASCII replaced by '?', so that
// a name from the network can neither steer a terminal nor draw oddly.
std::string FINDERPRINTABLE(const std::string& text);
