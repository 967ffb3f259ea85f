// vexil-bench-host: a hosting game with sixteen players, as the player's own
// process runs it: GAMESERVER in its own thread, and in the main thread the
// client's set-up and frame loop (CLIENTFRAME, the body of GAMECLIENT's
// loop) on SDL's dummy video driver at 800 x 600 x 32. The fifteen other
// players are BENCHPLAYERs in a child process (forked first, before any
// thread exists), so the peak resident size read here is the hosting
// game's own.
//
// Measured:
//  - the CPU time of one client frame with 16 ships, 1024 projectiles and
//    13 chat lines (the projectiles are put into CLIENTBULLETS before each
//    frame, all of them inside the view: the most drawing a frame can have;
//    the ships are where the server has them, the chat lines are kept
//    filled). The page flip's wait is a sleep and costs no CPU;
//  - the same frame with the game's recording on (the recorder's share of
//    the main thread), measured in blocks between two blocks without it,
//    and the recording's writer thread (compression and writing) by its
//    own CPU clock, per frame;
//  - bytes a minute of a recording of this full arena: 60 s of the game as
//    it is (16 players firing all the time; no projectiles put in);
//  - how fast that recording replays without drawing (times real time);
//  - VmHWM of this process at the end.
// Prints ROW lines (see benchsupport.h). Every loop is bounded in time.
// Threads: main (client), the server thread; the child has two of its own.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "bench/benchsupport.h"
#include "client/client.h"
#include "client/network.h"
#include "client/recorder.h"
#include "client/replay.h"
#include "main/spine.h"
#include "media/surface.h"
#include "media/video.h"
#include "server/server.h"
#include "shared/world.h"

namespace {

constexpr int PLAYERS = 16;
constexpr int WARMUPFRAMES = 30;
constexpr int MEASUREDFRAMES = 300;
constexpr int PROJECTILES = 1024;
constexpr int RECORDEDSECONDS = 60;

// The child: fifteen players who join as soon as the server listens and
// play at 30 frames per second until the parent closes the pipe (or three
// minutes have passed).
[[noreturn]] void PLAYERSPROCESS(uint16_t port, int stopfd) {
    std::atomic<bool> stop{false};
    std::thread watcher([&] {
        char byte = 0;
        while (read(stopfd, &byte, 1) < 0) {
        }
        stop.store(true);
    });
    std::vector<BENCHPLAYER> players(PLAYERS - 1);
    std::vector<BENCHPLAYER*> playing;
    const double joinlimit = WALLNOW() + 20.0;
    for (int i = 0; i < PLAYERS - 1 && !stop.load(); ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "player%02d", i + 2);
        BENCHPLAYER& player = players[static_cast<size_t>(i)];
        // The server may not listen yet: try again for a while.
        while (!player.OPEN(port) && WALLNOW() < joinlimit && !stop.load()) SDL_Delay(50);
        if (player.FINISHJOIN(name, 10.0)) playing.push_back(&player);
    }
    RUNPLAYERS(playing, 30.0, stop, 180.0);
    for (BENCHPLAYER& player : players) player.CLOSE();
    stop.store(true);
    watcher.detach();
    std::_Exit(0);
}

int CONNECTEDSHIPS() {
    int count = 0;
    for (const SHIPTYPE& ship : CLIENTPLAYERS) count += ship.CONNECTED != 0 ? 1 : 0;
    return count;
}

// 1024 projectiles in flight, all inside the world view around the own
// ship, and all thirteen chat lines filled.
void LOADTHEFRAME(std::mt19937& random) {
    const SHIPTYPE& own = CLIENTPLAYERS[static_cast<size_t>(PROTOVALIDSLOT(CLIENTCURRENTPLAYERSHIP) ? CLIENTCURRENTPLAYERSHIP : 0)];
    std::uniform_real_distribution<float> across(-320.0f, 320.0f);
    std::uniform_real_distribution<float> down(-270.0f, 270.0f);
    for (int i = 0; i < PROJECTILES; ++i) {
        BULLETTYPE& bullet = CLIENTBULLETS[static_cast<size_t>(i)];
        if (bullet.SPRITE != 0) continue;
        bullet.X = static_cast<float>(own.X) + across(random);
        bullet.Y = static_cast<float>(own.Y) + down(random);
        bullet.DIRECTION = static_cast<int32_t>(random() % 64);
        bullet.SPEED = 600;
        bullet.SPRITE = SHOTSPRITE;
    }
    for (std::string& line : CLIENTCHATBUFFER)
        if (line.size() <= 3) line = "\xFE\xFE\xFE" "player07:good game everyone, one more round?";
}

