// The buffered connection (NETCONNECTION) and both sides' typed-value
// primitives. See net.h for the model.
// Threads: each NETCONNECTION is used by one thread only: CLIENTCONNECTION
// and the CLIENT* socket globals are thread_local (one set per client
// thread), SERVERCONNECTIONS and
// the SERVER* socket globals by the server thread. NETINIT is safe from any
// thread.
#include "shared/net.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

CLIENTTHREADLOCAL TCPsocket CLIENTSOCKET = nullptr;
CLIENTTHREADLOCAL SDLNet_SocketSet CLIENTTCPSOCKSET = nullptr;
CLIENTTHREADLOCAL IPaddress CLIENTIP{};
CLIENTTHREADLOCAL NETCONNECTION CLIENTCONNECTION;

TCPsocket SERVERTCPSOCK = nullptr;
IPaddress SERVERIP{};
std::array<TCPsocket, SERVERSLOTS> SERVERTCPSOCKS{};
std::array<SDLNet_SocketSet, SERVERSLOTS> SERVERTCPSOCKSETS{};
std::array<NETCONNECTION, SERVERSLOTS> SERVERCONNECTIONS;

namespace {

// The first fields of SDL_net 1.2's private TCP socket record. Only used to
// find the descriptor, and only trusted after VERIFIEDDESCRIPTOR agrees.
struct SDLNETTCPSOCKETMIRROR {
    int READY;
    int CHANNEL;
    IPaddress REMOTEADDRESS;
    IPaddress LOCALADDRESS;
    int SFLAG;
};

// The descriptor of a connected SDL_net socket, or -1 when the record does
// not look the way we expect. Checks, in order: the library's own peer
// address lies where the mirror says it does; the descriptor is an open
// stream socket; the kernel's peer address of that descriptor is the one
// SDL_net reports. Any mismatch means the mirror is wrong for this library
// build, and the socket is then left alone.
int VERIFIEDDESCRIPTOR(TCPsocket socket) {
    if (socket == nullptr) return -1;
    auto* mirror = reinterpret_cast<SDLNETTCPSOCKETMIRROR*>(socket);
    IPaddress* peer = SDLNet_TCP_GetPeerAddress(socket);
    if (peer == nullptr || peer != &mirror->REMOTEADDRESS) return -1;
    const int fd = mirror->CHANNEL;
    if (fd < 0) return -1;
    struct stat info{};
    if (fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode)) return -1;
    int type = 0;
    socklen_t typelength = sizeof type;
    if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typelength) != 0 || type != SOCK_STREAM) return -1;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
    if (address.sin_family != AF_INET) return -1;
    if (address.sin_addr.s_addr != peer->host || address.sin_port != peer->port) return -1;
    sockaddr_in local{};
    length = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 || local.sin_family != AF_INET) return -1;
    return fd;
}

bool MAKENONBLOCKING(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A small kernel send buffer, so a peer that stops reading is refused
    // (and, after the stall limit, dropped) within seconds instead of after
    // the kernel has swallowed megabytes. Output beyond it waits in our own
    // buffer, so long messages still go out, over several flushes.
    int sendbuffer = NETKERNELSENDBUFFER;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendbuffer, sizeof sendbuffer);
    return true;
}

bool WOULDBLOCK(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Drops the used part BUFFER[0..POS) of an input or output buffer, but only
// once it is all of the buffer, most of it, or large: reading or sending a
// little at a time then costs no copy of the rest each time.
void COMPACT(std::vector<uint8_t>& buffer, size_t& pos) {
    if (pos == 0) return;
    if (pos >= buffer.size()) {
        buffer.clear();
        pos = 0;
    } else if (pos >= 64 * 1024 || pos * 2 >= buffer.size()) {
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(pos));
        pos = 0;
    }
}

void APPEND(NETCONNECTION& conn, const uint8_t* bytes, size_t count) {
    if (conn.SOCKET == nullptr || conn.FAILED) return;
    if (NETUNSENT(conn) + count > NETMAXUNSENT) {
        NETFAIL(conn);
        return;
    }
    // The many four- and eight-byte values a message is made of one byte at
    // a time, longer runs by a resize and a copy: both cheaper than a range
    // insert.
    if (count <= 8) {
        for (size_t i = 0; i < count; ++i) conn.OUTBUF.push_back(bytes[i]);
        return;
    }
    const size_t end = conn.OUTBUF.size();
    conn.OUTBUF.resize(end + count);
    std::memcpy(conn.OUTBUF.data() + end, bytes, count);
}

