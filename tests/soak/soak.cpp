// vexil-soak: a bounded soak of the dedicated server. It starts vexil-server
// on TCP port 7778 and, for the chosen time, plays twelve bots that stay
// (one floods the chat) and two that keep leaving and coming back, while
// hostile peers come one after another: a silent connector, random bytes
// instead of the code, a stop in the middle of a message, a flood that never
// reads, impossible string lengths, random bytes after a join and a reset.
// It fails when the server dies, a staying bot waits for an UPDATE longer
// than the server's bounded waits allow, a hostile peer is not refused or
// dropped, the server's resident memory keeps growing after the warm-up, or
// the slots are not freed and retaken at the end.
//   vexil-soak [--seconds N | --minutes N]   (default 90 s; exit status 0 when all held)
// Threads: main starts everything and watches; every bot has its own thread
// (bots/), the churn two, the hostile peers one. They share only atomics.
#include <sys/socket.h>

#include <SDL.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>

#include "bots/bot.h"
#include "tests/support/child.h"
#include "tests/support/peer.h"

namespace {
constexpr uint16_t PORT = 7778;
constexpr int RESIDENTS = 12;
// The server may hold its tick for one bounded wait plus the two 50 ms
// pauses of a refusal; two more seconds of slack for a busy machine.
constexpr uint32_t STALLLIMITMS = NETWAITLIMITMS + 100 + 2000;
std::atomic<bool> ENDING{false};
std::atomic<int> FAULTS{0}, HOSTILES{0};

void FAULT(const std::string& text) { ++FAULTS, std::printf("soak: FAULT: %s\n", text.c_str()), std::fflush(stdout); }

std::unique_ptr<BOTTYPE> NEWBOT(const std::string& name, uint32_t seed) {
    auto bot = std::make_unique<BOTTYPE>();
    bot->NAME = name;
    bot->HOST = "127.0.0.1";
    bot->SEED = seed;
    return bot;
}

// One hostile peer of kind KIND; a fault when the server does not end it.
void HOSTILE(int kind, std::mt19937& random) {
    RAWPEER peer;
    std::vector<uint8_t> noise(64);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    if (!peer.CONNECT(PORT, kind == 3 ? 2048 : 0)) return FAULT("no connection");
    if (kind <= 1) {  // silent, or random bytes for the code: refused with -1, then closed
        if ((kind == 1 && !peer.WRITE(noise)) || peer.READ(4, 25000) != std::vector<uint8_t>(4, 0xff) || !peer.WAITCLOSED(5000))
            FAULT("peer " + std::to_string(kind) + " not refused");
        return;
    }
    // The others join: the code, a slot read, then (but for kind 4) a name and READY.
    const std::vector<uint8_t> slot = peer.WRITEINT(AUTHCODE) ? peer.READ(4, 20000) : std::vector<uint8_t>();
    if (slot.size() != 4 || !PROTOVALIDSLOT(NETREADINT(slot.data())) || (kind != 4 && !(peer.WRITESTR("hostile") && peer.WRITEINT(READY))))
        return FAULT("hostile peer got no slot");
    if (kind == 2) {  // stops inside a CONTROLS, then leaves
        peer.WRITE({CONTROLS, 0, 0, 0, 0, 0});
        std::this_thread::sleep_for(std::chrono::seconds(2));  // how long it stays silent, not a wait
    } else if (kind == 3) {  // floods CONTROLS through a tiny window and never reads
        std::vector<uint8_t> controls(CONTROLSBYTES * 64, 0);
        for (size_t at = 0; at < controls.size(); at += CONTROLSBYTES) controls[at] = CONTROLS;
        for (const uint32_t start = NETNOW(); peer.TRYWRITE(controls) >= 0; std::this_thread::sleep_for(std::chrono::milliseconds(2)))
            if (NETNOW() - start > 30000) return FAULT("a peer that never reads was not dropped in 30 s");
    } else if (kind <= 6) {  // a name, or a chat text, of length 2^31-1 or -5: the connection ends
        if (kind > 4) peer.WRITEINT(CHAT);
        peer.WRITEINT(kind == 6 ? -5 : 2147483647);
        peer.WRITE(std::vector<uint8_t>(100, 'A'));
        if (!peer.WAITCLOSED(10000)) FAULT("an impossible string length did not end the connection");
    } else if (kind == 7) {  // random bytes after a proper join
        for (int i = 0; i < 8 && peer.WRITE(noise); ++i) peer.READ(65536, 50);
    } else {  // vanishes with a reset
        linger reset{1, 0};
        setsockopt(peer.FD, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
}
}  // namespace

int main(int argc, char** argv) {
    const std::string unit = argc == 3 ? argv[1] : "--seconds";
    const long seconds = argc == 3 ? std::atol(argv[2]) * (unit == "--minutes" ? 60 : 1) : 90;
    if (seconds < 1 || (argc != 1 && argc != 3) || (unit != "--seconds" && unit != "--minutes"))
        return std::fprintf(stderr, "usage: vexil-soak [--seconds N | --minutes N]\n"), 2;
    std::signal(SIGPIPE, SIG_IGN);
    SDL_Init(SDL_INIT_NOPARACHUTE);
    NETINIT();
    // Under the address sanitizer freed memory waits in a quarantine that would look like growth.
    const char* given = std::getenv("ASAN_OPTIONS");
    CHILDPROCESS server = STARTCHILD(VEXILSERVERPATH, {}, {{"ASAN_OPTIONS", std::string(given ? given : "") + ":quarantine_size_mb=4"}});
    if (!READOUTUNTIL(server, "listening on TCP port 7778 ", 15000))
        return std::printf("soak: vexil-server did not start: %s\n", server.OUTTEXT.c_str()), 1;
    std::vector<std::unique_ptr<BOTTYPE>> residents;
    std::vector<std::thread> threads;
    for (int i = 0; i < RESIDENTS; ++i) residents.push_back(NEWBOT("stay" + std::to_string(i), static_cast<uint32_t>(i + 1)));
    residents[0]->CHATLINES = 1 << 30;  // a chat line every frame, all the time
    for (auto& bot : residents) threads.emplace_back(BOTRUN, std::ref(*bot));
    const uint32_t start = NETNOW(), endat = start + static_cast<uint32_t>(seconds) * 1000;
    for (int id = 0; id < 2; ++id)
        threads.emplace_back([id, endat] {
            for (uint32_t session = 0; !ENDING && NETNOW() < endat; ++session) {
                auto bot = NEWBOT("churn" + std::to_string(id), 100 * (id + 1) + session);
                bot->SECONDS = 1 + session % 4;
                BOTRUN(*bot);
                if (bot->DROPPED) FAULT(bot->NAME + " was dropped by the server");
            }
        });
    threads.emplace_back([endat] {
        std::mt19937 random(12345);
        for (int round = 0; !ENDING && NETNOW() < endat; ++round, ++HOSTILES) HOSTILE(round % 9, random);
    });

    long baseline = -1, last = -1;
    for (uint32_t now = NETNOW(); now < endat && FAULTS == 0; now = NETNOW()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (!CHILDALIVE(server)) FAULT("vexil-server ended during the soak");
        last = RESIDENTKIB(server.PID);
        if (baseline < 0 && now - start > seconds * 300) baseline = last;  // after 30% of the run
        for (auto& bot : residents) {
            const uint32_t at = bot->UPDATES > 0 ? bot->LASTUPDATEAT.load() : start + 30000 - STALLLIMITMS;
            if (bot->ENDED || NETNOW() - at > STALLLIMITMS) FAULT(bot->NAME + " got no UPDATE for " + std::to_string(NETNOW() - at) + " ms");
        }
    }
    ENDING = true;
    for (size_t i = RESIDENTS; i < threads.size(); ++i) threads[i].join();
    // Every slot the churn and the hostile peers used is free again (no ghost ship) and takes a new player.
    auto seeing = [](std::vector<std::unique_ptr<BOTTYPE>>& bots, int others) {
        for (uint32_t at = NETNOW(); NETNOW() - at < 20000; std::this_thread::sleep_for(std::chrono::milliseconds(50)))
            if (std::all_of(bots.begin(), bots.end(), [&](auto& bot) { return bot->OTHERSSEEN == others; })) return true;
        return false;
    };
    if (!seeing(residents, RESIDENTS - 1)) FAULT("slots stayed taken after the churn and the hostile peers left");
    std::vector<std::unique_ptr<BOTTYPE>> late;
    for (int i = RESIDENTS; i < 16; ++i) late.push_back(NEWBOT("late" + std::to_string(i), static_cast<uint32_t>(500 + i)));
    for (auto& bot : late) threads.emplace_back(BOTRUN, std::ref(*bot));
    if (!seeing(late, 15)) FAULT("the freed slots did not take four new players");
    BOTSTOP = 1;
    for (std::thread& thread : threads) thread.joinable() ? thread.join() : void();
    // Buffers reaching their working size (and, under the sanitizer, its
    // bookkeeping) add a few MiB at most; a leak keeps adding.
    if (baseline <= 0 || last > baseline + std::max(16 * 1024L, baseline / 2))
        FAULT("server VmRSS went from " + std::to_string(baseline) + " KiB after the warm-up to " + std::to_string(last) + " KiB");
    if (server.PID > 0) kill(server.PID, SIGTERM);
    if (WAITEXIT(server, 15000) != 0) FAULT("vexil-server did not end cleanly on SIGTERM");
    READREST(server, 1000);
    if (!server.ERRTEXT.empty()) FAULT("vexil-server wrote to standard error: " + server.ERRTEXT);
    std::printf("soak: %ld s, %d hostile peers, server VmRSS %ld KiB after the warm-up, %ld KiB at the end, %d faults\n",
                seconds, HOSTILES.load(), baseline, last, FAULTS.load());
    return FAULTS == 0 ? 0 : 1;
}
