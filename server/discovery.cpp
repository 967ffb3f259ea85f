// The discovery socket, the pass that answers queries, the budgets per
// source address and overall, and the log of what went unanswered.
// Threads: server thread only (see discovery.h).
#include "server/discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "main/spine.h"
#include "media/clock.h"
#include "server/slots.h"
#include "shared/discovery.h"
#include "shared/version.h"

std::atomic<int32_t> SERVERQUERYBURST{4};
std::atomic<int32_t> SERVERQUERYREFILLMS{500};
std::atomic<int32_t> SERVERQUERYALLBURST{64};
std::atomic<int32_t> SERVERQUERYALLREFILLMS{25};
std::string SERVERDISCOVERYNAME;

namespace {
constexpr uint32_t LOGPAUSEMS = 1000;
// Source addresses whose budget is tracked at once.
constexpr size_t QUERYADDRESSES = 256;

int SOCKETFD = -1;
std::array<SERVERADDRESSBUDGET, QUERYADDRESSES> QUERYBUDGETS{};
SERVERBUDGET ALLQUERIES;
// One more than a query, so that a larger datagram never reads as one.
std::array<uint8_t, DISCOVERYQUERYBYTES + 1> INPUT{};
// This pass's answer; only the token differs from one query to the next.
std::vector<uint8_t> ANSWER;
bool ANSWERFRESH = false;
uint32_t SERVERID = 0;

// What went unanswered since the last log line.
struct UNANSWEREDCOUNT {
    uint64_t MALFORMED = 0;
    uint64_t OVERBUDGET = 0;
    uint32_t LASTHOST = 0;
    uint32_t LOGGEDAT = 0;
    bool LOGGED = false;
} UNANSWERED;

bool SOCKETRECEIVE(uint8_t* buffer, size_t room, size_t& size, uint32_t& host, uint16_t& port) {
    if (SOCKETFD < 0) return false;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    // MSG_TRUNC: the datagram's whole size, even when it is larger than ROOM.
    const ssize_t got = recvfrom(SOCKETFD, buffer, room, MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 0) return false;
    size = static_cast<size_t>(got);
    host = from.sin_family == AF_INET ? from.sin_addr.s_addr : 0;
    port = ntohs(from.sin_port);
    return true;
}

void SOCKETSEND(const uint8_t* bytes, size_t size, uint32_t host, uint16_t port) {
    if (SOCKETFD < 0) return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = host;
    to.sin_port = htons(port);
    // A full send buffer loses the answer: the finder asks again.
    (void)sendto(SOCKETFD, bytes, size, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

// A source an answer may go to: not port 0, not 0.0.0.0/8, not a multicast
// or broadcast address (a forged one would spread the answer over a network).
bool ANSWERABLE(uint32_t host, uint16_t port) {
    const uint32_t address = ntohl(host);
    return port != 0 && address >> 24 != 0 && address >> 28 != 0xE && address != 0xFFFFFFFFu;
}

std::string HOSTNAME() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) return "";
    return name.data();
}

std::string SERVERNAME() {
    if (!SERVERDISCOVERYNAME.empty()) return SERVERDISCOVERYNAME;
    if (!TRIMSPACES(VX_PLAYERNAME).empty()) return VX_PLAYERNAME;
    return HOSTNAME();
}

// This pass's answer with TOKEN patched in.
const std::vector<uint8_t>& ANSWERFOR(uint32_t token) {
    if (!ANSWERFRESH) {
        DISCOVERYINFO info;
        info.PORT = static_cast<uint16_t>(GAMEPORT);
        info.SERVERID = SERVERID;
        info.SLOTS = MAXPLAYERS;
        info.VERSION = VEXILVERSION;
        info.NAME = SERVERNAME();
        for (int32_t A = 0; A < MAXPLAYERS; ++A)
            if (SERVERSLOTINPLAY(A)) info.PLAYERS.push_back({A, SERVERPLAYERS[static_cast<size_t>(A)].PLAYERNAME});
        ANSWER = DISCOVERYWRITEANSWER(info);
        ANSWERFRESH = true;
    }
    for (int k = 0; k < 4; ++k) ANSWER[6 + static_cast<size_t>(k)] = static_cast<uint8_t>(token >> (8 * k));
    return ANSWER;
}

void HANDLE(size_t size, uint32_t host, uint16_t port) {
    uint32_t token = 0;
    if (size != DISCOVERYQUERYBYTES || !ANSWERABLE(host, port) || !DISCOVERYREADQUERY(INPUT.data(), size, token)) {
        ++UNANSWERED.MALFORMED, UNANSWERED.LASTHOST = host;
        return;
    }
    // The address's own budget first: one flooding address must not spend
    // what the others share.
    bool lognow = false;
    if (!SERVERSPENDQUIET(SERVERBUDGETOF(QUERYBUDGETS.data(), QUERYBUDGETS.size(), host), SERVERQUERYBURST.load(),
                          SERVERQUERYREFILLMS.load(), lognow) ||
        !SERVERSPENDQUIET(ALLQUERIES, SERVERQUERYALLBURST.load(), SERVERQUERYALLREFILLMS.load(), lognow)) {
        ++UNANSWERED.OVERBUDGET, UNANSWERED.LASTHOST = host;
        return;
    }
    const std::vector<uint8_t>& answer = ANSWERFOR(token);
    SERVERDISCOVERYSEND(answer.data(), answer.size(), host, port);
}

// One line for everything unanswered since the last, at most once a second.
void LOGUNANSWERED() {
    if (UNANSWERED.MALFORMED == 0 && UNANSWERED.OVERBUDGET == 0) return;
    const uint32_t now = KELGETTICKS();
    if (UNANSWERED.LOGGED && now - UNANSWERED.LOGGEDAT < LOGPAUSEMS) return;
    const auto count = [](uint64_t n, const char* one, const char* more) { return " " + std::to_string(n) + (n == 1 ? one : more); };
    std::string line = "discovery: not answered:";
    if (UNANSWERED.MALFORMED != 0) line += count(UNANSWERED.MALFORMED, " malformed datagram", " malformed datagrams");
    if (UNANSWERED.MALFORMED != 0 && UNANSWERED.OVERBUDGET != 0) line += ",";
    if (UNANSWERED.OVERBUDGET != 0) line += count(UNANSWERED.OVERBUDGET, " query over budget", " queries over budget");
    SERVERLOG(line + " (last from " + SERVERADDRESSTEXT(UNANSWERED.LASTHOST) + ")");
    UNANSWERED = UNANSWEREDCOUNT{.LOGGEDAT = now, .LOGGED = true};
}
}  // namespace