void PUT32(NETCONNECTION& conn, uint32_t value) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    APPEND(conn, bytes, 4);
}

void PUT64(NETCONNECTION& conn, uint64_t value) {
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    APPEND(conn, bytes, 8);
}

uint32_t READ32(const uint8_t* bytes) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

uint64_t READ64(const uint8_t* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

bool TAKE32(NETCONNECTION& conn, uint32_t& value) {
    if (conn.FAILED || NETUNREAD(conn) < 4) return false;
    value = READ32(NETPEEK(conn));
    conn.INPOS += 4;
    return true;
}

bool TAKE64(NETCONNECTION& conn, uint64_t& value) {
    if (conn.FAILED || NETUNREAD(conn) < 8) return false;
    value = READ64(NETPEEK(conn));
    conn.INPOS += 8;
    return true;
}

// What the kernel took of the queued output: dropped by moving the offset
// (the buffer compacted as the input is).
void SENT(NETCONNECTION& conn, size_t count) {
    conn.BYTESSENT += count;
    conn.OUTPOS += count;
    COMPACT(conn.OUTBUF, conn.OUTPOS);
}

}  // namespace

int32_t NETINIT() {
    static std::once_flag sigpipeonce;
    const int32_t result = SDLNet_Init();
    // After SDLNet_Init, which on its first start installs its own choice:
    // from here on a send to a closed peer fails with EPIPE instead of
    // ending the process.
    std::call_once(sigpipeonce, [] { std::signal(SIGPIPE, SIG_IGN); });
    return result;
}

uint32_t NETNOW() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void NETATTACH(NETCONNECTION& conn, TCPsocket socket, SDLNet_SocketSet set) {
    conn.SOCKET = socket;
    conn.SET = set;
    conn.INBUF.clear();
    conn.INPOS = 0;
    conn.OUTBUF.clear();
    conn.OUTPOS = 0;
    conn.CLOSED = socket == nullptr;
    conn.FAILED = socket == nullptr;
    conn.NONBLOCKING = false;
    conn.LASTHEARD = NETNOW();
    conn.STALLEDSINCE = 0;
    conn.SENDCALLS = conn.BYTESSENT = conn.RECVCALLS = conn.BYTESRECEIVED = 0;
    conn.MEMORY = false;
    conn.MEMIN = nullptr;
    conn.MEMINSIZE = conn.MEMINPOS = 0;
    conn.MEMOUT = nullptr;
    conn.PEERHOST = 0;
    if (socket == NETMEMORYSOCKET) return NETMEMORYATTACH(conn);
    if (socket == nullptr) return;
    if (const IPaddress* peer = SDLNet_TCP_GetPeerAddress(socket)) conn.PEERHOST = peer->host;
    if (set != nullptr) SDLNet_TCP_AddSocket(set, socket);
    const int fd = VERIFIEDDESCRIPTOR(socket);
    if (fd >= 0) conn.NONBLOCKING = MAKENONBLOCKING(fd);
    if (!conn.NONBLOCKING) {
        static std::once_flag warnonce;
        std::call_once(warnonce, [] {
            std::fputs("vexil: cannot make sockets non-blocking with this SDL_net build; "
                       "a peer that stops reading can stall the game\n",
                       stderr);
        });
    }
}

void NETJOINSET(NETCONNECTION& conn, SDLNet_SocketSet set) {
    conn.SET = set;
    if (!conn.MEMORY && conn.SOCKET != nullptr && set != nullptr) SDLNet_TCP_AddSocket(set, conn.SOCKET);
}

int32_t NETDETACH(NETCONNECTION& conn) {
    int32_t result = 0;
    if (conn.MEMORY) {
        if (!conn.FAILED) NETFLUSH(conn);
    } else if (conn.SOCKET != nullptr) {
        if (!conn.FAILED && conn.NONBLOCKING) NETFLUSH(conn);
        if (conn.SET != nullptr) result = SDLNet_TCP_DelSocket(conn.SET, conn.SOCKET);
        SDLNet_TCP_Close(conn.SOCKET);
    }
    conn.SOCKET = nullptr;
    conn.SET = nullptr;
    // The buffers are given back, not just emptied: a peer that flooded a
    // slot would otherwise leave megabytes held by it for good, and every
    // slot such a peer ever used would keep its share.
    std::vector<uint8_t>().swap(conn.INBUF);
    conn.INPOS = 0;
    std::vector<uint8_t>().swap(conn.OUTBUF);
    conn.OUTPOS = 0;
    conn.MEMORY = false;
    conn.MEMIN = nullptr;
    conn.MEMOUT = nullptr;
    conn.CLOSED = true;
    conn.FAILED = false;
    conn.NONBLOCKING = false;
    return result;
}

