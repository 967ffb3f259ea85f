// vexil-bench-discovery: a flood of discovery queries against the real
// server while two honest players play. Runs in a private network namespace
// of its own (made at start; the flood never leaves it), on the game's own
// ports: the server's tick loop in a thread (SERVERRUN's tick and pause,
// each tick timed), two bots (the game client's own code) on TCP port 7778,
// and, after a second of play, 8 s of well-formed queries sent by the main
// thread to UDP port 7778 as fast as the kernel takes them:
//  - quiet: no flood (the reference);
//  - one address: one socket on 127.0.0.1;
//  - many addresses: 250 sockets on 127.1.0.1 to 127.1.0.250, in turn.
// The finder reads every answer and checks its size against its query's.
// Each scenario runs in a child process (a fresh server: QUITLOOP only ever
// goes from 0 to 1). Prints ROW lines (see benchsupport.h). Every loop is
// bounded in count and time; a child that overruns is killed.
// Threads (in a child): main (the scenario and the flood), the server
// thread, one thread per bot.
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bench/benchsupport.h"
#include "bots/bot.h"
#include "main/spine.h"
#include "media/clock.h"
#include "server/server.h"
#include "shared/discovery.h"

namespace {

constexpr double WARMUPSECONDS = 1.0;
constexpr double FLOODSECONDS = 8.0;
constexpr double CHILDLIMITSECONDS = 40.0;
constexpr uint64_t MOSTQUERIES = 50'000'000;
constexpr int ADDRESSES = 250;

enum SCENARIO : int { QUIET, ONEADDRESS, MANYADDRESSES };
const char* NAMES[] = {"no flood", "a query flood from one address", "a query flood from 250 addresses"};

std::atomic<bool> MEASURING{false};
std::vector<double> TICKS;  // seconds; written by the server thread while MEASURING

struct RESULT {
    uint32_t LONGESTMS = 0;  // the two players' longest wait for an UPDATE
    STATS TICK;
    uint64_t SENT = 0, ANSWERS = 0, OVERSIZE = 0;
};

// SERVERRUN, with each tick timed while MEASURING.
void SERVERLOOP() {
    do {
        const double start = WALLNOW();
        SERVERTICK();
        if (MEASURING.load() && TICKS.size() < 1'000'000) TICKS.push_back(WALLNOW() - start);
        KELDELAY(5);
    } while (QUITLOOP.load() == 0);
}

// A non-blocking UDP socket on ADDRESS (host order), any port; -1 on failure.
int UDPSOCKET(uint32_t address) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(address);
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// Reads every answer waiting on FD.
void TAKEANSWERS(int fd, RESULT& result) {
    uint8_t buffer[2048];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) >= 0;) {
        ++result.ANSWERS;
        if (static_cast<size_t>(n) > DISCOVERYQUERYBYTES) ++result.OVERSIZE;
    }
}

// Queries from SOCKETS in turn, as fast as the kernel takes them, until END.
void FLOOD(const std::vector<int>& sockets, double end, RESULT& result) {
    const std::vector<uint8_t> query = DISCOVERYWRITEQUERY(0x5EED);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(GAMEPORT));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    size_t next = 0;
    for (uint64_t i = 0; i < MOSTQUERIES && WALLNOW() < end; ++i) {
        const int fd = sockets[next];
        next = (next + 1) % sockets.size();
        if (sendto(fd, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) > 0) {
            ++result.SENT;
        } else {
            pollfd room{fd, POLLOUT, 0};
            poll(&room, 1, 1);
        }
        if (i % 256 == 0)
            for (int s : sockets) TAKEANSWERS(s, result);
    }
    // The answers to the last queries.
    for (const double until = WALLNOW() + 0.2; WALLNOW() < until; SLEEPUNTIL(WALLNOW() + 0.01))
        for (int s : sockets) TAKEANSWERS(s, result);
}

bool RUNSCENARIO(SCENARIO scenario, RESULT& result) {
    VX_HOSTNAME = HOSTINGADDRESS;
    SERVERPLACEOBJECTS();
    SERVERINITNETCONNECTION();
    if (!SERVERDISCOVERYOPEN().empty()) return false;
    std::thread server(SERVERLOOP);
    std::vector<std::unique_ptr<BOTTYPE>> bots;
    std::vector<std::thread> botthreads;
    for (int i = 0; i < 2; ++i) {
        auto bot = std::make_unique<BOTTYPE>();
        bot->NAME = "player" + std::to_string(i + 1);
        bot->HOST = HOSTINGADDRESS;
        bot->SEED = static_cast<uint32_t>(i + 1);
        bot->SECONDS = CHILDLIMITSECONDS;
        botthreads.emplace_back(BOTRUN, std::ref(*bot));
        for (int w = 0; w < 5000 && !bot->JOINED.load() && !bot->ENDED.load(); ++w) SDL_Delay(1);
        bots.push_back(std::move(bot));
    }
    const bool joined = bots[0]->JOINED.load() && bots[1]->JOINED.load();
    std::vector<int> sockets;
    for (int i = 0; i < (scenario == MANYADDRESSES ? ADDRESSES : 1); ++i) {
        const int fd = UDPSOCKET(scenario == MANYADDRESSES ? 0x7F010001u + static_cast<uint32_t>(i) : INADDR_LOOPBACK);
        if (fd >= 0) sockets.push_back(fd);
    }

    SLEEPUNTIL(WALLNOW() + WARMUPSECONDS);
    for (auto& bot : bots) bot->LONGESTUPDATEGAP.store(0);
    MEASURING.store(true);
    const double end = WALLNOW() + FLOODSECONDS;
    if (scenario != QUIET && !sockets.empty()) FLOOD(sockets, end, result);
    SLEEPUNTIL(end);
    for (auto& bot : bots) {
        // The wait still running at the end counts too.
        const uint32_t sincelast = NETNOW() - bot->LASTUPDATEAT.load();
        result.LONGESTMS = std::max({result.LONGESTMS, bot->LONGESTUPDATEGAP.load(), sincelast});
        if (bot->DROPPED.load() || bot->ENDED.load()) result.LONGESTMS = UINT32_MAX;
    }
    MEASURING.store(false);
    BOTSTOP.store(1);
    for (std::thread& thread : botthreads) thread.join();
    QUITLOOP.store(1);
    server.join();
    result.TICK = SUMMARISE(TICKS);
    for (int fd : sockets) close(fd);
    return joined && (scenario == QUIET || !sockets.empty());
}

