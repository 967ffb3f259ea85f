// Byte streams into the server's admission and dispatcher and into the
// client's handshake and dispatcher, through memory connections (see
// harness.h). Threads: the caller's thread only.
#include "fuzz/harness.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "client/render.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "server/server.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {

uint32_t CLOCKNOW = 1000;
uint32_t HANDTICKS() { return CLOCKNOW; }
void HANDDELAY(uint32_t ms) { CLOCKNOW += ms; }

void PUTINT(std::vector<uint8_t>& bytes, int32_t value) {
    bytes.resize(bytes.size() + 4);
    NETWRITEINT(bytes.data() + bytes.size() - 4, value);
}

// Checks the whole messages at the start of BYTES as a client with slot
// OWNSLOT reads them: each must have a kind a server sends and a length the
// client accepts. Whole ones are removed (their CHAT lines kept in LINES
// when given). Returns false on the first one a client could not read.
bool READSERVERMESSAGES(std::vector<uint8_t>& bytes, int32_t ownslot, std::vector<std::string>* lines) {
    size_t offset = 0;
    for (;;) {
        const int64_t whole = PROTOTOCLIENTLENGTH(bytes.data() + offset, bytes.size() - offset, ownslot);
        if (whole == 0) break;
        const int32_t kind = whole > 0 ? NETREADINT(bytes.data() + offset) : -1;
        if (whole < 0 || kind < FULLSTATE || kind > KILLCOUNT || kind == CONTROLS) return false;
        if (kind == CHAT && lines != nullptr)
            lines->emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(offset + 8),
                                bytes.begin() + static_cast<std::ptrdiff_t>(offset + static_cast<size_t>(whole)));
        offset += static_cast<size_t>(whole);
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

// --- Server side ----------------------------------------------------------

constexpr size_t BYSTANDER = 0;
const std::string BYSTANDERNAME = "bystander";
std::vector<uint8_t> BYSTANDERHELLO;  // its code, name and READY; kept alive as its input
std::vector<uint8_t> BYSTANDERBYTES;  // what it has received and not yet checked

bool OTHERSLOTSOCCUPIED() {
    for (size_t slot = 0; slot < SERVERSLOTS; ++slot)
        if (slot != BYSTANDER && SERVERTCPSOCKS[slot] != nullptr) return true;
    return false;
}

// The tables before every stream: the bystander at rest where the
// newcomer's first shot starts (the admission draws the same position for
// every stream), so that shots, hits and kills are within a stream's reach.
void RESETSERVERTABLES() {
    RESETRANDOM();
    const int32_t arrivalx = RANDOMARENACOORDINATE();
    const int32_t arrivaly = RANDOMARENACOORDINATE();
    RESETRANDOM();
    CLOCKNOW = 1000;
    SERVERPHYSICSCLOCK = SERVERBULLETCLOCK = PHYSICSCLOCK{};
    SERVERBULLETS = BULLETTABLE{};
    SERVERCHATBUFFER = CHATBUFFER{};
    for (size_t slot = 0; slot < SERVERSLOTS; ++slot) {
        SHIPTYPE& ship = SERVERPLAYERS[slot];
        if (slot != BYSTANDER && SERVERTCPSOCKS[slot] != nullptr) continue;
        ship = SHIPTYPE{};
        ship.HEALTH = ship.MAXHEALTH = 100;
        ship.X = slot == BYSTANDER ? arrivalx - 34 : -500;
        ship.Y = slot == BYSTANDER ? arrivaly - 30 : -500;
        if (slot == BYSTANDER) ship.CONNECTED = SERVERTCPSOCKS[slot] != nullptr ? 1 : 0;
        if (slot == BYSTANDER) ship.PLAYERNAME = BYSTANDERNAME;
    }
}

// A projectile step walks every projectile slot; with none in flight it
// has nothing to do and most streams never fire, so the tick (and the
// client's frame) leaves it out then. The check itself is kept out of the coverage tracing.
#if defined(__clang__)
__attribute__((no_sanitize("coverage")))
#endif
bool PROJECTILESINFLIGHT(const BULLETTABLE& bullets) {
    for (const BULLETTYPE& bullet : bullets)
        if (bullet.SPRITE != 0) return true;
    return false;
}

// One server tick without the pause's wait.
void SERVERPASS() {
    SERVERWAITFORCONNECTIONS();
    SERVERPHYSICS();
    if (PROJECTILESINFLIGHT(SERVERBULLETS)) SERVERBULLETPHYSICS();
    SERVERFLUSHALL();
    KELDELAY(5);
}

// A well-behaved player that joins once and then only listens (its input
// stays open after its READY).
bool ADMITBYSTANDER() {
    BYSTANDERHELLO.clear();
    BYSTANDERBYTES.clear();
    PUTINT(BYSTANDERHELLO, AUTHCODE);
    PUTINT(BYSTANDERHELLO, static_cast<int32_t>(BYSTANDERNAME.size()));
    BYSTANDERHELLO.insert(BYSTANDERHELLO.end(), BYSTANDERNAME.begin(), BYSTANDERNAME.end());
    PUTINT(BYSTANDERHELLO, READY);
    NETQUEUEMEMORY(BYSTANDERHELLO.data(), BYSTANDERHELLO.size(), false, &BYSTANDERBYTES);
    for (int pass = 0; pass < 8; ++pass) SERVERPASS();
    if (SERVERTCPSOCKS[BYSTANDER] == nullptr || BYSTANDERBYTES.size() < 4 || NETREADINT(BYSTANDERBYTES.data()) != 0)
        return false;
    BYSTANDERBYTES.erase(BYSTANDERBYTES.begin(), BYSTANDERBYTES.begin() + 4);
    return READSERVERMESSAGES(BYSTANDERBYTES, 0, nullptr);
}

// --- Client side ----------------------------------------------------------

bool DRAWING = false;

// What a client may send: the code; once given a slot, its name and then
// only READY, CONTROLS and CHAT messages, each whole.
bool CLIENTSENTREADABLE(const std::vector<uint8_t>& bytes, bool joined) {
    if (bytes.size() < 4 || NETREADINT(bytes.data()) != AUTHCODE) return false;
    // A refused client still sends its READY.
    if (!joined) return bytes.size() == 4 || (bytes.size() == 8 && NETREADINT(bytes.data() + 4) == READY);
    const size_t namelength = VX_PLAYERNAME.size();
    if (bytes.size() < 8 + namelength || NETREADINT(bytes.data() + 4) != static_cast<int32_t>(namelength) ||
        !std::equal(VX_PLAYERNAME.begin(), VX_PLAYERNAME.end(), bytes.begin() + 8))
        return false;
    for (size_t offset = 8 + namelength; offset < bytes.size();) {
        const int64_t whole = PROTOTOSERVERLENGTH(bytes.data() + offset, bytes.size() - offset);
        const int32_t kind = whole > 0 ? NETREADINT(bytes.data() + offset) : -1;
        if (kind != READY && kind != CONTROLS && kind != CHAT) return false;
        offset += static_cast<size_t>(whole);
    }
    return true;
}

void RESETCLIENTTABLES() {
    CLIENTPLAYERS = SHIPTABLE{};
    CLIENTBULLETS = BULLETTABLE{};
    CLIENTCHATBUFFER = CHATBUFFER{};
    CLIENTCURRENTPLAYERSHIP = 0;
    CLIENTPVPVARX = CLIENTPVPVARY = 0;
    CLIENTROUNDTRIPTIME1 = CLIENTROUNDTRIPTIME2 = 0;
    CLIENTCHATMESSAGE.clear();
    CLIENTRESETPHYSICSCLOCKS();
    RESETRANDOM();
    CLOCKNOW = 1000;
    QUITLOOP.store(0);
    KELEXITSTATUS.store(0);
    VX_HOSTNAME = HOSTINGADDRESS;
    VX_PLAYERNAME = "fuzzer";
    CLIENTPLACEOBJECTS();
}

}  // namespace

