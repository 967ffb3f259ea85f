#include "tests/server/loopback.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