void NETPUTINT(NETCONNECTION& conn, int32_t value) { PUT32(conn, static_cast<uint32_t>(value)); }
void NETPUTBYTES(NETCONNECTION& conn, const uint8_t* bytes, size_t count) { APPEND(conn, bytes, count); }
void NETPUTLNG(NETCONNECTION& conn, int32_t value) { PUT32(conn, static_cast<uint32_t>(value)); }

void NETPUTSNG(NETCONNECTION& conn, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PUT32(conn, bits);
}

void NETPUTDBL(NETCONNECTION& conn, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PUT64(conn, bits);
}

void NETPUTSTR(NETCONNECTION& conn, const std::string& value) {
    // Our own strings are never longer than a 32-bit length can say; a
    // longer one would be unreadable to any peer, so it fails the connection.
    if (value.size() > 0x7fffffffu) {
        NETFAIL(conn);
        return;
    }
    if (conn.SOCKET == nullptr || conn.FAILED) return;
    if (NETUNSENT(conn) + 4 + value.size() > NETMAXUNSENT) {
        NETFAIL(conn);
        return;
    }
    PUT32(conn, static_cast<uint32_t>(value.size()));
    APPEND(conn, reinterpret_cast<const uint8_t*>(value.data()), value.size());
}

void NETFLUSH(NETCONNECTION& conn) {
    if (conn.SOCKET == nullptr || conn.FAILED || NETUNSENT(conn) == 0) return;
    const int count = static_cast<int>(NETUNSENT(conn));
    ++conn.SENDCALLS;
    if (conn.MEMORY) {
        NETMEMORYDELIVER(conn, conn.OUTBUF.data() + conn.OUTPOS, static_cast<size_t>(count));
        SENT(conn, static_cast<size_t>(count));
        return;
    }
    errno = 0;
    const int sent = SDLNet_TCP_Send(conn.SOCKET, conn.OUTBUF.data() + conn.OUTPOS, count);
    const int error = errno;
    if (sent > 0) SENT(conn, static_cast<size_t>(sent));
    // On a non-blocking socket a short count with "would block" only means
    // the kernel's buffer is full; the rest waits for the next flush. Any
    // other short count is a broken connection.
    if (sent < count && !(conn.NONBLOCKING && WOULDBLOCK(error))) {
        NETFAIL(conn);
        return;
    }
    // The stall clock: restarted whenever the kernel takes something while
    // output stays queued (never 0 while running), stopped when all is out.
    const uint32_t now = NETNOW();
    if (conn.OUTBUF.empty()) {
        conn.STALLEDSINCE = 0;
    } else if (sent > 0 || conn.STALLEDSINCE == 0) {
        conn.STALLEDSINCE = now != 0 ? now : 1;
    } else if (now - conn.STALLEDSINCE >= NETSTALLLIMITMS) {
        NETFAIL(conn);
    }
}

int32_t NETPUMP(NETCONNECTION& conn) {
    if (conn.MEMORY) return NETMEMORYPUMP(conn);
    if (conn.SOCKET == nullptr || conn.SET == nullptr || conn.CLOSED) return 0;
    const size_t unread = NETUNREAD(conn);
    if (unread >= NETMAXUNREAD) return 0;
    if (SDLNet_CheckSockets(conn.SET, 0) <= 0 || !SDLNet_SocketReady(conn.SOCKET)) return 0;
    static thread_local std::array<uint8_t, 64 * 1024> scratch;
    const size_t room = std::min(scratch.size(), NETMAXUNREAD - unread);
    errno = 0;
    const int got = SDLNet_TCP_Recv(conn.SOCKET, scratch.data(), static_cast<int>(room));
    const int error = errno;
    ++conn.RECVCALLS;
    if (got > 0) {
        NETRECEIVED(conn, scratch.data(), static_cast<size_t>(got));
        return got;
    }
    if (got < 0 && conn.NONBLOCKING && WOULDBLOCK(error)) return 0;
    conn.CLOSED = true;
    return 0;
}

void NETRECEIVED(NETCONNECTION& conn, const uint8_t* bytes, size_t count) {
    COMPACT(conn.INBUF, conn.INPOS);
    conn.INBUF.insert(conn.INBUF.end(), bytes, bytes + count);
    conn.BYTESRECEIVED += count;
    conn.LASTHEARD = NETNOW();
}

