// vexil-bench-attack: how long the game's own client waits for an UPDATE
// while one hostile player spoils the arena, and how many exchange cycles it
// runs at honest peak load, on the real server and client code.
//
// Each scenario runs in a child process of its own (a fresh server, since
// QUITLOOP only ever goes from 0 to 1): the server in a thread through
// GAMESERVER, as in a hosting game; the measured player as a bot (BOTRUN:
// the game client's own dispatcher, prediction and flush, one frame every
// 33 ms); beside it a reference player (BENCHPLAYER) that applies one
// message per 33 ms frame, the rule the game's client followed before, and
// watches the hostile ship and the UPDATE sizes. After a second of play the
// hostile player acts for 8 s:
//  - chat flood: short CHAT lines as fast as the server takes them;
//  - huge lines: CHAT lines of 60,000 bytes;
//  - huge name: it joins under a 60,000-byte name and plays;
//  - join/leave loop: join, take the FULLSTATE, close, again;
//  - wrong-code loop: connect, send a wrong code, await the end, again.
// In the first three it also answers every UPDATE with controls no real
// client sends (thrust 1,000,000, heading 1e9). The peak scenario has no
// hostile player: the measured bot, 14 more bots firing and chatting, and
// the reference player. The hostile player's loop connections come from
// 127.0.0.2, the players' from 127.0.0.1.
// Prints ROW lines (see benchsupport.h). Every loop is bounded in count and
// time; a child that overruns is killed.
// Threads (in a child): main (the scenario and the hostile player), the
// server thread, one thread per bot, the reference player's thread.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "bench/benchsupport.h"
#include "bots/bot.h"
#include "main/spine.h"
#include "server/server.h"
#include "shared/net.h"
#include "shared/protocol.h"