// The threads of this process (their ids).
std::vector<std::string> THREADS() {
    std::vector<std::string> ids;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error))
        ids.push_back(entry.path().filename().string());
    return ids;
}

// CPU seconds a thread of this process has used (its scheduler statistics,
// in nanoseconds); -1 when unknown.
double THREADCPU(const std::string& id) {
    std::ifstream in("/proc/self/task/" + id + "/schedstat");
    double ns = -1;
    return in >> ns ? ns * 1e-9 : -1;
}

// Measured frames of the loaded frame: one CLIENTFRAME's CPU time each.
void MEASURE(std::mt19937& random, int count, std::vector<double>& frames, int& leastprojectiles) {
    for (int i = 0; i < count && QUITLOOP.load() == 0; ++i) {
        LOADTHEFRAME(random);
        int projectiles = 0;
        for (const BULLETTYPE& bullet : CLIENTBULLETS) projectiles += bullet.SPRITE != 0 ? 1 : 0;
        leastprojectiles = std::min(leastprojectiles, projectiles);
        const double c0 = CPUNOW();
        CLIENTFRAME();
        frames.push_back(CPUNOW() - c0);
    }
}

}  // namespace

int main() {
    const uint16_t port = FREEPORT(31050, 31099);
    if (port == 0) {
        std::fprintf(stderr, "vexil-bench-host: no free port in 31050-31099\n");
        return 1;
    }
    int stoppipe[2];
    if (pipe(stoppipe) != 0) return 1;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
        close(stoppipe[1]);
        PLAYERSPROCESS(port, stoppipe[0]);
    }
    close(stoppipe[0]);

    const std::string folder = MAKESCRATCHRUNFOLDER();
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const int saved = MUTESTDOUT();  // the sprite loading trace
    KELSDL_INIT();
    LOADGRAPHICS();
    RESTORESTDOUT(saved);

    GAMEPORT = port;
    VX_HOSTNAME = HOSTINGADDRESS;
    VX_PLAYERNAME = "hostplay";
    std::thread server([] { GAMESERVER(0); });

    // GAMECLIENT's set-up, step by step; its loop body is CLIENTFRAME.
    const uint32_t arenastate = RANDOMSTATENOW();
    CLIENTPLACEOBJECTS();
    const double hostlimit = WALLNOW() + 10.0;
    while (SERVERHOSTING.load() == 0 && QUITLOOP.load() == 0 && WALLNOW() < hostlimit) SDL_Delay(0);
    if (SERVERHOSTING.load() != 0) CLIENTSTARTNETWORK();
    CLIENTSENDREADY();
    int32_t W = 0, H = 0;
    KELGETSCREENDIMENSIONS(W, H);
    CLIENTSETCHATROW(W, H);

    std::mt19937 random(7u);
    const double joinlimit = WALLNOW() + 30.0;
    while (CONNECTEDSHIPS() < PLAYERS && QUITLOOP.load() == 0 && WALLNOW() < joinlimit) CLIENTFRAME();
    const int ships = CONNECTEDSHIPS();
    for (int i = 0; i < WARMUPFRAMES && QUITLOOP.load() == 0; ++i) {
        LOADTHEFRAME(random);
        CLIENTFRAME();
    }
    // Without, with and again without the recording, in blocks, so that a
    // drift of the machine's speed falls on both alike.
    std::vector<double> frames, recorded;
    int leastprojectiles = PROJECTILES;
    double writercpu = 0;
    bool writerknown = true;
    for (int block = 0; block < 4; ++block) {
        if (block == 1 || block == 2) {
            const std::vector<std::string> before = THREADS();
            if (!RECORDERSTART("demos", "localhost", arenastate, VX_PLAYERNAME)) break;
            std::string writer;
            for (const std::string& id : THREADS())
                if (std::find(before.begin(), before.end(), id) == before.end()) writer = id;
            MEASURE(random, MEASUREDFRAMES / 2, recorded, leastprojectiles);
            const double used = THREADCPU(writer);
            RECORDERSTOP();
            writerknown = writerknown && used >= 0;
            writercpu += used;
        } else {
            MEASURE(random, MEASUREDFRAMES / 2, frames, leastprojectiles);
        }
    }
    // A minute of the game as it is, recorded, then replayed without drawing.
    double bytesperminute = 0, replayspeed = 0;
    if (QUITLOOP.load() == 0 && RECORDERSTART("demos", "localhost", arenastate, VX_PLAYERNAME)) {
        for (const double end = WALLNOW() + RECORDEDSECONDS; WALLNOW() < end && QUITLOOP.load() == 0;) CLIENTFRAME();
        RECORDERSTOP();
        const std::string path = RECORDERPATH();
        std::error_code error;
        const double bytes = static_cast<double>(std::filesystem::file_size(path, error));
        if (REPLAYOPEN(path)) {
            const double w0 = WALLNOW();
            while (REPLAYSTEP(false)) {
            }
            const double seconds = WALLNOW() - w0;
            if (REPLAYSTATUS() == REPLAYFINISHED && seconds > 0 && REPLAYDURATION() > 0) {
                replayspeed = REPLAYDURATION() / 1000.0 / seconds;
                bytesperminute = bytes * 60000.0 / REPLAYDURATION();
            }
            REPLAYCLOSE();
        }
    }
    const int shipsatend = CONNECTEDSHIPS();
    QUITLOOP.store(1);
    server.join();
    const long peak = PEAKRESIDENTKIB();

    // Let the players go, and wait for them (bounded), then tidy up.
    close(stoppipe[1]);
    int status = 0;
    bool reaped = false;
    for (int i = 0; i < 200 && !reaped; ++i) {
        reaped = waitpid(child, &status, WNOHANG) == child;
        if (!reaped) SDL_Delay(50);
    }
    if (!reaped) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    REMOVESCRATCHRUNFOLDER(folder);

    const STATS frame = SUMMARISE(frames);
    const STATS withrecording = SUMMARISE(recorded);
    const double period = KELFRAMEPERIOD / 1000.0;
    ROW("Client frame: CPU per frame, 800×600×32 dummy driver, " + std::to_string(ships) + " ships, " +
            std::to_string(leastprojectiles) + "+ projectiles in view, 13 chat lines",
        FIXED(frame.MEAN * 1e3, 3) + " ms mean (median " + FIXED(frame.MEDIAN * 1e3, 3) + ", p99 " +
            FIXED(frame.P99 * 1e3, 3) + ", " + std::to_string(frame.COUNT) + " frames)",
        FIXED(period * 1e3, 0) + " ms frame period", FIXED(100.0 * frame.MEAN / period, 1) + " % of the period",
        "< 2 ms", VERDICT(frame.COUNT == MEASUREDFRAMES && frame.MEAN < 2e-3 && shipsatend == PLAYERS));
    const double added = frame.MEAN > 0 ? 100.0 * (withrecording.MEAN - frame.MEAN) / frame.MEAN : 0;
    ROW("Client frame with the game's recording on: main thread's CPU per frame, same full arena",
        FIXED(withrecording.MEAN * 1e3, 3) + " ms mean (median " + FIXED(withrecording.MEDIAN * 1e3, 3) + ", " +
            std::to_string(withrecording.COUNT) + " frames)",
        FIXED(frame.MEAN * 1e3, 3) + " ms without", (added >= 0 ? "+" : "") + FIXED(added, 1) + " %", "<= +5 %",
        VERDICT(withrecording.COUNT == MEASUREDFRAMES && added <= 5.0));
    ROW("Recording's writer thread (zlib level 9, writing): CPU per recorded frame, same full arena",
        !writerknown ? std::string("unknown") : FIXED(writercpu * 1e3 / static_cast<double>(std::max<size_t>(1, recorded.size())), 3) + " ms",
        FIXED(frame.MEAN * 1e3, 3) + " ms client frame", "", "off the main thread", VERDICT(writerknown));
    ROW("Recording size: bytes a minute of a full arena (" + std::to_string(ships) + " players firing, " +
            std::to_string(RECORDEDSECONDS) + " s recorded)",
        FIXED(bytesperminute / 1024.0, 1) + " KiB a minute", "", "", "", VERDICT(bytesperminute > 0));
    ROW("Fast-forward: that recording replayed without drawing", FIXED(replayspeed, 0) + "x real time",
        replayspeed > 0 ? FIXED(600.0 / replayspeed, 2) + " s for a 10-minute game" : std::string(), "", ">= 100x",
        VERDICT(replayspeed >= 100));
    ROW("Memory: peak resident size (VmHWM) of the hosting game, " + std::to_string(ships) + " players",
        FIXED(static_cast<double>(peak) / 1024.0, 1) + " MiB", "", "", "< 64 MiB",
        VERDICT(peak > 0 && peak < 64 * 1024 && ships == PLAYERS));
    SDLNet_Quit();
    SDL_Quit();
    return 0;
}