void NETPOLL(NETCONNECTION& conn, int32_t ms) {
    if (conn.MEMORY) {
        NETPUMP(conn);
        return;
    }
    if (conn.SET == nullptr) return;
    const int ready = SDLNet_CheckSockets(conn.SET, static_cast<Uint32>(ms));
    if (ready > 0) {
        NETPUMP(conn);
    } else if (ready < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool NETWAITFOR(NETCONNECTION& conn, size_t count) {
    if (conn.FAILED) return false;
    if (NETUNREAD(conn) >= count) return true;
    if (conn.SOCKET == nullptr || (conn.SET == nullptr && !conn.MEMORY)) return false;
    if (count > NETMAXUNREAD) {
        NETFAIL(conn);
        return false;
    }
    NETFLUSH(conn);
    const uint32_t start = NETNOW();
    // Unread bytes before the last poll; none was made yet.
    size_t unreadbefore = SIZE_MAX;
    for (;;) {
        if (conn.FAILED) return false;
        if (NETUNREAD(conn) >= count) return true;
        if (conn.CLOSED) return false;
        // A memory connection has nothing more coming once a pump brings
        // nothing: the wait ends at once.
        if (NETNOW() - start >= NETWAITLIMITMS || (conn.MEMORY && NETUNREAD(conn) == unreadbefore)) {
            // Treated as closed: nothing more is read from it. Its output
            // still goes out (a refused peer still gets its answer).
            conn.CLOSED = true;
            return false;
        }
        // Output the kernel could not take yet may be what the peer waits
        // for before it answers.
        if (NETUNSENT(conn) != 0) NETFLUSH(conn);
        unreadbefore = NETUNREAD(conn);
        NETPOLL(conn, 10);
    }
}

size_t NETUNSENT(const NETCONNECTION& conn) {
    return conn.OUTBUF.size() > conn.OUTPOS ? conn.OUTBUF.size() - conn.OUTPOS : 0;
}

size_t NETUNREAD(const NETCONNECTION& conn) {
    return conn.INBUF.size() > conn.INPOS ? conn.INBUF.size() - conn.INPOS : 0;
}

const uint8_t* NETPEEK(const NETCONNECTION& conn) { return conn.INBUF.data() + conn.INPOS; }

bool NETTAKEINT(NETCONNECTION& conn, int32_t& value) {
    uint32_t bits;
    if (!TAKE32(conn, bits)) return false;
    value = static_cast<int32_t>(bits);
    return true;
}

bool NETTAKELNG(NETCONNECTION& conn, int32_t& value) { return NETTAKEINT(conn, value); }

bool NETTAKESNG(NETCONNECTION& conn, float& value) {
    uint32_t bits;
    if (!TAKE32(conn, bits)) return false;
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool NETTAKEDBL(NETCONNECTION& conn, double& value) {
    uint64_t bits;
    if (!TAKE64(conn, bits)) return false;
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

bool NETTAKESTR(NETCONNECTION& conn, std::string& value) {
    if (conn.FAILED || NETUNREAD(conn) < 4) return false;
    const int32_t length = NETREADINT(NETPEEK(conn));
    if (length < 0 || length > NETMAXSTRING) {
        NETFAIL(conn);
        return false;
    }
    if (NETUNREAD(conn) < 4 + static_cast<size_t>(length)) return false;
    const char* start = reinterpret_cast<const char*>(NETPEEK(conn)) + 4;
    value.assign(start, static_cast<size_t>(length));
    conn.INPOS += 4 + static_cast<size_t>(length);
    return true;
}

void NETSKIP(NETCONNECTION& conn, size_t count) { conn.INPOS += std::min(count, NETUNREAD(conn)); }

bool NETRECVINT(NETCONNECTION& conn, int32_t& value) { return NETWAITFOR(conn, 4) && NETTAKEINT(conn, value); }
bool NETRECVLNG(NETCONNECTION& conn, int32_t& value) { return NETWAITFOR(conn, 4) && NETTAKELNG(conn, value); }
bool NETRECVSNG(NETCONNECTION& conn, float& value) { return NETWAITFOR(conn, 4) && NETTAKESNG(conn, value); }
bool NETRECVDBL(NETCONNECTION& conn, double& value) { return NETWAITFOR(conn, 8) && NETTAKEDBL(conn, value); }

bool NETRECVSTR(NETCONNECTION& conn, std::string& value) {
    if (!NETWAITFOR(conn, 4)) return false;
    const int32_t length = NETREADINT(NETPEEK(conn));
    if (length < 0 || length > NETMAXSTRING) {
        NETFAIL(conn);
        return false;
    }
    return NETWAITFOR(conn, 4 + static_cast<size_t>(length)) && NETTAKESTR(conn, value);
}

void NETFAIL(NETCONNECTION& conn) {
    conn.FAILED = true;
    conn.CLOSED = true;
    conn.OUTBUF.clear();
    conn.OUTBUF.shrink_to_fit();
    conn.OUTPOS = 0;
}

bool NETGONE(const NETCONNECTION& conn) {
    return conn.SOCKET == nullptr || conn.FAILED || (conn.CLOSED && NETUNREAD(conn) == 0);
}

int32_t NETREADINT(const uint8_t* bytes) { return static_cast<int32_t>(READ32(bytes)); }

void NETWRITEINT(uint8_t* bytes, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
}

// --- Client primitives -------------------------------------------------------

void CLIENTNETSENDMESSAGEINT(const int32_t& X) { NETPUTINT(CLIENTCONNECTION, X); }
void CLIENTNETSENDMESSAGELNG(const int32_t& X) { NETPUTLNG(CLIENTCONNECTION, X); }
void CLIENTNETSENDMESSAGESNG(const float& X) { NETPUTSNG(CLIENTCONNECTION, X); }
void CLIENTNETSENDMESSAGEDBL(const double& X) { NETPUTDBL(CLIENTCONNECTION, X); }
void CLIENTNETSENDMESSAGESTR(const std::string& X) { NETPUTSTR(CLIENTCONNECTION, X); }

bool CLIENTNETRECIEVEMESSAGEINT(int32_t& X) { return NETRECVINT(CLIENTCONNECTION, X); }
bool CLIENTNETRECIEVEMESSAGELNG(int32_t& X) { return NETRECVLNG(CLIENTCONNECTION, X); }
bool CLIENTNETRECIEVEMESSAGESNG(float& X) { return NETRECVSNG(CLIENTCONNECTION, X); }
bool CLIENTNETRECIEVEMESSAGEDBL(double& X) { return NETRECVDBL(CLIENTCONNECTION, X); }
bool CLIENTNETRECIEVEMESSAGESTR(std::string& X) { return NETRECVSTR(CLIENTCONNECTION, X); }

// --- Server primitives -------------------------------------------------------

NETCONNECTION* SERVERCONNECTION(int32_t A) {
    if (A < 0 || A >= SERVERSLOTS) return nullptr;
    return &SERVERCONNECTIONS[static_cast<size_t>(A)];
}

void SERVERNETSENDMESSAGEINT(int32_t A, const int32_t& X) {
    if (NETCONNECTION* conn = SERVERCONNECTION(A)) NETPUTINT(*conn, X);
}
void SERVERNETSENDMESSAGELNG(int32_t A, const int32_t& X) {
    if (NETCONNECTION* conn = SERVERCONNECTION(A)) NETPUTLNG(*conn, X);
}
void SERVERNETSENDMESSAGESNG(int32_t A, const float& X) {
    if (NETCONNECTION* conn = SERVERCONNECTION(A)) NETPUTSNG(*conn, X);
}
void SERVERNETSENDMESSAGEDBL(int32_t A, const double& X) {
    if (NETCONNECTION* conn = SERVERCONNECTION(A)) NETPUTDBL(*conn, X);
}
void SERVERNETSENDMESSAGESTR(int32_t A, const std::string& X) {
    if (NETCONNECTION* conn = SERVERCONNECTION(A)) NETPUTSTR(*conn, X);
}

bool SERVERNETRECIEVEMESSAGEINT(int32_t A, int32_t& X) {
    NETCONNECTION* conn = SERVERCONNECTION(A);
    return conn != nullptr && NETRECVINT(*conn, X);
}
bool SERVERNETRECIEVEMESSAGELNG(int32_t A, int32_t& X) {
    NETCONNECTION* conn = SERVERCONNECTION(A);
    return conn != nullptr && NETRECVLNG(*conn, X);
}
bool SERVERNETRECIEVEMESSAGESNG(int32_t A, float& X) {
    NETCONNECTION* conn = SERVERCONNECTION(A);
    return conn != nullptr && NETRECVSNG(*conn, X);
}
bool SERVERNETRECIEVEMESSAGEDBL(int32_t A, double& X) {
    NETCONNECTION* conn = SERVERCONNECTION(A);
    return conn != nullptr && NETRECVDBL(*conn, X);
}
bool SERVERNETRECIEVEMESSAGESTR(int32_t A, std::string& X) {
    NETCONNECTION* conn = SERVERCONNECTION(A);
    return conn != nullptr && NETRECVSTR(*conn, X);
}
