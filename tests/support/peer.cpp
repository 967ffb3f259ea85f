// Test support, the network side (see peer.h).
#include "tests/support/peer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <SDL.h>
#include <algorithm>
#include <cerrno>

#include "main/spine.h"
#include "media/clock.h"
#include "server/server.h"

LOOPBACKPAIR::LOOPBACKPAIR(uint16_t port) {
    NETINIT();
    IPaddress address{}, target{};
    if (SDLNet_ResolveHost(&address, nullptr, port) != 0 || SDLNet_ResolveHost(&target, "127.0.0.1", port) != 0) return;
    LISTENER = SDLNet_TCP_Open(&address);
    TCPsocket nearsocket = LISTENER ? SDLNet_TCP_Open(&target) : nullptr, farsocket = nullptr;
    for (uint32_t start = NETNOW(); nearsocket && !farsocket && NETNOW() - start < 2000; SDL_Delay(1))
        farsocket = SDLNet_TCP_Accept(LISTENER);
    NETATTACH(NEAR, nearsocket, SDLNet_AllocSocketSet(1));
    NETATTACH(FAR, farsocket, SDLNet_AllocSocketSet(1));
    OK = NEAR.NONBLOCKING && FAR.NONBLOCKING;
}

// Detaches CONN and frees the socket set it was given; true.
bool DETACHWITHSET(NETCONNECTION& conn) {
    SDLNet_SocketSet set = conn.SET;
    NETDETACH(conn);
    if (set != nullptr) SDLNet_FreeSocketSet(set);
    return true;
}

LOOPBACKPAIR::~LOOPBACKPAIR() {
    DETACHWITHSET(NEAR);
    DETACHWITHSET(FAR);
    if (LISTENER) SDLNet_TCP_Close(LISTENER);
}

std::vector<uint8_t> BYTES(std::initializer_list<int> values) { return {values.begin(), values.end()}; }

RAWPEER::~RAWPEER() { CLOSE(); }

