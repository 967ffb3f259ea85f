// vexil-server: the game server without a window, for a machine without a
// display. Runs the same arena set-up, listening socket and tick loop as the
// hosting game, prints one line once it listens and then one line per
// event for the operator (joins, leaves, refusals, drops, budgets,
// unanswered discovery datagrams), and ends with status 0 after SIGINT or
// SIGTERM (or status 1 with one line on standard error if the TCP port
// cannot be opened). Server finders see it on UDP port 7778 under --name,
// by default the machine's host name.
// Threads: one; the signal handler only stores to QUITLOOP.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include <SDL.h>
#include <SDL_net.h>

#include "main/spine.h"
#include "server/server.h"

namespace {
// Async-signal-safe: a lock-free atomic store and nothing else.
extern "C" void STOPSERVER(int) { QUITLOOP.store(1); }
static_assert(std::atomic<int32_t>::is_always_lock_free);

// One log line to standard output, never blocking the tick: when the
// reader (a terminal, the journal, a pipe) cannot take a whole line now,
// the line is counted as lost and the next one that goes out says so.
void LOGLINE(const std::string& LINE) {
    static uint64_t lost = 0;
    std::string text = LINE + "\n";
    if (lost != 0) text = "(" + std::to_string(lost) + " log lines lost: standard output was full)\n" + text;
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    // A pipe that reports room holds at least PIPE_BUF bytes, so a write of
    // one short line then completes at once.
    if (text.size() > PIPE_BUF || poll(&out, 1, 0) != 1 || (out.revents & POLLOUT) == 0 ||
        write(STDOUT_FILENO, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        ++lost;
        return;
    }
    lost = 0;
}

void CATCHSTOPSIGNALS() {
    struct sigaction action {};
    action.sa_handler = STOPSERVER;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const char USAGE[] = "usage: vexil-server [--name NAME]\n";

// --name NAME (or --name=NAME) and --help; returns the exit status for a
// bad command line, or -1 to go on.
int READOPTIONS(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::printf("%s  --name NAME  the name server finders list (default: this machine's host name)\n", USAGE);
            return 0;
        }
        if (option == "--name" && i + 1 < argc) {
            SERVERDISCOVERYNAME = argv[++i];
        } else if (option.rfind("--name=", 0) == 0) {
            SERVERDISCOVERYNAME = option.substr(7);
        } else {
            const std::string what = option == "--name" ? "--name needs a value" : "unknown option '" + option + "'";
            std::fprintf(stderr, "vexil-server: %s\n%s", what.c_str(), USAGE);
            return 2;
        }
    }
    return -1;
}
}  // namespace

int main(int argc, char** argv) {
    if (const int status = READOPTIONS(argc, argv); status >= 0) return status;
    CATCHSTOPSIGNALS();
    // Only SDL's tick counter is needed: no video, no audio, no parachute.
    SDL_Init(SDL_INIT_NOPARACHUTE);
    VX_HOSTNAME = HOSTINGADDRESS;
    SERVERPLACEOBJECTS();
    SERVERINITNETCONNECTION();
    const std::string why = SERVERDISCOVERYOPEN();
    const int port = static_cast<int>(GAMEPORT);
    if (why.empty()) {
        std::printf("Vexil! server listening on TCP port %d (discovery on UDP port %d)\n", port, port);
    } else {
        std::printf("Vexil! server listening on TCP port %d\n", port);
        std::printf("discovery: cannot open UDP port %d (%s): server finders will not list this server\n", port, why.c_str());
    }
    std::fflush(stdout);
    SERVERLOGHOOK = LOGLINE;
    SERVERRUN();
    SDLNet_Quit();
    SDL_Quit();
    return 0;
}
