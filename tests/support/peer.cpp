// Test support, the network side (see peer.h).
#include "tests/support/peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <SDL.h>
#include <cerrno>
#include <cstring>
#include <thread>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/input.h"
#include "media/video.h"
#include "server/server.h"
#include "shared/protocol.h"
#include "shared/world.h"

LOOPBACKPAIR::LOOPBACKPAIR(uint16_t port) {
    NETINIT();
    IPaddress address{};
    if (SDLNet_ResolveHost(&address, nullptr, port) != 0) return;
    LISTENER = SDLNet_TCP_Open(&address);
    if (LISTENER == nullptr) return;
    IPaddress target{};
    if (SDLNet_ResolveHost(&target, "127.0.0.1", port) != 0) return;
    TCPsocket nearsocket = SDLNet_TCP_Open(&target);
    if (nearsocket == nullptr) return;
    TCPsocket farsocket = nullptr;
    for (int i = 0; i < 2000 && farsocket == nullptr; ++i) {
        farsocket = SDLNet_TCP_Accept(LISTENER);
        if (farsocket == nullptr) SDL_Delay(1);
    }
    if (farsocket == nullptr) {
        SDLNet_TCP_Close(nearsocket);
        return;
    }
    NETATTACH(NEAR, nearsocket, SDLNet_AllocSocketSet(1));
    NETATTACH(FAR, farsocket, SDLNet_AllocSocketSet(1));
    OK = NEAR.NONBLOCKING && FAR.NONBLOCKING;
}

LOOPBACKPAIR::~LOOPBACKPAIR() {
    SDLNet_SocketSet nearset = NEAR.SET, farset = FAR.SET;
    NETDETACH(NEAR);
    NETDETACH(FAR);
    if (nearset) SDLNet_FreeSocketSet(nearset);
    if (farset) SDLNet_FreeSocketSet(farset);
    if (LISTENER) SDLNet_TCP_Close(LISTENER);
}

std::vector<uint8_t> SHIP(NETCONNECTION& from, NETCONNECTION& to) {
    const size_t count = NETUNSENT(from);
    NETFLUSH(from);
    for (int i = 0; i < 1000 && !from.OUTBUF.empty(); ++i) {
        NETPUMP(to);
        NETFLUSH(from);
    }
    NETWAITFOR(to, count);
    const size_t got = std::min(count, NETUNREAD(to));
    std::vector<uint8_t> bytes(NETPEEK(to), NETPEEK(to) + got);
    NETSKIP(to, got);
    return bytes;
}

std::vector<uint8_t> BYTES(std::initializer_list<int> values) {
    std::vector<uint8_t> bytes;
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return bytes;
}

RAWPEER::~RAWPEER() { CLOSE(); }

