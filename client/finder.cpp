// The game finder's search: destinations, the query rounds, reading and
// merging the answers. Threads: each FINDERTYPE is used by the one thread
// that started its search; nothing here is shared.
#include "client/finder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "shared/discovery.h"

namespace {
std::string DOTTED(in_addr_t host) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = host;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

bool ISLOOPBACK(in_addr_t host) { return (ntohl(host) >> 24) == 127; }

void ADDPLACE(std::vector<FINDERPLACE>& places, in_addr_t host, const std::string& label) {
    for (const FINDERPLACE& p : places)
        if (p.HOST == host) return;
    places.push_back(FINDERPLACE{host, label});
}

// Case folded first, so "alpha" and "Bravo" sort as a player reads them.
bool GAMEBEFORE(const FINDERGAME& a, const FINDERGAME& b) {
    std::string la = a.NAME, lb = b.NAME;
    for (char& c : la) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : lb) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (la != lb) return la < lb;
    if (a.NAME != b.NAME) return a.NAME < b.NAME;
    return ntohl(a.HOST) < ntohl(b.HOST);
}

void SENDROUND(FINDERTYPE& finder) {
    const std::vector<uint8_t> query = DISCOVERYWRITEQUERY(finder.TOKEN);
    int32_t sent = 0;
    int lasterror = 0;
    for (const FINDERPLACE& place : finder.PLACES) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(FINDERPORT);
        to.sin_addr.s_addr = place.HOST;
        // A place the machine has no route to fails alone; the others still go.
        if (sendto(finder.SOCKET, query.data(), query.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to),
                   sizeof to) == static_cast<ssize_t>(query.size())) {
            ++sent;
        } else {
            lasterror = errno;
        }
    }
    // Said only when no query at all could leave: then nothing can answer.
    if (finder.SENT == 0 && sent == 0 && !finder.PLACES.empty()) finder.ERROR = std::strerror(lasterror);
    ++finder.SENT;
}

// One game per server id, port and name, however many addresses reached it:
// the newest counts are kept, and an address other than the loopback is
// preferred, since other machines can use it too.
void MERGE(FINDERTYPE& finder, in_addr_t from, const DISCOVERYINFO& info) {
    FINDERGAME game;
    game.HOST = from;
    game.ADDRESS = DOTTED(from);
    game.PORT = info.PORT;
    game.SHOWN = game.ADDRESS + (info.PORT == FINDERPORT ? "" : ":" + std::to_string(info.PORT));
    game.SERVERID = info.SERVERID;
    game.NAME = info.NAME;
    game.PLAYERS = static_cast<int32_t>(info.PLAYERS.size());
    game.SLOTS = info.SLOTS;
    for (FINDERGAME& known : finder.GAMES) {
        if (known.SERVERID != game.SERVERID || known.PORT != game.PORT || known.NAME != game.NAME) continue;
        if (!ISLOOPBACK(known.HOST) || ISLOOPBACK(from)) game.HOST = known.HOST, game.ADDRESS = known.ADDRESS, game.SHOWN = known.SHOWN;
        known = game;
        std::sort(finder.GAMES.begin(), finder.GAMES.end(), GAMEBEFORE);
        return;
    }
    if (finder.GAMES.size() >= FINDERMAXGAMES) return;
    finder.GAMES.insert(std::upper_bound(finder.GAMES.begin(), finder.GAMES.end(), game, GAMEBEFORE), game);
}

void READANSWERS(FINDERTYPE& finder) {
    std::array<uint8_t, 2048> buffer{};
    for (int32_t i = 0; i < FINDERREADSPERPOLL; ++i) {
        sockaddr_in from{};
        socklen_t fromlength = sizeof from;
        const ssize_t n = recvfrom(finder.SOCKET, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromlength);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nothing more waiting (or an ICMP error from a place): read again next poll
        }
        DISCOVERYINFO info;
        if (from.sin_family != AF_INET || !DISCOVERYREADANSWER(buffer.data(), static_cast<size_t>(n), info) ||
            info.TOKEN != finder.TOKEN)
            continue;
        MERGE(finder, from.sin_addr.s_addr, info);
        for (size_t p = 0; p < finder.PLACES.size(); ++p)
            if (finder.PLACES[p].HOST == from.sin_addr.s_addr) finder.ANSWERED[p] = 1;
    }
}
}  // namespace

