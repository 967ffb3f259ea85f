// vexil-bench-admission: how long a playing client waits for an UPDATE while
// bad connectors arrive, on the real server code.
//
// The server runs in a thread of its own through GAMESERVER, as in a hosting
// game (the dedicated server runs the same SERVERRUN loop). One BENCHPLAYER
// joins over 127.0.0.1 and plays in the main thread as fast as the server
// answers (a frame every millisecond), noting the longest gap between two
// UPDATEs. Three phases of 4 s each, long enough for the silent connectors'
// 3 s handshake limit and their refusal:
//  1. nobody else (the reference);
//  2. 5 connectors that send nothing and 5 that send a wrong code, started
//     together from a helper thread;
//  3. 15 silent connectors started together.
// Connectors never read and are closed when their phase ends. Prints ROW
// lines (see benchsupport.h). Every loop is bounded in count and time.
// Threads: main (the player), the server thread, one connector thread per phase.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/benchsupport.h"
#include "main/spine.h"
#include "server/server.h"
#include "shared/net.h"
#include "shared/protocol.h"

namespace {

constexpr double PHASESECONDS = 4.0;

int CONNECTRAW(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Plays PLAYER for one phase while SILENT + WRONG connectors arrive; returns
// the longest gap between UPDATEs in seconds (negative if the player is gone).
double PHASE(BENCHPLAYER& player, uint16_t port, int silent, int wrong) {
    std::vector<int> fds;
    std::thread connector([&] {
        for (int i = 0; i < silent + wrong; ++i) {
            const int fd = CONNECTRAW(port);
            if (fd < 0) continue;
            if (i >= silent) {
                uint8_t code[4];
                NETWRITEINT(code, 1234);
                (void)send(fd, code, sizeof code, MSG_NOSIGNAL);
            }
            fds.push_back(fd);
        }
    });
    const double end = WALLNOW() + PHASESECONDS;
    uint64_t updates = player.UPDATES;
    double last = WALLNOW(), longest = 0;
    while (WALLNOW() < end && !player.GONE) {
        player.FRAME();
        const double now = WALLNOW();
        if (player.UPDATES != updates) {
            longest = std::max(longest, now - last);
            last = now;
            updates = player.UPDATES;
        }
        SLEEPUNTIL(now + 0.001);
    }
    longest = std::max(longest, WALLNOW() - last);
    connector.join();
    for (int fd : fds) close(fd);
    return player.GONE ? -1 : longest;
}

std::string MS(double seconds) { return FIXED(seconds * 1000, 1) + " ms"; }

}  // namespace

int main() {
    SDL_Init(SDL_INIT_NOPARACHUTE);  // the tick counter of the physics clocks
    NETINIT();
    const uint16_t port = FREEPORT(31050, 31069);
    if (port == 0) {
        std::fprintf(stderr, "vexil-bench-admission: no free port in 31050-31069\n");
        return 1;
    }
    GAMEPORT = port;
    VX_HOSTNAME = HOSTINGADDRESS;
    std::thread server([] { GAMESERVER(0); });
    for (int i = 0; i < 5000 && SERVERHOSTING.load() == 0; ++i) SDL_Delay(1);

    BENCHPLAYER player;
    if (!player.JOIN(port, "timed", 10.0)) {
        std::fprintf(stderr, "vexil-bench-admission: the player could not join\n");
        QUITLOOP.store(1);
        server.join();
        return 1;
    }
    const double quiet = PHASE(player, port, 0, 0);
    const double mixed = PHASE(player, port, 5, 5);
    const double crowd = PHASE(player, port, 15, 0);
    QUITLOOP.store(1);
    server.join();

    const std::string reference = MS(quiet) + " with no connectors";
    ROW("Admission: longest wait for an UPDATE while 5 silent + 5 wrong-code connectors arrive", MS(mixed), reference,
        "", "≤ 50 ms", VERDICT(mixed >= 0 && mixed <= 0.05));
    ROW("Admission: longest wait for an UPDATE while 15 silent connectors arrive", MS(crowd), reference, "", "≤ 50 ms",
        VERDICT(crowd >= 0 && crowd <= 0.05));
    return 0;
}