bool RAWPEER::CONNECT(uint16_t port, int receivebuffer) {
    FD = socket(AF_INET, SOCK_STREAM, 0);
    if (FD < 0) return false;
    if (receivebuffer > 0) setsockopt(FD, SOL_SOCKET, SO_RCVBUF, &receivebuffer, sizeof receivebuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(FD, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool RAWPEER::WRITE(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(FD, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool RAWPEER::WRITEINT(int32_t value) {
    std::vector<uint8_t> bytes(4);
    NETWRITEINT(bytes.data(), value);
    return WRITE(bytes);
}

bool RAWPEER::WRITESTR(const std::string& text) {
    std::vector<uint8_t> bytes(4);
    NETWRITEINT(bytes.data(), static_cast<int32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    return WRITE(bytes);
}

long RAWPEER::TRYWRITE(const std::vector<uint8_t>& bytes) {
    const ssize_t n = send(FD, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
    return n;
}

std::vector<uint8_t> RAWPEER::READ(size_t count, int ms) {
    std::vector<uint8_t> bytes;
    const int steps = ms / 10 + 1;
    for (int i = 0; i < steps && bytes.size() < count; ++i) {
        pollfd p{FD, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        uint8_t chunk[4096];
        const ssize_t n = recv(FD, chunk, std::min(sizeof chunk, count - bytes.size()), 0);
        if (n <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

bool RAWPEER::WAITCLOSED(int ms) {
    const int steps = ms / 10 + 1;
    for (int i = 0; i < steps; ++i) {
        pollfd p{FD, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        uint8_t chunk[4096];
        const ssize_t n = recv(FD, chunk, sizeof chunk, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return true;
    }
    return false;
}

void RAWPEER::CLOSE() {
    if (FD >= 0) close(FD);
    FD = -1;
}

SERVERTHREAD::SERVERTHREAD(uint16_t port) : PORT(port) {
    SERVERRELEASE();
    KELUSEREALCLOCK();
    RESETRANDOM();
    QUITLOOP.store(0);
    SERVERHOSTING.store(0);
    GAMEPORT = port;
    VX_HOSTNAME = HOSTINGADDRESS;
    THREAD = std::thread([] { GAMESERVER(0); });
    for (int i = 0; i < 5000 && SERVERHOSTING.load() == 0; ++i) SDL_Delay(1);
    RUNNING = SERVERHOSTING.load() != 0;
}

void SERVERTHREAD::STOP() {
    if (!THREAD.joinable()) return;
    QUITLOOP.store(1);
    THREAD.join();
    RUNNING = false;
}

SERVERTHREAD::~SERVERTHREAD() {
    STOP();
    SERVERRELEASE();
    QUITLOOP.store(0);
}

TESTCLIENT::~TESTCLIENT() { CLOSE(); }

void TESTCLIENT::CLOSE() {
    SDLNet_SocketSet set = CONN.SET;
    NETDETACH(CONN);
    if (set != nullptr) SDLNet_FreeSocketSet(set);
    GONE = true;
}

bool TESTCLIENT::OPEN(uint16_t port, int32_t code) {
    NETINIT();
    IPaddress address{};
    if (SDLNet_ResolveHost(&address, "127.0.0.1", port) != 0) return false;
    TCPsocket socket = SDLNet_TCP_Open(&address);
    if (socket == nullptr) return false;
    NETATTACH(CONN, socket, SDLNet_AllocSocketSet(1));
    GONE = false;
    NETPUTINT(CONN, code);
    NETFLUSH(CONN);
    return true;
}

bool TESTCLIENT::FINISHJOIN(const std::string& name, int ms) {
    const uint32_t start = NETNOW();
    while (NETUNREAD(CONN) < 4 && !CONN.CLOSED && NETNOW() - start < static_cast<uint32_t>(ms)) {
        NETPUMP(CONN);
        SDL_Delay(1);
    }
    if (!NETTAKEINT(CONN, SLOT)) return false;
    if (SLOT == AUTHREFUSED) return false;
    NETPUTSTR(CONN, name);
    PROTOWRITEKIND(CONN, READY);
    NETFLUSH(CONN);
    return true;
}

bool TESTCLIENT::JOIN(uint16_t port, const std::string& name, int ms) {
    if (!OPEN(port) || !FINISHJOIN(name, ms)) return false;
    if (ANSWER) return RUNUNTIL([this] { return UPDATES >= 1; }, ms);
    return RUNUNTIL([this] { return FULLSTATES >= 1; }, ms);
}

int32_t TESTCLIENT::POLL() {
    if (GONE) return GOODBYE;
    NETFLUSH(CONN);
    NETPUMP(CONN);
    const int64_t whole = PROTOTOCLIENTLENGTH(CONN, SLOT);
    if (whole == 0 && !CONN.CLOSED) return -1;
    if (whole <= 0) {
        GONE = true;
        KINDS.push_back(GOODBYE);
        return GOODBYE;
    }
    int32_t kind = 0;
    NETTAKEINT(CONN, kind);
    KINDS.push_back(kind);
    auto reply = [this] {
        if (!ANSWER || !PROTOVALIDSLOT(SLOT)) return;
        SHIPTYPE mine;
        mine.CURRENTACCELERATION = THRUST;
        mine.SHOOTING = SHOOT;
        mine.SUBDIRECTION = HEADING;
        mine.DELTATHETA = TURNRATE;
        PROTOWRITECONTROLS(CONN, mine);
        NETFLUSH(CONN);
    };
    switch (kind) {
        case FULLSTATE:
            PROTOREADFULLSTATE(CONN, PLAYERS);
            ++FULLSTATES;
            LASTFULLSTATEBYTES = whole;
            reply();
            break;
        case UPDATE: {
            PROTOREADUPDATE(CONN, PLAYERS, SLOT);
            ++UPDATES;
            LASTUPDATEBYTES = whole;
            const uint32_t now = NETNOW();
            if (LASTUPDATEAT != 0 && now - LASTUPDATEAT > LONGESTUPDATEGAP) LONGESTUPDATEGAP = now - LASTUPDATEAT;
            LASTUPDATEAT = now;
            reply();
            break;
        }
        case SHOTFIRED: {
            SHOTSFIRED.push_back(NETREADINT(NETPEEK(CONN)));
            PROTOREADSHOTFIRED(CONN, BULLETS);
            break;
        }
        case SHOTGONE:
            PROTOREADSHOTGONE(CONN, BULLETS);
            break;
        case CHAT: {
            std::string line;
            PROTOREADCHAT(CONN, line);
            PUSHCHATLINE(CHATS, line);
            LINES.push_back(line);
            break;
        }
        case NAMEINFO:
            PROTOREADNAMEINFO(CONN, PLAYERS);
            break;
        case KILLCOUNT:
            PROTOREADKILLCOUNT(CONN, PLAYERS);
            break;
        case GOODBYE:
            GONE = true;
            break;
        default:
            break;
    }
    return kind;
}

bool TESTCLIENT::RUNUNTIL(const std::function<bool()>& predicate, int ms) {
    const uint32_t start = NETNOW();
    for (;;) {
        if (predicate()) return true;
        if (NETNOW() - start >= static_cast<uint32_t>(ms)) return false;
        if (POLL() == -1) SDL_Delay(1);
    }
}

void TESTCLIENT::RUNFOR(int ms) {
    RUNUNTIL([] { return false; }, ms);
}

std::string COLOURED(int r, int g, int b, const std::string& text) {
    std::string line;
    line += static_cast<char>(r);
    line += static_cast<char>(g);
    line += static_cast<char>(b);
    return line + text;
}

PLUGGEDSLOTS::PLUGGEDSLOTS(uint16_t firstport) : NEXTPORT(firstport) {
    NETINIT();
    SERVERRELEASE();
    RESETRANDOM();
    for (SDLNet_SocketSet& set : SERVERTCPSOCKSETS) set = SDLNet_AllocSocketSet(1);
}

PLUGGEDSLOTS::~PLUGGEDSLOTS() {
    for (size_t i = 0; i < PAIRS.size(); ++i) {
        PAIRS[i]->FAR.SOCKET = nullptr;
        PAIRS[i]->FAR.SET = nullptr;
    }
    SERVERRELEASE();
    PAIRS.clear();
}

bool PLUGGEDSLOTS::PLUG(int32_t slot, const std::string& name) {
    auto pair = std::make_unique<LOOPBACKPAIR>(NEXTPORT++);
    if (!pair->OK) return false;
    TCPsocket socket = pair->FAR.SOCKET;
    SDLNet_TCP_DelSocket(pair->FAR.SET, socket);
    SDLNet_FreeSocketSet(pair->FAR.SET);
    pair->FAR = NETCONNECTION{};
    SERVERTCPSOCKS[static_cast<size_t>(slot)] = socket;
    NETATTACH(SERVERCONNECTIONS[static_cast<size_t>(slot)], socket, SERVERTCPSOCKSETS[static_cast<size_t>(slot)]);
    SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(slot)];
    ship.CONNECTED = 1;
    ship.HEALTH = 100;
    ship.MAXHEALTH = 100;
    ship.PLAYERNAME = name;
    PAIRS.push_back(std::move(pair));
    PAIRSLOT.push_back(slot);
    return true;
}

NETCONNECTION& PLUGGEDSLOTS::PEER(int32_t slot) {
    for (size_t i = 0; i < PAIRS.size(); ++i)
        if (PAIRSLOT[i] == slot) return PAIRS[i]->NEAR;
    static NETCONNECTION none;
    return none;
}

std::pair<int32_t, std::vector<uint8_t>> PLUGGEDSLOTS::NEXT(int32_t slot) {
    NETCONNECTION& peer = PEER(slot);
    int64_t whole = 0;
    for (int i = 0; i < 500; ++i) {
        // Flushed every round, as the server's tick does: a long message
        // leaves over several flushes.
        for (int32_t s = 0; s < SERVERSLOTS; ++s)
            if (SERVERTCPSOCKS[static_cast<size_t>(s)] != nullptr) NETFLUSH(SERVERCONNECTIONS[static_cast<size_t>(s)]);
        NETPUMP(peer);
        whole = PROTOTOCLIENTLENGTH(peer, slot);
        if (whole != 0) break;
        if (NETUNREAD(peer) == 0 && i > 20) break;  // nothing queued at all
        SDL_Delay(1);
    }
    if (whole <= 0) return {-1, {}};
    std::vector<uint8_t> bytes(NETPEEK(peer), NETPEEK(peer) + whole);
    NETSKIP(peer, static_cast<size_t>(whole));
    return {NETREADINT(bytes.data()), bytes};
}

std::vector<int32_t> PLUGGEDSLOTS::DRAIN(int32_t slot) {
    std::vector<int32_t> kinds;
    for (int i = 0; i < 10000; ++i) {
        auto message = NEXT(slot);
        if (message.first == -1) break;
        kinds.push_back(message.first);
    }
    return kinds;
}
