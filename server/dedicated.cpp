// vexil-server: the game server without a window, for a machine without a
// display. Runs the same arena set-up, listening socket and tick loop as the
// hosting game, prints one line once it listens and then one line per
// event for the operator (joins, leaves, refusals, drops, budgets), and
// ends with status 0 after SIGINT or SIGTERM (or status 1 with one line on
// standard error if the port cannot be opened).
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
}  // namespace

int main(int /*argc*/, char** /*argv*/) {
    CATCHSTOPSIGNALS();
    // Only SDL's tick counter is needed: no video, no audio, no parachute.
    SDL_Init(SDL_INIT_NOPARACHUTE);
    VX_HOSTNAME = HOSTINGADDRESS;
    SERVERPLACEOBJECTS();
    SERVERINITNETCONNECTION();
    std::printf("Vexil! server listening on TCP port %d\n", static_cast<int>(GAMEPORT));
    std::fflush(stdout);
    SERVERLOGHOOK = LOGLINE;
    SERVERRUN();
    SDLNet_Quit();
    SDL_Quit();
    return 0;
}