bool FUZZSERVERSTART() {
    if (SERVERTCPSOCKS[BYSTANDER] != nullptr) return true;
    KELTICKSOURCE = HANDTICKS;
    KELDELAYSINK = HANDDELAY;
    // The bystander never speaks; it must never count as gone.
    SERVERSILENCELIMITMS.store(UINT32_MAX);
    SERVERRELEASE();
    RESETSERVERTABLES();
    return ADMITBYSTANDER();
}

FUZZSERVEROUTCOME FUZZSERVERSTREAM(const uint8_t* data, size_t size) {
    FUZZSERVEROUTCOME outcome;
    if (!FUZZSERVERSTART()) return outcome;
    RESETSERVERTABLES();
    std::vector<uint8_t> back;
    NETQUEUEMEMORY(data, size, true, &back);
    bool readable = true;
    const int passlimit = static_cast<int>(size / 4) + 256;
    do {
        SERVERPASS();
        readable = READSERVERMESSAGES(BYSTANDERBYTES, 0, &outcome.BYSTANDERCHAT) && readable;
    } while (OTHERSLOTSOCCUPIED() && ++outcome.PASSES < passlimit);
    outcome.RELEASED = !OTHERSLOTSOCCUPIED();
    const bool answered = back.size() >= 4;
    if (answered) outcome.FIRSTANSWER = NETREADINT(back.data());
    // After a slot number comes what a joined player is sent; after a
    // refusal, nothing.
    if (answered && PROTOVALIDSLOT(outcome.FIRSTANSWER)) {
        back.erase(back.begin(), back.begin() + 4);
        readable = READSERVERMESSAGES(back, outcome.FIRSTANSWER, nullptr) && back.empty() && readable;
    } else if (!back.empty()) {
        readable = readable && outcome.FIRSTANSWER == AUTHREFUSED && back.size() == 4;
    }
    outcome.READABLE = readable && BYSTANDERBYTES.empty();
    outcome.BYSTANDERKEPT = SERVERTCPSOCKS[BYSTANDER] != nullptr && SERVERPLAYERS[BYSTANDER].CONNECTED != 0 &&
                            !SERVERCONNECTIONS[BYSTANDER].CLOSED;
    // The next stream starts with a bystander again.
    if (!outcome.BYSTANDERKEPT) SERVERNETDISCONNECTREMOTE(0);
    return outcome;
}

