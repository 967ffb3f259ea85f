// vexil-server: the game server without a window, for a machine without a
// display. Runs the same arena set-up, listening socket and tick loop as the
// hosting game, prints one line once it listens, and ends with status 0
// after SIGINT or SIGTERM (or status 1 with one line on standard error if
// the port cannot be opened).
// Threads: one; the signal handler only stores to QUITLOOP.
#include <signal.h>

#include <cstdio>

#include <SDL.h>
#include <SDL_net.h>

#include "main/spine.h"
#include "server/server.h"

namespace {
// Async-signal-safe: a lock-free atomic store and nothing else.
extern "C" void STOPSERVER(int) { QUITLOOP.store(1); }
static_assert(std::atomic<int32_t>::is_always_lock_free);

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
    SERVERRUN();
    SDLNet_Quit();
    SDL_Quit();
    return 0;
}