std::vector<FINDERPLACE> FINDERLOCALPLACES() {
    std::vector<FINDERPLACE> places;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
            if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
            if ((i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_BROADCAST) == 0 || i->ifa_broadaddr == nullptr)
                continue;
            const in_addr_t broadcast = reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr;
            if (broadcast == htonl(INADDR_ANY) || broadcast == htonl(INADDR_BROADCAST)) continue;
            ADDPLACE(places, broadcast, std::string(i->ifa_name) + " (" + DOTTED(broadcast) + ")");
        }
        freeifaddrs(list);
    }
    ADDPLACE(places, htonl(INADDR_BROADCAST), "255.255.255.255");
    ADDPLACE(places, htonl(INADDR_LOOPBACK), "127.0.0.1");
    return places;
}

std::vector<FINDERPLACE> FINDERHOSTPLACES(const std::vector<std::string>& hosts, std::vector<std::string>& failed) {
    std::vector<FINDERPLACE> places;
    for (const std::string& host : hosts) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
            failed.push_back(host);
            continue;
        }
        for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
            const in_addr_t address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
            ADDPLACE(places, address, DOTTED(address) == host ? host : host + " (" + DOTTED(address) + ")");
        }
        freeaddrinfo(found);
    }
    return places;
}

std::string FINDERWHERE(const FINDERTYPE& finder) {
    std::string where;
    for (size_t i = 0; i < finder.PLACES.size(); ++i) {
        if (i > 0) where += i + 1 == finder.PLACES.size() ? " and " : ", ";
        where += FINDERPRINTABLE(finder.PLACES[i].LABEL);
    }
    return where;
}

bool FINDERSTART(FINDERTYPE& finder, const std::vector<FINDERPLACE>& places, uint32_t nowms, uint32_t lengthms) {
    FINDERSTOP(finder);
    finder.GAMES.clear();
    finder.ERROR.clear();
    finder.PLACES = places;
    finder.ANSWERED.assign(places.size(), 0);
    finder.SEARCHED = 1;
    finder.SENT = 0;
    finder.STARTMS = nowms;
    finder.LENGTHMS = lengthms;
    // A fresh token per search: late answers to an earlier search, and
    // answers nobody asked for, are told apart from this one's.
    static std::mt19937 draw{std::random_device{}()};
    finder.TOKEN = static_cast<uint32_t>(draw());
    finder.SOCKET = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (finder.SOCKET < 0 || setsockopt(finder.SOCKET, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        finder.ERROR = std::strerror(errno);
        FINDERSTOP(finder);
        return false;
    }
    finder.RUNNING = 1;
    SENDROUND(finder);
    return true;
}

int32_t FINDERPOLL(FINDERTYPE& finder, uint32_t nowms) {
    if (finder.RUNNING == 0) return 0;
    const uint32_t elapsed = nowms - finder.STARTMS;
    // One round per poll at most: a late frame never sends two at once.
    const uint32_t due = static_cast<uint32_t>(finder.SENT) * FINDERSENDGAPMS;
    if (finder.SENT < FINDERSENDS && elapsed >= due && due < finder.LENGTHMS) SENDROUND(finder);
    READANSWERS(finder);
    const bool allanswered = finder.ENDWHENALLANSWER != 0 && !finder.ANSWERED.empty() &&
                             std::all_of(finder.ANSWERED.begin(), finder.ANSWERED.end(), [](int32_t a) { return a != 0; });
    if (elapsed >= finder.LENGTHMS || allanswered) FINDERSTOP(finder);
    return finder.RUNNING;
}

uint32_t FINDERNOWMS() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int32_t FINDERWAIT(FINDERTYPE& finder, uint32_t maxms) {
    if (finder.RUNNING == 0) return 0;
    const uint32_t elapsed = FINDERNOWMS() - finder.STARTMS;
    uint32_t wait = std::min(maxms, finder.LENGTHMS > elapsed ? finder.LENGTHMS - elapsed : 0);
    const uint32_t due = static_cast<uint32_t>(finder.SENT) * FINDERSENDGAPMS;
    if (finder.SENT < FINDERSENDS && due < finder.LENGTHMS) wait = std::min(wait, due > elapsed ? due - elapsed : 0);
    pollfd readable{finder.SOCKET, POLLIN, 0};
    poll(&readable, 1, static_cast<int>(wait));
    return FINDERPOLL(finder, FINDERNOWMS());
}

void FINDERSTOP(FINDERTYPE& finder) {
    if (finder.SOCKET >= 0) close(finder.SOCKET);
    finder.SOCKET = -1;
    finder.RUNNING = 0;
}

const std::vector<FINDERGAME>& FINDERRESULTS(const FINDERTYPE& finder) { return finder.GAMES; }

std::string FINDERPRINTABLE(const std::string& text) {
    std::string shown = text;
    for (char& c : shown)
        if (c < 0x20 || c > 0x7E) c = '?';
    return shown;
}
