// Feeds one peer's whole byte stream to the game's own wire readers through
// a memory connection (no sockets, no waits): FUZZSTREAM, for the fuzz
// targets and for the regression test that replays their inputs, and
// (built with VEXIL_FUZZSIDE, 0 server, 1 client) the libFuzzer target of
// that side, for which a failed check ends the run like a crash.
// Server side: a bystander player, admitted once, holds slot 0 and only
// listens; the stream is accepted into slot 1 and server ticks run on a
// hand-moved clock until the server lets it go. Client side: the stream is
// the server's answer from the slot number on; the client's handshake and
// frame steps run until it finds the connection closed.
// Discovery: a server input that starts "VXQ?" is a list of datagrams for
// the server's discovery pass instead (SERVERDATAGRAMS below); every client
// input is also handed to the discovery answer reader.
// Threads: everything runs in the caller's thread.
#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "client/render.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "server/server.h"
#include "shared/discovery.h"
#include "shared/protocol.h"
#include "shared/version.h"

static uint32_t CLOCKNOW = 1000;
static std::vector<uint8_t> HEARD, BACK;  // what the bystander and the stream's own peer were sent

// Takes the whole messages of BYTES from OFFSET on as a client in slot
// OWNSLOT reads them (as a server does when OWNSLOT is -1); false on the
// first one the reader cannot take or that the other side never sends.
static bool READABLE(std::vector<uint8_t>& bytes, size_t offset, int32_t ownslot) {
    const auto length = [&] { return ownslot < 0 ? PROTOTOSERVERLENGTH(bytes.data() + offset, bytes.size() - offset)
                                                 : PROTOTOCLIENTLENGTH(bytes.data() + offset, bytes.size() - offset, ownslot); };
    for (int64_t whole; (whole = length()) != 0; offset += static_cast<size_t>(whole)) {
        const int32_t kind = whole > 0 ? NETREADINT(bytes.data() + offset) : -1;
        if (ownslot < 0 ? kind != READY && kind != CONTROLS && kind != CHAT : kind < FULLSTATE || kind > KILLCOUNT || kind == CONTROLS)
            return false;
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

// The projectile steps walk all 1025 slots; most streams never fire, so
// the ticks leave them out while none is in flight.
__attribute__((no_sanitize_address)) static bool INFLIGHT(const BULLETTABLE& bullets) {
    for (const BULLETTYPE& bullet : bullets)
        if (bullet.SPRITE != 0) return true;
    return false;
}

// One server tick, in which the stream's slot (1) may take up to sixteen
// whole messages instead of one: the same dispatcher and bytes in far
// fewer ticks. A refusal's or a disconnect's 50 ms pause passes in one.
static void SERVERPASS() {
    SERVERWAITFORCONNECTIONS();
    for (int more = 0; more < 15 && SERVERTCPSOCKS[1] != nullptr && NETUNREAD(SERVERCONNECTIONS[1]) != 0; ++more)
        SERVERNETGETDATAPACKET(1);
    SERVERPHYSICS();
    if (INFLIGHT(SERVERBULLETS)) SERVERBULLETPHYSICS();
    SERVERFLUSHALL();
    KELDELAY(SERVERSLOTSTATES[1].STAGE == SLOTREFUSING || SERVERSLOTSTATES[1].STAGE == SLOTCLOSING ? 50 : 5);
}

// Datagram mode: after "VXQ?", records of a source (1 byte: one of eight,
// the last four of which no answer may go to), a clock step in ms taken
// before the datagram (1 byte; the datagrams before it are all read first),
// a length (2 bytes, little-endian) and that many bytes (fewer at the end).
struct DATAGRAM {
    const uint8_t* BYTES;
    size_t SIZE;
    uint32_t HOST;
    uint16_t PORT;
};
static const uint32_t SOURCEHOSTS[8] = {htonl(0x7F000001), htonl(0x7F000002), htonl(0x0A010203), htonl(0xC0A80109),
                                        htonl(0x7F000001), 0, htonl(0xE0000001), 0xFFFFFFFF};
static const uint16_t SOURCEPORTS[8] = {40000, 40001, 5000, 1, 0, 40000, 40000, 40000};
static std::vector<DATAGRAM> DATAGRAMS;
static size_t DATAGRAMSREAD = 0;
static const char* DATAGRAMFAULT = nullptr;
// Per source address: the time of its first answer and its answers so far.
static std::map<uint32_t, std::pair<uint32_t, uint32_t>> ANSWEREDBY;

static bool DATAGRAMIN(uint8_t* buffer, size_t room, size_t& size, uint32_t& host, uint16_t& port) {
    if (DATAGRAMSREAD == DATAGRAMS.size()) return false;
    const DATAGRAM& next = DATAGRAMS[DATAGRAMSREAD++];
    std::memcpy(buffer, next.BYTES, std::min(room, next.SIZE));
    size = next.SIZE, host = next.HOST, port = next.PORT;
    return true;
}

// An answer goes only to a well-formed query from one of the first four
// sources, is no larger, reads back with its token and the bystander, and
// keeps within both budgets (each starts full at its first answer).
static void DATAGRAMOUT(const uint8_t* bytes, size_t size, uint32_t host, uint16_t port) {
    const DATAGRAM& asked = DATAGRAMS[DATAGRAMSREAD - 1];
    const auto source = std::find(SOURCEHOSTS, SOURCEHOSTS + 4, host) - SOURCEHOSTS;
    uint32_t token = 0;
    DISCOVERYINFO info;
    auto& [since, answered] = ANSWEREDBY.try_emplace(host, CLOCKNOW, 0).first->second;
    auto& [allsince, all] = ANSWEREDBY.try_emplace(0, CLOCKNOW, 0).first->second;
    if (host != asked.HOST || source == 4 || port != SOURCEPORTS[source] || size > asked.SIZE ||
        !DISCOVERYREADQUERY(asked.BYTES, asked.SIZE, token) || !DISCOVERYREADANSWER(bytes, size, info) || info.TOKEN != token ||
        info.PORT != GAMEPORT || info.VERSION != VEXILVERSION || info.PLAYERS.size() != 1 || info.PLAYERS[0].NAME != "bystander")
        DATAGRAMFAULT = "discovery answered what it must not, more than was asked, or what a finder cannot read";
    if (++answered > SERVERQUERYBURST + (CLOCKNOW - since) / SERVERQUERYREFILLMS ||
        ++all > SERVERQUERYALLBURST + (CLOCKNOW - allsince) / SERVERQUERYALLREFILLMS)
        DATAGRAMFAULT = "discovery answered past its budget";
}

static const char* SERVERDATAGRAMS(const uint8_t* data, size_t size) {
    DATAGRAMS.clear(), ANSWEREDBY.clear(), DATAGRAMSREAD = 0, DATAGRAMFAULT = nullptr;
    SERVERDISCOVERYRECEIVE = DATAGRAMIN, SERVERDISCOVERYSEND = DATAGRAMOUT;
    for (size_t at = 4; at + 4 <= size;) {
        // A clock step: everything before it is read first.
        for (; data[at + 1] != 0 && DATAGRAMSREAD < DATAGRAMS.size();) SERVERDISCOVERYPASS();
        CLOCKNOW += data[at + 1];
        const size_t length = std::min<size_t>(data[at + 2] | data[at + 3] << 8, size - at - 4);
        DATAGRAMS.push_back({data + at + 4, length, SOURCEHOSTS[data[at] % 8], SOURCEPORTS[data[at] % 8]});
        at += 4 + length;
    }
    while (DATAGRAMSREAD < DATAGRAMS.size()) SERVERDISCOVERYPASS();
    SERVERDISCOVERYUSESOCKET();
    return DATAGRAMFAULT;
}

static const char* SERVERSTREAM(const uint8_t* data, size_t size) {
    // Fresh tables, then the bystander: a well-behaved player that joins
    // (code, name, READY) and then only listens, never counted as silent.
    // It rests where a newcomer arrives (the same place every stream), so
    // shots, hits and kills are within the stream's reach.
    static const char HELLO[] = "\x85\xb4\0\0\x09\0\0\0bystander\x01\0\0\0";
    SERVERSILENCELIMITMS.store(UINT32_MAX);
    // The hand clock moves 5 ms a pass: with a player's own chat budget most
    // of a stream's lines would be held back unread by the relay.
    SERVERCHATBURST.store(1 << 20);
    SERVERRELEASE();
    NETQUEUEMEMORY(reinterpret_cast<const uint8_t*>(HELLO), sizeof HELLO - 1, false, &HEARD);
    SERVERPASS();
    RESETRANDOM();
    SERVERPLAYERS[0].X = RANDOMARENACOORDINATE() - 34;
    SERVERPLAYERS[0].Y = RANDOMARENACOORDINATE() - 30;
    RESETRANDOM();
    HEARD.clear();
    if (!SERVERSLOTINPLAY(0)) return "the bystander could not join";
    if (size >= 4 && std::memcmp(data, "VXQ?", 4) == 0) return SERVERDATAGRAMS(data, size);
    NETQUEUEMEMORY(data, size, true, &BACK);
    for (size_t pass = 0; pass < size / 4 + 256 && (pass == 0 || SERVERTCPSOCKS[1] != nullptr); ++pass) SERVERPASS();
    // The stream's own answer: for a wrong code the refusal's -1 alone;
    // else its slot number and what a joined player is sent, or nothing
    // (a broken name fails the connection and drops its output).
    const bool refused = size < 4 || NETREADINT(data) != AUTHCODE;
    const int32_t answer = BACK.size() >= 4 ? NETREADINT(BACK.data()) : 0;
    const bool readable = READABLE(HEARD, 0, 0) && HEARD.empty() && (refused ? answer == AUTHREFUSED && BACK.size() == 4
                          : BACK.empty() || (answer == 1 && READABLE(BACK, 4, 1) && BACK.empty()));
    if (SERVERTCPSOCKS[1] != nullptr) return "the server kept a finished connection";
    if (!readable) return "the server sent bytes a client cannot read";
    return SERVERSLOTINPLAY(0) && !SERVERCONNECTIONS[0].CLOSED ? nullptr : "another player's stream cost the bystander its slot";
}

static const char* CLIENTSTREAM(const uint8_t* data, size_t size) {
    // The same bytes as a discovery answer: one the reader takes writes back
    // to exactly those bytes, so nothing in it went unread.
    DISCOVERYINFO info;
    if (DISCOVERYREADANSWER(data, size, info) && DISCOVERYWRITEANSWER(info) != std::vector<uint8_t>(data, data + size))
        return "a discovery answer reads as something else";
    // Once: the host and name, and the stars and ships as the client's start places them.
    static const SHIPTABLE placed = (VX_HOSTNAME = HOSTINGADDRESS, VX_PLAYERNAME = "fuzzer", CLIENTPLACEOBJECTS(), CLIENTPLAYERS);
    CLIENTPLAYERS = placed;
    CLIENTBULLETS = BULLETTABLE{};
    CLIENTCHATBUFFER = CHATBUFFER{};
    CLIENTRESETPHYSICSCLOCKS();
    NETQUEUEMEMORY(data, size, true, &BACK);
    CLIENTSTARTNETWORK();
    const bool joined = CLIENTCONNECTED() && CLIENTCURRENTPLAYERSHIP != AUTHREFUSED;
    CLIENTSENDREADY();
    for (size_t pass = 0; CLIENTCONNECTED() && pass < size / 4 + 256; ++pass) {
        // A frame's network and prediction steps, in the frame's order,
        // with up to sixteen messages a frame (as on the server side).
        for (int message = 0; message < 16 && (message == 0 || NETUNREAD(CLIENTCONNECTION) != 0); ++message)
            CLIENTNETGETDATAPACKET();
        CLIENTPHYSICS();
        if (INFLIGHT(CLIENTBULLETS)) CLIENTBULLETPHYSICS();
        CLIENTNETFLUSH();
        KELDELAY(33);
    }
    const bool released = !CLIENTCONNECTED();
    // A drawn frame costs more than the rest of a run, so one is drawn (once
    // video is started) for a joined stream whose length is a multiple of
    // three: a third of them, still chosen by the bytes alone.
    if (joined && size % 3 == 0) CLIENTDRAWEVERYTHING();
    CLIENTNETCLOSE();
    // What a client may send: its code; joined, its name and then only
    // whole READY, CONTROLS and CHAT messages; refused, one READY at most.
    const std::string head("\x85\xb4\0\0\x06\0\0\0fuzzer", joined ? 14 : 4);
    const bool readable = std::string(BACK.begin(), BACK.begin() + std::min(BACK.size(), head.size())) == head &&
                          (joined || BACK.size() <= 8) && READABLE(BACK, head.size(), -1) && BACK.empty();
    if (!released) return "the client kept a finished connection";
    return readable ? nullptr : "the client sent bytes a server cannot read";
}

// Runs one stream; returns null when every check holds, else what failed:
// the side kept a finished connection, sent bytes its peer cannot read, or
// (server) the stream cost the bystander its slot.
const char* FUZZSTREAM(bool client, const uint8_t* data, size_t size) {
    KELTICKSOURCE = [] { return CLOCKNOW; };
    KELDELAYSINK = [](uint32_t ms) { CLOCKNOW += ms; };
    CLOCKNOW = 1000;
    RESETRANDOM();
    BACK.clear();
    return client ? CLIENTSTREAM(data, size) : SERVERSTREAM(data, size);
}

#ifdef VEXIL_FUZZSIDE
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Once: the lines a failed client handshake prints for the player are
    // not wanted here, and the client starts video on SDL's dummy driver
    // from its working directory (a run folder: config.cfg and data/), so
    // that each joined stream ends with a drawn frame.
    [[maybe_unused]] static const bool started = (std::cerr.setstate(std::ios::badbit), !VEXIL_FUZZSIDE) ||
                                                 (setenv("SDL_VIDEODRIVER", "dummy", 1), KELSDL_INIT(), LOADGRAPHICS(), true);
    if (const char* fault = FUZZSTREAM(VEXIL_FUZZSIDE, data, size)) std::fprintf(stderr, "vexil-fuzz: %s\n", fault), std::abort();
    return 0;
}
#endif