bool (*SERVERDISCOVERYRECEIVE)(uint8_t*, size_t, size_t&, uint32_t&, uint16_t&) = SOCKETRECEIVE;
void (*SERVERDISCOVERYSEND)(const uint8_t*, size_t, uint32_t, uint16_t) = SOCKETSEND;

void SERVERDISCOVERYUSESOCKET() {
    SERVERDISCOVERYRECEIVE = SOCKETRECEIVE;
    SERVERDISCOVERYSEND = SOCKETSEND;
}

std::string SERVERDISCOVERYOPEN() {
    SERVERDISCOVERYCLOSE();
    if (SERVERID == 0) SERVERID = std::random_device{}();
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_ANY);
    at.sin_port = htons(static_cast<uint16_t>(GAMEPORT));
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        std::string reason = std::strerror(errno);
        if (fd >= 0) close(fd);
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        return reason;
    }
    SOCKETFD = fd;
    return "";
}

void SERVERDISCOVERYCLOSE() {
    if (SOCKETFD >= 0) close(SOCKETFD);
    SOCKETFD = -1;
    QUERYBUDGETS = {};
    ALLQUERIES = SERVERBUDGET{};
    UNANSWERED = UNANSWEREDCOUNT{};
}

void SERVERDISCOVERYPASS() {
    ANSWERFRESH = false;
    for (int read = 0; read < SERVERDISCOVERYREADS; ++read) {
        size_t size = 0;
        uint32_t host = 0;
        uint16_t port = 0;
        if (!SERVERDISCOVERYRECEIVE(INPUT.data(), INPUT.size(), size, host, port)) break;
        HANDLE(size, host, port);
    }
    LOGUNANSWERED();
}