bool RAWPEER::CONNECT(uint16_t port, int receivebuffer) {
    FD = socket(AF_INET, SOCK_STREAM, 0);
    if (receivebuffer > 0) setsockopt(FD, SOL_SOCKET, SO_RCVBUF, &receivebuffer, sizeof receivebuffer);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = htons(port), .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    return FD >= 0 && connect(FD, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool RAWPEER::WRITE(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    for (ssize_t n = 1; done < bytes.size() && (n > 0 || errno == EINTR);)
        if ((n = send(FD, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)) > 0) done += static_cast<size_t>(n);
    return done == bytes.size();
}

bool RAWPEER::WRITEINT(int32_t value) { return WRITE(BYTES({value, value >> 8, value >> 16, value >> 24})); }

bool RAWPEER::WRITESTR(const std::string& text) { return WRITEINT(static_cast<int32_t>(text.size())) && WRITE({text.begin(), text.end()}); }

long RAWPEER::TRYWRITE(const std::vector<uint8_t>& bytes) {
    const ssize_t n = send(FD, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return n >= 0 ? n : -(errno != EAGAIN && errno != EWOULDBLOCK);
}

// Waits up to MS for input: what recv gave (0 at the peer's close, -1 on an
// error), or -2 when nothing came.
long RECVSOME(int fd, uint8_t* chunk, size_t size, int ms) {
    for (uint32_t start = NETNOW(); NETNOW() - start <= static_cast<uint32_t>(ms);) {
        pollfd p{fd, POLLIN, 0};
        const ssize_t n = poll(&p, 1, 10) > 0 ? recv(fd, chunk, size, 0) : -3;
        if (n >= 0 || (n == -1 && errno != EINTR && errno != EAGAIN)) return n;
    }
    return -2;
}

std::vector<uint8_t> RAWPEER::READ(size_t count, int ms) {
    std::vector<uint8_t> bytes(count);
    size_t got = 0;
    for (long n = 1; got < count && n > 0; got += static_cast<size_t>(std::max(n, 0L)))
        n = RECVSOME(FD, bytes.data() + got, count - got, ms);
    bytes.resize(got);
    return bytes;
}

bool RAWPEER::WAITCLOSED(int ms) {
    uint8_t chunk[4096];
    long n = 1;
    for (uint32_t start = NETNOW(); n > 0 && NETNOW() - start <= static_cast<uint32_t>(ms);) n = RECVSOME(FD, chunk, sizeof chunk, ms);
    return n == 0 || n == -1;
}

void RAWPEER::CLOSE() {
    if (FD >= 0) close(FD);
    FD = -1;
}

TESTCLIENT::~TESTCLIENT() { CLOSE(); }

void TESTCLIENT::CLOSE() { GONE = DETACHWITHSET(CONN); }

bool TESTCLIENT::OPEN(uint16_t port, int32_t code) {
    NETINIT();
    IPaddress address{};
    TCPsocket socket = SDLNet_ResolveHost(&address, "127.0.0.1", port) == 0 ? SDLNet_TCP_Open(&address) : nullptr;
    NETATTACH(CONN, socket, SDLNet_AllocSocketSet(1));
    GONE = socket == nullptr;
    NETPUTINT(CONN, code);
    NETFLUSH(CONN);
    return !GONE;
}

bool TESTCLIENT::JOIN(uint16_t port, const std::string& name, int ms) {
    if (!OPEN(port)) return false;
    for (uint32_t start = NETNOW(); NETUNREAD(CONN) < 4 && !CONN.CLOSED && NETNOW() - start < static_cast<uint32_t>(ms);)
        if (NETPUMP(CONN) == 0) SDL_Delay(1);
    if (!NETTAKEINT(CONN, SLOT) || SLOT == AUTHREFUSED) return false;
    NETPUTSTR(CONN, name);
    PROTOWRITEKIND(CONN, READY);
    return RUNUNTIL([this] { return UPDATES >= 1; }, ms);
}

int32_t TESTCLIENT::POLL() {
    if (GONE) return GOODBYE;
    NETFLUSH(CONN);
    NETPUMP(CONN);
    const int64_t whole = PROTOTOCLIENTLENGTH(CONN, SLOT);
    if (whole == 0 && !CONN.CLOSED) return -1;
    int32_t kind = GOODBYE;
    if (whole > 0) NETTAKEINT(CONN, kind);
    std::string line;
    if (kind == UPDATE && UPDATES++ > 0) LONGESTUPDATEGAP = std::max(LONGESTUPDATEGAP, NETNOW() - LASTUPDATEAT);
    if (kind == UPDATE) LASTUPDATEAT = NETNOW();
    if (kind == SHOTFIRED) SHOTSFIRED.push_back(NETREADINT(NETPEEK(CONN)));
    if (kind == FULLSTATE) PROTOREADFULLSTATE(CONN, PLAYERS);
    else if (kind == UPDATE) PROTOREADUPDATE(CONN, PLAYERS, SLOT);
    else if (kind == CHAT && PROTOREADCHAT(CONN, line)) LINES.push_back(line);
    else if (kind == NAMEINFO) PROTOREADNAMEINFO(CONN, PLAYERS);
    else if (kind == KILLCOUNT) PROTOREADKILLCOUNT(CONN, PLAYERS);
    else if (whole > 0) NETSKIP(CONN, static_cast<size_t>(whole - 4));
    if (kind == FULLSTATE || kind == UPDATE) PROTOWRITECONTROLS(CONN, SHIPTYPE{});
    GONE = kind == GOODBYE;
    return kind;
}

bool TESTCLIENT::RUNUNTIL(const std::function<bool()>& predicate, int ms) {
    for (uint32_t start = NETNOW();;) {
        if (predicate()) return true;
        if (NETNOW() - start >= static_cast<uint32_t>(ms)) return false;
        if (POLL() == -1) SDL_Delay(1);
    }
}


std::string COLOURED(int r, int g, int b, const std::string& text) { return std::string{char(r), char(g), char(b)} + text; }

PLUGGEDSLOTS::PLUGGEDSLOTS(uint16_t) {
    SERVERRELEASE();
    RESETRANDOM();
}

PLUGGEDSLOTS::~PLUGGEDSLOTS() { SERVERRELEASE(); }

bool PLUGGEDSLOTS::PLUG(int32_t slot, const std::string& name) {
    const size_t s = static_cast<size_t>(slot);
    NETQUEUEMEMORY(nullptr, 0, false, &OUT.at(s));
    NETATTACH(SERVERCONNECTIONS[s], SERVERTCPSOCKS[s] = NETACCEPT(nullptr), nullptr);
    // The test's writer for the slot flushes straight into the server's input.
    NETQUEUEMEMORY(nullptr, 0, false, &SERVERCONNECTIONS[s].INBUF);
    NETATTACH(PEERS[s], NETACCEPT(nullptr), nullptr);
    SERVERPLAYERS[s] = SHIPTYPE{.HEALTH = 100, .MAXHEALTH = 100, .CONNECTED = 1, .PLAYERNAME = name};
    return true;
}


std::pair<int32_t, std::vector<uint8_t>> PLUGGEDSLOTS::NEXT(int32_t slot) {
    SERVERFLUSHALL();
    const std::vector<uint8_t>& out = OUT.at(static_cast<size_t>(slot));
    size_t& at = READAT[static_cast<size_t>(slot)];
    const int64_t whole = PROTOTOCLIENTLENGTH(out.data() + at, out.size() - at, slot);
    if (whole <= 0) return {-1, {}};
    at += static_cast<size_t>(whole);
    return {NETREADINT(out.data() + at - whole), {out.begin() + static_cast<std::ptrdiff_t>(at - whole), out.begin() + static_cast<std::ptrdiff_t>(at)}};
}

bool TICKUNTIL(std::vector<TESTCLIENT*> clients, const std::function<bool()>& predicate, uint32_t ms) {
    for (const uint32_t start = NETNOW(); !predicate(); SDL_Delay(1)) {
        if (NETNOW() - start > ms) return false;
        SERVERTICK();
        for (TESTCLIENT* client : clients) while (client->POLL() > 0) continue;
    }
    return true;
}

bool TICKJOIN(TESTCLIENT& client, const std::string& name, std::vector<TESTCLIENT*> others) {
    if (!client.OPEN(GAMEPORT)) return false;
    NETPUTSTR(client.CONN, name);
    PROTOWRITEKIND(client.CONN, READY);
    return TICKUNTIL(others, [&] {
        NETFLUSH(client.CONN);
        return NETPUMP(client.CONN) >= 0 && NETTAKEINT(client.CONN, client.SLOT);
    });
}

FINDER::FINDER(uint16_t ownport) {
    FD = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in at{.sin_family = AF_INET, .sin_port = htons(ownport), .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    bind(FD, reinterpret_cast<sockaddr*>(&at), sizeof at);
}

FINDER::~FINDER() { close(FD); }

void FINDER::SEND(const std::vector<uint8_t>& bytes, uint16_t port) {
    sockaddr_in to{.sin_family = AF_INET, .sin_port = htons(port), .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
    sendto(FD, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

bool FINDER::TAKE(std::vector<uint8_t>& got, int ms) {
    got.assign(65536, 0);
    pollfd p{FD, POLLIN, 0};
    const ssize_t n = poll(&p, 1, ms) > 0 ? recv(FD, got.data(), got.size(), 0) : -1;
    got.resize(static_cast<size_t>(std::max<ssize_t>(n, 0)));
    return n >= 0;
}