// A private network namespace with its loopback up: the game's ports are
// free there and nothing sent reaches this machine's own interfaces.
bool ENTERPRIVATENETWORK() {
    if (unshare(CLONE_NEWNET) != 0) return false;
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    if (fd >= 0) close(fd);
    return up;
}

std::string WAIT(uint32_t ms) { return ms == UINT32_MAX ? std::string("DROPPED") : std::to_string(ms) + " ms"; }
std::string TICKTEXT(const STATS& tick) {
    return "tick mean " + FIXED(tick.MEAN * 1000, 2) + " ms, p99 " + FIXED(tick.P99 * 1000, 2) + " ms, max " + FIXED(tick.MAX * 1000, 1) + " ms";
}

void REPORT(const std::vector<RESULT>& results) {
    const RESULT& quiet = results[QUIET];
    for (SCENARIO scenario : {ONEADDRESS, MANYADDRESSES}) {
        const RESULT& r = results[scenario];
        const bool one = scenario == ONEADDRESS;
        const double seconds = FLOODSECONDS + 0.2;  // the budget also refills while the last answers come back
        const uint64_t budget = one ? static_cast<uint64_t>(SERVERQUERYBURST.load() + seconds * 1000 / SERVERQUERYREFILLMS.load())
                                    : static_cast<uint64_t>(SERVERQUERYALLBURST.load() + seconds * 1000 / SERVERQUERYALLREFILLMS.load());
        ROW(std::string("Discovery: answers to 8 s of ") + NAMES[scenario], std::to_string(r.ANSWERS) + " answers to " +
            std::to_string(r.SENT) + " queries, " + std::to_string(r.OVERSIZE) + " larger than their query",
            one ? "per address: 4, then 2/s" : "overall: 64, then 40/s", "", "≤ " + std::to_string(budget) + ", none larger",
            VERDICT(r.ANSWERS <= budget && r.OVERSIZE == 0 && r.ANSWERS > 0));
        const bool waitmet = r.LONGESTMS != UINT32_MAX && r.LONGESTMS <= std::max<uint32_t>(quiet.LONGESTMS + 50, 100);
        ROW(std::string("Discovery: two players' longest wait for an UPDATE; server tick, during ") + NAMES[scenario],
            WAIT(r.LONGESTMS) + "; " + TICKTEXT(r.TICK), WAIT(quiet.LONGESTMS) + "; " + TICKTEXT(quiet.TICK) + " (no flood)",
            FIXED(r.TICK.MEAN / std::max(quiet.TICK.MEAN, 1e-9), 2), "wait ≤ no flood + 50 ms", VERDICT(waitmet));
    }
}

}  // namespace

int main() {
    if (!ENTERPRIVATENETWORK()) {
        std::fprintf(stderr, "vexil-bench-discovery: cannot make a private network namespace (run as root)\n");
        return 1;
    }
    std::vector<RESULT> results(3);
    int status = 0;
    for (SCENARIO scenario : {QUIET, ONEADDRESS, MANYADDRESSES}) {
        int pipefds[2];
        if (pipe(pipefds) != 0) return 1;
        std::fflush(stdout);
        const pid_t child = fork();
        if (child < 0) return 1;
        if (child == 0) {
            close(pipefds[0]);
            SDL_Init(SDL_INIT_NOPARACHUTE);  // the tick counter of the physics clocks
            NETINIT();
            RESULT result;
            const bool ran = RUNSCENARIO(scenario, result);
            if (!ran) std::fprintf(stderr, "vexil-bench-discovery: %s: the players could not join\n", NAMES[scenario]);
            (void)!write(pipefds[1], &result, sizeof result);
            _exit(ran ? 0 : 1);
        }
        close(pipefds[1]);
        const double limit = WALLNOW() + CHILDLIMITSECONDS;
        int childstatus = 0;
        while (waitpid(child, &childstatus, WNOHANG) == 0) {
            if (WALLNOW() > limit) {
                kill(child, SIGKILL);
                waitpid(child, &childstatus, 0);
                std::fprintf(stderr, "vexil-bench-discovery: %s overran and was stopped\n", NAMES[scenario]);
                break;
            }
            SLEEPUNTIL(WALLNOW() + 0.05);
        }
        if (read(pipefds[0], &results[scenario], sizeof(RESULT)) != static_cast<ssize_t>(sizeof(RESULT))) status = 1;
        close(pipefds[0]);
        if (!WIFEXITED(childstatus) || WEXITSTATUS(childstatus) != 0) status = 1;
    }
    REPORT(results);
    return status;
}