namespace {

constexpr double FPS = 30.0;
constexpr double WARMUPSECONDS = 1.0;
constexpr double ATTACKSECONDS = 8.0;
constexpr double CHILDLIMITSECONDS = 60.0;
constexpr uint64_t HOSTILELOOPS = 20'000'000;
constexpr size_t HUGE = 60000;

enum ATTACK : int { CHATFLOOD, HUGELINES, HUGENAME, JOINLEAVE, WRONGCODE, PEAK };

std::atomic<bool> MEASURING{false};
std::atomic<bool> STOPREFERENCE{false};
std::atomic<int32_t> HOSTILESLOT{-1};

// What the reference player saw while the hostile player acted.
struct SEEN {
    double LONGEST = 0;      // longest wait between two UPDATEs applied, s
    uint64_t UPDATES = 0;
    double DROPPEDAFTER = -1;  // s into the attack when its connection ended
    size_t LARGESTUPDATE = 0;
    double TOPSPEED = -1;    // the hostile ship's, units/s, as UPDATEs carry it
    double HEADINGLOW = 1e300, HEADINGHIGH = -1e300;
};

// The reference player: one message per 33 ms frame.
void REFERENCE(BENCHPLAYER& player, SEEN& seen) {
    const double period = 1.0 / FPS;
    const double limit = WALLNOW() + CHILDLIMITSECONDS;
    double next = WALLNOW(), last = 0, start = 0;
    uint64_t updates = 0;
    bool measuring = false;
    while (!STOPREFERENCE.load() && WALLNOW() < limit) {
        SLEEPUNTIL(next);
        next += period;
        const int32_t kind = player.FRAME();
        const double now = WALLNOW();
        if (!measuring && MEASURING.load()) measuring = true, start = last = now, updates = player.UPDATES;
        if (!measuring) continue;
        if (player.GONE) {
            seen.DROPPEDAFTER = now - start;
            break;
        }
        if (kind == UPDATE) {
            seen.LONGEST = std::max(seen.LONGEST, now - last);
            last = now;
            seen.LARGESTUPDATE = std::max(seen.LARGESTUPDATE, player.LASTLENGTH);
            const int32_t slot = HOSTILESLOT.load();
            if (PROTOVALIDSLOT(slot) && slot != player.SLOT && player.PLAYERS[static_cast<size_t>(slot)].CONNECTED != 0) {
                const SHIPTYPE& ship = player.PLAYERS[static_cast<size_t>(slot)];
                seen.TOPSPEED = std::max(seen.TOPSPEED, std::hypot(ship.XVELOC, ship.YVELOC));
                seen.HEADINGLOW = std::min(seen.HEADINGLOW, ship.SUBDIRECTION);
                seen.HEADINGHIGH = std::max(seen.HEADINGHIGH, ship.SUBDIRECTION);
            }
        }
        if (!MEASURING.load()) break;
    }
    if (seen.DROPPEDAFTER < 0) seen.LONGEST = std::max(seen.LONGEST, WALLNOW() - last);
    seen.UPDATES = player.UPDATES - updates;
}

// A raw loopback connection from 127.0.0.2 (another address than the
// players'); -1 when it cannot be made.
int CONNECTFROMOTHERADDRESS(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = inet_addr("127.0.0.2");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void SENDBYTES(int fd, const std::vector<uint8_t>& bytes) { (void)send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

// Reads what arrives for at most SECONDS; returns the bytes read (stops at
// the peer's close, or once AT LEAST bytes have come).
std::vector<uint8_t> READFOR(int fd, double seconds, size_t atleast) {
    std::vector<uint8_t> got;
    const double until = WALLNOW() + seconds;
    uint8_t buffer[16384];
    while (got.size() < atleast && WALLNOW() < until) {
        pollfd watch{fd, POLLIN, 0};
        if (poll(&watch, 1, 5) <= 0) continue;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

std::vector<uint8_t> INTBYTES(int32_t value) {
    std::vector<uint8_t> bytes(4);
    NETWRITEINT(bytes.data(), value);
    return bytes;
}

// The loops: each pass connects anew. Returns the passes made.
uint64_t LOOPATTACK(uint16_t port, bool wrongcode, double end) {
    uint64_t passes = 0;
    for (uint64_t i = 0; i < HOSTILELOOPS && WALLNOW() < end; ++i) {
        const int fd = CONNECTFROMOTHERADDRESS(port);
        if (fd < 0) {
            SDL_Delay(1);
            continue;
        }
        SENDBYTES(fd, INTBYTES(wrongcode ? 1234 : AUTHCODE));
        if (wrongcode) {
            READFOR(fd, 1.0, SIZE_MAX);  // the refusal, then the close
        } else {
            const std::vector<uint8_t> slot = READFOR(fd, 1.0, 4);
            if (slot.size() == 4 && NETREADINT(slot.data()) >= 0) {
                std::vector<uint8_t> name = INTBYTES(6);
                for (char c : std::string("looper")) name.push_back(static_cast<uint8_t>(c));
                const std::vector<uint8_t> ready = INTBYTES(READY);
                name.insert(name.end(), ready.begin(), ready.end());
                SENDBYTES(fd, name);
                READFOR(fd, 1.0, FULLSTATEBYTES);  // its FULLSTATE, then leave
            }
        }
        close(fd);
        ++passes;
    }
    return passes;
}

// The hostile player in play: reads everything, answers every UPDATE with
// impossible controls, and for the two chat attacks sends lines as fast as
// the server takes them. Returns the lines sent.
uint64_t PLAYATTACK(BENCHPLAYER& hostile, ATTACK attack, double end) {
    hostile.THRUST = 1000000;
    hostile.HEADING = 1e9;
    hostile.SHOOT = 1;
    const std::string line = attack == HUGELINES ? std::string(HUGE, 'x') : std::string("spam spam spam");
    uint64_t lines = 0;
    for (uint64_t i = 0; i < HOSTILELOOPS && WALLNOW() < end && !hostile.GONE; ++i) {
        NETPUMP(hostile.CONN);
        for (int m = 0; m < 4096 && hostile.APPLYONE() > GOODBYE; ++m) {
        }
        const bool chat = attack == CHATFLOOD || attack == HUGELINES;
        // Only as much as the kernel takes: a flooder that queued without
        // bound would only fill its own memory.
        if (chat && NETUNSENT(hostile.CONN) < 64 * 1024) {
            PROTOWRITECHAT(hostile.CONN, line);
            ++lines;
        }
        NETFLUSH(hostile.CONN);
        if (hostile.CONN.FAILED) break;
        if (!chat || NETUNSENT(hostile.CONN) >= 64 * 1024) SDLNet_CheckSockets(hostile.CONN.SET, 1);
    }
    return lines;
}

struct RESULT {
    uint32_t LONGESTMS = 0;
    double CYCLES = 0;
    bool DROPPED = false;
    SEEN REFERENCE;
    uint64_t HOSTILEACTS = 0;
};

// One scenario in this (child) process.
bool RUNSCENARIO(ATTACK attack, uint16_t port, RESULT& result) {
    GAMEPORT = port;
    VX_HOSTNAME = HOSTINGADDRESS;
    std::thread server([] { GAMESERVER(0); });
    for (int i = 0; i < 5000 && SERVERHOSTING.load() == 0; ++i) SDL_Delay(1);

    const int others = attack == PEAK ? 14 : 0;
    std::vector<std::unique_ptr<BOTTYPE>> bots;
    std::vector<std::thread> botthreads;
    for (int i = 0; i <= others; ++i) {
        auto bot = std::make_unique<BOTTYPE>();
        bot->NAME = i == 0 ? "measured" : "bot" + std::to_string(i);
        bot->HOST = HOSTINGADDRESS;
        bot->SEED = static_cast<uint32_t>(i + 1);
        bot->SECONDS = CHILDLIMITSECONDS;
        if (attack == PEAK) bot->CHATLINES = 1000, bot->CHATEVERY = 45;
        botthreads.emplace_back(BOTRUN, std::ref(*bot));
        for (int w = 0; w < 5000 && !bot->JOINED.load() && !bot->ENDED.load(); ++w) SDL_Delay(1);
        bots.push_back(std::move(bot));
    }
    BENCHPLAYER reference;
    const bool joined = bots[0]->JOINED.load() && reference.JOIN(port, "reference", 5.0);
    std::thread watcher([&] {
        if (joined) REFERENCE(reference, result.REFERENCE);
    });

    BENCHPLAYER hostile;
    const bool inplay = attack == CHATFLOOD || attack == HUGELINES || attack == HUGENAME;
    if (joined && inplay && hostile.JOIN(port, attack == HUGENAME ? std::string(HUGE, 'n') : "hostile", 5.0))
        HOSTILESLOT.store(hostile.SLOT);

    SLEEPUNTIL(WALLNOW() + WARMUPSECONDS);
    BOTTYPE& measured = *bots[0];
    measured.LONGESTUPDATEGAP.store(0);
    const uint64_t updates = measured.UPDATES.load();
    MEASURING.store(true);
    const double start = WALLNOW(), end = start + ATTACKSECONDS;
    if (joined) {
        if (inplay) result.HOSTILEACTS = PLAYATTACK(hostile, attack, end);
        if (attack == JOINLEAVE || attack == WRONGCODE) result.HOSTILEACTS = LOOPATTACK(port, attack == WRONGCODE, end);
    }
    SLEEPUNTIL(end);
    // The wait still running at the end counts too.
    const uint32_t sincelast = NETNOW() - measured.LASTUPDATEAT.load();
    result.LONGESTMS = std::max(measured.LONGESTUPDATEGAP.load(), sincelast);
    result.CYCLES = static_cast<double>(measured.UPDATES.load() - updates) / (WALLNOW() - start);
    result.DROPPED = measured.DROPPED.load() || measured.ENDED.load();
    MEASURING.store(false);
    STOPREFERENCE.store(true);
    watcher.join();
    hostile.CLOSE();
    BOTSTOP.store(1);
    for (std::thread& thread : botthreads) thread.join();
    QUITLOOP.store(1);
    server.join();
    return joined;
}

const char* NAMES[] = {
    "chat flood (short lines as fast as taken)", "60,000-byte CHAT lines", "a 60,000-byte name",
    "a join/leave loop", "a wrong-code loop", "honest peak load (16 players firing and chatting, no hostile player)",
};

std::string MS(double seconds) { return FIXED(seconds * 1000, 0) + " ms"; }

void REPORT(ATTACK attack, const RESULT& r) {
    const SEEN& ref = r.REFERENCE;
    const std::string measured = (r.DROPPED ? std::string("DROPPED; ") : std::string()) + MS(r.LONGESTMS / 1000.0) + ", " +
                                 FIXED(r.CYCLES, 1) + " cycles/s";
    const std::string reference =
        ref.DROPPEDAFTER >= 0 ? "dropped after " + FIXED(ref.DROPPEDAFTER, 1) + " s"
                              : MS(ref.LONGEST) + ", " + FIXED(static_cast<double>(ref.UPDATES) / ATTACKSECONDS, 1) + " cycles/s";
    const bool waitmet = !r.DROPPED && r.LONGESTMS <= 250;
    if (attack == PEAK) {
        ROW(std::string("Attack: the game's client's longest wait for an UPDATE, cycles/s, at ") + NAMES[attack], measured,
            reference + " (one message per frame)", "", "≤ 250 ms, ≥ 25 cycles/s",
            VERDICT(waitmet && r.CYCLES >= 25));
        return;
    }
    const std::string acts = attack == CHATFLOOD || attack == HUGELINES ? " lines" : attack == HUGENAME ? "" : " passes";
    ROW(std::string("Attack: the game's client's longest wait for an UPDATE during 8 s of ") + NAMES[attack], measured,
        reference + " (one message per frame)" + (acts.empty() ? "" : "; " + std::to_string(r.HOSTILEACTS) + acts),
        "", "≤ 250 ms", VERDICT(waitmet));
    if (attack == CHATFLOOD || attack == HUGELINES || attack == HUGENAME) {
        const bool seen = ref.TOPSPEED >= 0;
        const std::string ship = seen ? FIXED(ref.TOPSPEED, 0) + " u/s; heading " + FIXED(ref.HEADINGLOW, 1) + " to " +
                                            FIXED(ref.HEADINGHIGH, 1)
                                      : "hostile ship not seen";
        ROW(std::string("… the same: largest UPDATE; hostile ship's top speed; its heading range"),
            std::to_string(ref.LARGESTUPDATE) + " B; " + ship, "as the reference player saw them", "",
            "≤ 4096 B; ≤ 750 u/s; 0 to 64",
            VERDICT(ref.LARGESTUPDATE <= 4096 && seen && ref.TOPSPEED <= 750 && ref.HEADINGLOW >= 0 &&
                    ref.HEADINGHIGH <= 64));
    }
}

}  // namespace

int main() {
    const ATTACK attacks[] = {CHATFLOOD, HUGELINES, HUGENAME, JOINLEAVE, WRONGCODE, PEAK};
    int status = 0;
    for (ATTACK attack : attacks) {
        const uint16_t port = FREEPORT(31070, 31089);
        if (port == 0) {
            std::fprintf(stderr, "vexil-bench-attack: no free port in 31070-31089\n");
            return 1;
        }
        std::fflush(stdout);
        const pid_t child = fork();
        if (child < 0) return 1;
        if (child == 0) {
            SDL_Init(SDL_INIT_NOPARACHUTE);  // the tick counter of the physics clocks
            NETINIT();
            RESULT result;
            if (!RUNSCENARIO(attack, port, result)) {
                std::fprintf(stderr, "vexil-bench-attack: the players could not join (%s)\n", NAMES[attack]);
                _exit(1);
            }
            REPORT(attack, result);
            std::fflush(stdout);
            _exit(0);
        }
        const double limit = WALLNOW() + CHILDLIMITSECONDS + 30;
        int childstatus = 0;
        while (waitpid(child, &childstatus, WNOHANG) == 0) {
            if (WALLNOW() > limit) {
                kill(child, SIGKILL);
                waitpid(child, &childstatus, 0);
                std::fprintf(stderr, "vexil-bench-attack: %s overran and was stopped\n", NAMES[attack]);
                break;
            }
            SLEEPUNTIL(WALLNOW() + 0.05);
        }
        if (!WIFEXITED(childstatus) || WEXITSTATUS(childstatus) != 0) status = 1;
    }
    return status;
}