bool FUZZCLIENTSTART(const std::string& datafolder) {
    KELTICKSOURCE = HANDTICKS;
    KELDELAYSINK = HANDDELAY;
    if (datafolder.empty() || DRAWING) return true;
    // Video and sprites come up in a scratch run folder (config.cfg and
    // data/), with the sprite loading's trace on standard output silenced.
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path previous = fs::current_path(error);
    std::string folder = (fs::temp_directory_path() / "vexil-fuzz-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) return false;
    fs::create_directory_symlink(fs::path(datafolder), fs::path(folder) / "data", error);
    std::ofstream(fs::path(folder) / "config.cfg") << "xres, 320\nyres, 240\ndepth, 32\n";
    fs::current_path(folder, error);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    KELSDL_INIT();
    LOADGRAPHICS();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(null);
    close(saved);
    fs::current_path(previous, error);
    fs::remove_all(folder, error);
    DRAWING = true;
    return true;
}

FUZZCLIENTOUTCOME FUZZCLIENTSTREAM(const uint8_t* data, size_t size) {
    FUZZCLIENTOUTCOME outcome;
    RESETCLIENTTABLES();
    NETQUEUEMEMORY(data, size, true, &outcome.SENT);
    CLIENTSTARTNETWORK();
    outcome.JOINED = CLIENTCONNECTED() && CLIENTCURRENTPLAYERSHIP != AUTHREFUSED;
    CLIENTSENDREADY();
    const int passlimit = static_cast<int>(size / 4) + 256;
    while (CLIENTCONNECTED() && outcome.PASSES++ < passlimit) {
        // A frame's network and prediction steps, in the frame's order.
        CLIENTNETGETDATAPACKET();
        CLIENTPHYSICS();
        if (PROJECTILESINFLIGHT(CLIENTBULLETS)) CLIENTBULLETPHYSICS();
        CLIENTNETFLUSH();
        KELDELAY(33);
    }
    outcome.RELEASED = !CLIENTCONNECTED();
    if (DRAWING) CLIENTDRAWEVERYTHING();
    CLIENTNETCLOSE();
    outcome.SENTREADABLE = CLIENTSENTREADABLE(outcome.SENT, outcome.JOINED);
    return outcome;
}

std::vector<uint8_t> FUZZREADFILE(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
