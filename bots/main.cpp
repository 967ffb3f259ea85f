// vexil-bots: fills a server with headless players. Each bot is a thread
// running BOTRUN with its own copy of the client's state and its own
// connection on TCP port 7778; no window is opened.
//   vexil-bots [--count N] [--name NAME] [--seconds S] [--record DIR] HOST
// With --record the first bot records its game into DIR, as the game
// records into demos/ (vexil --replay plays it).
// Ends with status 0 after SIGINT or SIGTERM (every bot closes its
// connection first), after S seconds, or when the server has gone; with
// status 1 when a bot could not join (the reason is on standard error) and
// with status 2 on a bad command line.
// Threads: the main thread parses, starts the bots and waits for them; the
// signal handler only stores to BOTSTOP.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>

#include "bots/bot.h"
#include "main/spine.h"
#include "shared/net.h"

namespace {
extern "C" void STOPBOTS(int) { BOTSTOP.store(1); }
static_assert(std::atomic<int32_t>::is_always_lock_free);

void CATCHSTOPSIGNALS() {
    struct sigaction action {};
    action.sa_handler = STOPBOTS;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int USAGE(const char* why) {
    std::fprintf(stderr, "vexil-bots: %s\nusage: vexil-bots [--count N] [--name NAME] [--seconds S] [--record DIR] HOST\n", why);
    return 2;
}

// A whole number from MIN to MAX, or false.
bool WHOLE(const char* text, long min, long max, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= min && value <= max;
}
}  // namespace

int main(int argc, char** argv) {
    long count = 1;
    long seconds = 0;
    std::string name = "bot";
    std::string host;
    std::string record;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasvalue = i + 1 < argc;
        if (arg == "--count" && hasvalue) {
            if (!WHOLE(argv[++i], 1, MAXPLAYERS, count)) return USAGE("--count takes a number from 1 to 16");
        } else if (arg == "--seconds" && hasvalue) {
            if (!WHOLE(argv[++i], 0, 1000000, seconds)) return USAGE("--seconds takes a number of seconds (0: until stopped)");
        } else if (arg == "--name" && hasvalue) {
            name = argv[++i];
            if (name.empty()) return USAGE("--name takes a non-empty name");
        } else if (arg == "--record" && hasvalue) {
            record = argv[++i];
            if (record.empty()) return USAGE("--record takes a folder");
        } else if (arg == "--help" || arg == "-h") {
            USAGE("bots that join the Vexil! server at HOST and play");
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && host.empty()) {
            host = arg;
        } else {
            return USAGE(("unexpected argument \"" + arg + "\"").c_str());
        }
    }
    if (host.empty()) return USAGE("no host given");

    CATCHSTOPSIGNALS();
    // Bots read nothing from the console; with standard input away from the
    // terminal the client's "press a key" pause after a failed connection
    // never holds a bot.
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing >= 0) {
        dup2(nothing, STDIN_FILENO);
        close(nothing);
    }
    // Only SDL's tick counter is needed: no video, no audio, no parachute.
    SDL_Init(SDL_INIT_NOPARACHUTE);
    NETINIT();
    VX_HOSTNAME = host;

    std::printf("vexil-bots: %ld bot%s joining %s port %d\n", count, count == 1 ? "" : "s", host.c_str(),
                static_cast<int>(GAMEPORT));
    std::fflush(stdout);
    std::vector<std::unique_ptr<BOTTYPE>> bots;
    std::vector<std::thread> threads;
    for (long i = 0; i < count; ++i) {
        auto bot = std::make_unique<BOTTYPE>();
        bot->NAME = count == 1 ? name : name + std::to_string(i + 1);
        bot->HOST = host;
        bot->SEED = static_cast<uint32_t>(getpid()) * 31u + static_cast<uint32_t>(i) + 1u;
        bot->SECONDS = static_cast<double>(seconds);
        if (i == 0) bot->RECORDDIR = record;
        bots.push_back(std::move(bot));
    }
    for (auto& bot : bots) threads.emplace_back(BOTRUN, std::ref(*bot));
    for (std::thread& thread : threads) thread.join();

    int joined = 0;
    int failed = 0;
    int dropped = 0;
    for (const auto& bot : bots) {
        joined += bot->JOINED.load() ? 1 : 0;
        failed += bot->FAILED.load() ? 1 : 0;
        dropped += bot->DROPPED.load() ? 1 : 0;
    }
    std::printf("vexil-bots: %d played, %d could not join, %d dropped by the server\n", joined, failed, dropped);
    std::fflush(stdout);
    SDL_Quit();
    return failed > 0 ? 1 : 0;
}
