// The byte-stream harness of harness.h over the server's admission and
// dispatcher and the client's handshake and dispatcher, and (built with
// VEXIL_FUZZSIDE, 0 server, 1 client) the libFuzzer target of that side,
// for which a failed check ends the run like a crash.
// Threads: the caller's thread only.
#include "fuzz/harness.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "client/render.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "server/server.h"
#include "shared/protocol.h"

namespace {

uint32_t CLOCKNOW = 1000;
std::vector<uint8_t> HEARD, BACK;  // what the bystander and the stream's own peer were sent
SHIPTABLE FRESHSHIPS;              // the server's ships before every stream
bool SERVERREADY = false, DRAWING = false;

// Takes the whole messages of BYTES from OFFSET on as a client in slot
// OWNSLOT reads them (as a server does when OWNSLOT is -1); false on the
// first one the reader cannot take or that the other side never sends.
bool READABLE(std::vector<uint8_t>& bytes, size_t offset, int32_t ownslot) {
    const auto length = [&] { return ownslot < 0 ? PROTOTOSERVERLENGTH(bytes.data() + offset, bytes.size() - offset)
                                                 : PROTOTOCLIENTLENGTH(bytes.data() + offset, bytes.size() - offset, ownslot); };
    for (int64_t whole; (whole = length()) != 0; offset += static_cast<size_t>(whole)) {
        const int32_t kind = whole > 0 ? NETREADINT(bytes.data() + offset) : -1;
        if (ownslot < 0 ? kind != READY && kind != CONTROLS && kind != CHAT
                        : kind < FULLSTATE || kind > KILLCOUNT || kind == CONTROLS)
            return false;
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

// The projectile steps walk all 1025 slots; most streams never fire, so
// the ticks leave them out while none is in flight.
__attribute__((no_sanitize_address)) bool INFLIGHT(const BULLETTABLE& bullets) {
    for (const BULLETTYPE& bullet : bullets)
        if (bullet.SPRITE != 0) return true;
    return false;
}

// One server tick, in which the stream's slot (1) may take up to eight
// whole messages instead of one: the same dispatcher and bytes in far
// fewer ticks. A refusal's or a disconnect's 50 ms pause passes in one.
void SERVERPASS() {
    SERVERWAITFORCONNECTIONS();
    for (int more = 0; more < 7 && SERVERTCPSOCKS[1] != nullptr && NETUNREAD(SERVERCONNECTIONS[1]) != 0; ++more)
        SERVERNETGETDATAPACKET(1);
    SERVERPHYSICS();
    if (INFLIGHT(SERVERBULLETS)) SERVERBULLETPHYSICS();
    SERVERFLUSHALL();
    KELDELAY(SERVERSLOTSTATES[1].STAGE == SLOTREFUSING || SERVERSLOTSTATES[1].STAGE == SLOTCLOSING ? 50 : 5);
}

// The bystander: a well-behaved player that joins once (code, name, READY)
// and then only listens, never counted as silent. It rests where a
// newcomer arrives (the same place every stream), so shots, hits and
// kills are within a stream's reach.
bool STARTSERVER() {
    static const char HELLO[] = "\x85\xb4\0\0\x09\0\0\0bystander\x01\0\0\0";
    SERVERSILENCELIMITMS.store(UINT32_MAX);
    SERVERRELEASE();
    NETQUEUEMEMORY(reinterpret_cast<const uint8_t*>(HELLO), sizeof HELLO - 1, false, &HEARD);
    for (int pass = 0; pass < 8; ++pass) SERVERPASS();
    FRESHSHIPS = SERVERPLAYERS;
    RESETRANDOM();
    FRESHSHIPS[0].X = RANDOMARENACOORDINATE() - 34;
    FRESHSHIPS[0].Y = RANDOMARENACOORDINATE() - 30;
    RESETRANDOM();
    HEARD.clear();
    return SERVERSLOTINPLAY(0);
}

const char* SERVERSTREAM(const uint8_t* data, size_t size) {
    if (!SERVERREADY && !(SERVERREADY = STARTSERVER())) return "the bystander could not join";
    SERVERPHYSICSCLOCK = SERVERBULLETCLOCK = PHYSICSCLOCK{};
    SERVERBULLETS = BULLETTABLE{};
    SERVERCHATBUFFER = CHATBUFFER{};
    SERVERPLAYERS = FRESHSHIPS;
    NETQUEUEMEMORY(data, size, true, &BACK);
    for (size_t pass = 0; pass < size / 4 + 256 && (pass == 0 || SERVERTCPSOCKS[1] != nullptr); ++pass) SERVERPASS();
    // The stream's own answer: its slot number and what a joined player
    // is sent, or the refusal's -1 alone, or nothing (a broken name).
    const int32_t answer = BACK.size() >= 4 ? NETREADINT(BACK.data()) : 0;
    const bool readable = READABLE(HEARD, 0, 0) && HEARD.empty() &&
                          (answer == 1 ? READABLE(BACK, 4, 1) && BACK.empty() : BACK.size() == (answer == AUTHREFUSED ? 4 : 0));
    const bool released = SERVERTCPSOCKS[1] == nullptr;
    const bool kept = SERVERTCPSOCKS[0] != nullptr && SERVERPLAYERS[0].CONNECTED != 0 && !SERVERCONNECTIONS[0].CLOSED;
    SERVERREADY = released && kept && readable;  // otherwise the next stream starts afresh
    if (!released) return "the server kept a finished connection";
    if (!readable) return "the server sent bytes a client cannot read";
    return kept ? nullptr : "another player's stream cost the bystander its slot";
}

const char* CLIENTSTREAM(const uint8_t* data, size_t size) {
    static const SHIPTABLE placed = (CLIENTPLACEOBJECTS(), CLIENTPLAYERS);  // stars and ships, placed once
    CLIENTPLAYERS = placed;
    CLIENTBULLETS = BULLETTABLE{};
    CLIENTCHATBUFFER = CHATBUFFER{};
    CLIENTRESETPHYSICSCLOCKS();
    QUITLOOP.store(0);
    VX_HOSTNAME = HOSTINGADDRESS;
    VX_PLAYERNAME = "fuzzer";
    NETQUEUEMEMORY(data, size, true, &BACK);
    CLIENTSTARTNETWORK();
    const bool joined = CLIENTCONNECTED() && CLIENTCURRENTPLAYERSHIP != AUTHREFUSED;
    CLIENTSENDREADY();
    for (size_t pass = 0; CLIENTCONNECTED() && pass < size / 4 + 256; ++pass) {
        // A frame's network and prediction steps, in the frame's order,
        // with up to eight messages a frame (as on the server side).
        for (int message = 0; message < 8 && (message == 0 || NETUNREAD(CLIENTCONNECTION) != 0); ++message)
            CLIENTNETGETDATAPACKET();
        CLIENTPHYSICS();
        if (INFLIGHT(CLIENTBULLETS)) CLIENTBULLETPHYSICS();
        CLIENTNETFLUSH();
        KELDELAY(33);
    }
    const bool released = !CLIENTCONNECTED();
    if (DRAWING && joined) CLIENTDRAWEVERYTHING();
    CLIENTNETCLOSE();
    // What a client may send: its code; joined, its name and then only
    // whole READY, CONTROLS and CHAT messages; refused, one READY at most.
    const std::string head("\x85\xb4\0\0\x06\0\0\0fuzzer", joined ? 14 : 4);
    const bool readable = std::string(BACK.begin(), BACK.begin() + std::min(BACK.size(), head.size())) == head &&
                          (joined || BACK.size() <= 8) && READABLE(BACK, head.size(), -1) && BACK.empty();
    if (!released) return "the client kept a finished connection";
    return readable ? nullptr : "the client sent bytes a server cannot read";
}

}  // namespace

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
    // The client starts video on SDL's dummy driver from its working
    // directory (a run folder: config.cfg and data/), so that each joined
    // stream ends with a drawn frame. A failed client handshake prints a
    // line for the player; not here.
    static const bool started = VEXIL_FUZZSIDE && (setenv("SDL_VIDEODRIVER", "dummy", 1), KELSDL_INIT(), LOADGRAPHICS(), true);
    DRAWING = started;
    std::cerr.setstate(std::ios::badbit);
    const char* fault = FUZZSTREAM(VEXIL_FUZZSIDE, data, size);
    if (fault != nullptr) std::fprintf(stderr, "vexil-fuzz: %s\n", fault), std::abort();
    return 0;
}
#endif
