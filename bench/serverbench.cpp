// vexil-bench-server: the server's tick, its traffic and its answer time,
// measured on the real server code with sixteen real loopback players.
//
// The server runs in this program's main thread, tick by tick exactly as
// SERVERRUN does (connection pass, ship step, projectile step, one flush of
// every connection, a 5 ms pause). Sixteen BENCHPLAYERs join it over
// 127.0.0.1 and play at 30 frames per second: fifteen in one thread, one
// more in a thread of its own that times every CONTROLS it sends until the
// UPDATE that answers it arrives. Three phases follow one another:
//  1. wire (normal play, every ship firing once a second): bytes and send
//     calls from the server's connection counters, segments from the
//     kernel's TCP_INFO of the accepted sockets, and the answer times;
//  2. tick: 1024 projectiles put straight into SERVERBULLETS (and put back
//     whenever one hits or leaves the arena, outside the timed part) while
//     the players go on playing; the CPU time of every tick's work;
//  3. the arithmetic bound: a tight loop doing the same 1025 x 15 distance
//     tests over the same positions, and nothing else.
// Prints ROW lines (see benchsupport.h). Every loop is bounded in time.
// Threads: main (the server), the fifteen players, the timed player.
#include <SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "bench/benchsupport.h"
#include "bench/tcpcounts.h"
#include "main/spine.h"
#include "media/clock.h"
#include "server/server.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {

constexpr int PLAYERS = 16;
constexpr double FPS = 30.0;
constexpr double WARMUPSECONDS = 2.0;
constexpr double WIRESECONDS = 10.0;
constexpr int TICKSAMPLES = 1000;
constexpr int BOUNDPASSES = 3000;
constexpr double HEADERBYTES = 52;  // IPv4 20 + TCP 20 + timestamp option 12, per segment on loopback

enum PHASE : int { JOINING = 0, WARMUP = 1, WIRE = 2, TICK = 3, DONE = 4 };
std::atomic<int> CURRENTPHASE{JOINING};
std::atomic<bool> STOPPLAYERS{false};
std::atomic<int> JOINED{0};

std::mutex LATENCYLOCK;
// Wire-phase cycles of the timed player: when its CONTROLS left and when the
// UPDATE answering it had arrived (monotonic seconds).
std::vector<std::pair<double, double>> LATENCYWIRE;

std::string NAMEOF(int n) {
    char name[16];
    std::snprintf(name, sizeof name, "player%02d", n);  // 8 bytes, as in the usual sizing
    return name;
}

// The timed player: frames at 30 per second like the others, but between
// frames it watches its connection and notes when the answer arrives.
void TIMEDPLAYER(uint16_t port) {
    BENCHPLAYER player;
    if (!player.JOIN(port, NAMEOF(1), 10.0)) return;
    JOINED.fetch_add(1);
    const double period = 1.0 / FPS;
    const double limit = WALLNOW() + 120.0;
    double next = WALLNOW();
    bool awaiting = false;
    double sentat = 0;
    int sentinphase = JOINING;
    while (!STOPPLAYERS.load() && !player.GONE && WALLNOW() < limit) {
        ++player.FRAMES;
        player.HEADING += 0.25;
        if (player.HEADING > 64) player.HEADING -= 64;
        player.THRUST = (player.FRAMES / 60) % 2 == 0 ? 300 : 0;
        NETPUMP(player.CONN);
        player.APPLYONE();
        const bool controls = player.CONTROLSQUEUED;
        NETFLUSH(player.CONN);
        player.CONTROLSQUEUED = false;
        if (controls && player.CONN.OUTBUF.empty()) {
            sentat = WALLNOW();
            sentinphase = CURRENTPHASE.load();
            awaiting = true;
        }
        next += period;
        if (next < WALLNOW() - period) next = WALLNOW();
        while (WALLNOW() < next && !player.GONE) {
            if (!awaiting) {
                SLEEPUNTIL(next);
                break;
            }
            if (player.UPDATEBUFFERED()) {
                const double arrived = WALLNOW();
                awaiting = false;
                std::lock_guard<std::mutex> hold(LATENCYLOCK);
                if (sentinphase == WIRE && CURRENTPHASE.load() == WIRE) LATENCYWIRE.emplace_back(sentat, arrived);
                continue;
            }
            const int ms = std::max(1, static_cast<int>(std::ceil((next - WALLNOW()) * 1000.0)));
            SDLNet_CheckSockets(player.CONN.SET, static_cast<Uint32>(ms));
            NETPUMP(player.CONN);
            if (player.CONN.CLOSED && !player.UPDATEBUFFERED()) player.GONE = true;
        }
    }
}

void OTHERPLAYERS(uint16_t port) {
    std::vector<BENCHPLAYER> players(PLAYERS - 1);
    std::vector<BENCHPLAYER*> playing;
    for (int i = 0; i < PLAYERS - 1; ++i) {
        if (!players[static_cast<size_t>(i)].JOIN(port, NAMEOF(i + 2), 10.0)) continue;
        playing.push_back(&players[static_cast<size_t>(i)]);
        JOINED.fetch_add(1);
    }
    RUNPLAYERS(playing, FPS, STOPPLAYERS, 120.0);
}

int CONNECTEDCOUNT() {
    int count = 0;
    for (const SHIPTYPE& ship : SERVERPLAYERS) count += ship.CONNECTED != 0 ? 1 : 0;
    return count;
}

BULLETTYPE RANDOMBULLET(std::mt19937& random) {
    std::uniform_real_distribution<float> place(-4900.0f, 4900.0f);
    BULLETTYPE bullet;
    bullet.X = place(random);
    bullet.Y = place(random);
    bullet.DIRECTION = static_cast<int32_t>(random() % 64);
    bullet.SPEED = 500 + static_cast<int32_t>(random() % 400);
    bullet.OWNER = static_cast<int32_t>(random() % PLAYERS);
    bullet.SPRITE = SHOTSPRITE;
    return bullet;
}

// Keeps slots 0..1023 in flight (slot 1024 is the server's own overflow slot).
void REFILLBULLETS(std::mt19937& random) {
    for (int i = 0; i < MAXBULLETS - 1; ++i) {
        BULLETTYPE& bullet = SERVERBULLETS[static_cast<size_t>(i)];
        if (bullet.SPRITE == 0) bullet = RANDOMBULLET(random);
    }
}

// The arithmetic lower bound of the projectile step's hit tests: for every
// projectile slot, its rounded position once, then the distance test against
// every ship but its owner (15 of them), with the ships' rounded hit points
// taken once per pass. A whole-number distance is within 68 exactly when its
// square is within 68 * 68, so no square root is needed. Returns CPU seconds
// per pass.
double DISTANCEBOUND() {
    std::array<float, MAXBULLETS> bx{}, by{};
    std::array<int32_t, MAXBULLETS> owner{};
    std::array<double, PLAYERS> sx{}, sy{};
    for (size_t i = 0; i < MAXBULLETS; ++i) {
        bx[i] = SERVERBULLETS[i].X;
        by[i] = SERVERBULLETS[i].Y;
        owner[i] = SERVERBULLETS[i].OWNER % PLAYERS;
    }
    for (size_t s = 0; s < PLAYERS; ++s) {
        sx[s] = SERVERPLAYERS[s].X;
        sy[s] = SERVERPLAYERS[s].Y;
    }
    volatile int64_t sink = 0;
    int64_t tests = 0;
    const double start = CPUNOW();
    for (int pass = 0; pass < BOUNDPASSES; ++pass) {
        std::array<int64_t, PLAYERS> hx{}, hy{};
        for (size_t s = 0; s < PLAYERS; ++s) {
            hx[s] = std::lrint(sx[s] + 34);
            hy[s] = std::lrint(sy[s] + 30);
        }
        int64_t hits = 0;
        for (size_t b = 0; b < MAXBULLETS; ++b) {
            const int64_t x = std::lrint(bx[b]);
            const int64_t y = std::lrint(by[b]);
            for (size_t s = 0; s < PLAYERS; ++s) {
                if (static_cast<int32_t>(s) == owner[b]) continue;
                const int64_t dx = hx[s] - x;
                const int64_t dy = hy[s] - y;
                hits += dx * dx + dy * dy <= 68 * 68 ? 1 : 0;
                ++tests;
            }
        }
        sink = sink + hits;
        // A different position each pass, so no pass can be folded away.
        bx[static_cast<size_t>(pass) % MAXBULLETS] += 1.0f;
    }
    const double elapsed = CPUNOW() - start;
    (void)sink;
    if (tests != static_cast<int64_t>(BOUNDPASSES) * MAXBULLETS * (PLAYERS - 1)) std::fprintf(stderr, "bound: unexpected test count\n");
    return elapsed / BOUNDPASSES;
}

std::string MS(double seconds) { return FIXED(seconds * 1000.0, 2); }
std::string US(double seconds) { return FIXED(seconds * 1e6, 1); }

}  // namespace

int main() {
    SDL_Init(SDL_INIT_NOPARACHUTE);  // the tick counter of the physics clocks
    NETINIT();
    const uint16_t port = FREEPORT(31000, 31049);
    if (port == 0) {
        std::fprintf(stderr, "vexil-bench-server: no free port in 31000-31049\n");
        return 1;
    }
    GAMEPORT = port;
    VX_HOSTNAME = HOSTINGADDRESS;
    SERVERPLACEOBJECTS();
    SERVERINITNETCONNECTION();

    std::thread timed(TIMEDPLAYER, port);
    std::thread others(OTHERPLAYERS, port);

    auto TICKWITHPAUSE = [] {
        SERVERTICK();
        KELDELAY(5);
    };

    // Joining: tick until all sixteen are in (bounded).
    const double joinlimit = WALLNOW() + 30.0;
    while ((JOINED.load() < PLAYERS || CONNECTEDCOUNT() < PLAYERS) && WALLNOW() < joinlimit) TICKWITHPAUSE();
    const int connected = CONNECTEDCOUNT();

    CURRENTPHASE.store(WARMUP);
    const double warmupend = WALLNOW() + WARMUPSECONDS;
    while (WALLNOW() < warmupend) TICKWITHPAUSE();

    // Phase 1: the wire.
    CURRENTPHASE.store(WIRE);
    std::array<uint64_t, SERVERSLOTS> sendsbefore{}, bytesbefore{}, lastsends{};
    for (int a = 0; a < SERVERSLOTS; ++a) {
        sendsbefore[static_cast<size_t>(a)] = SERVERCONNECTIONS[static_cast<size_t>(a)].SENDCALLS;
        bytesbefore[static_cast<size_t>(a)] = SERVERCONNECTIONS[static_cast<size_t>(a)].BYTESSENT;
    }
    lastsends = sendsbefore;
    const TCPCOUNTS kernelbefore = SERVERSIDECOUNTS(port);
    const double wirestart = WALLNOW();
    uint64_t wireticks = 0;
    uint64_t mostsendsinatick = 0;
    std::vector<double> ticklengths;
    std::vector<double> tickstarts;
    while (WALLNOW() < wirestart + WIRESECONDS) {
        tickstarts.push_back(WALLNOW());
        TICKWITHPAUSE();
        ticklengths.push_back(WALLNOW() - tickstarts.back());
        ++wireticks;
        for (int a = 0; a < SERVERSLOTS; ++a) {
            const uint64_t sends = SERVERCONNECTIONS[static_cast<size_t>(a)].SENDCALLS;
            mostsendsinatick = std::max(mostsendsinatick, sends - lastsends[static_cast<size_t>(a)]);
            lastsends[static_cast<size_t>(a)] = sends;
        }
    }
    const double wireseconds = WALLNOW() - wirestart;
    const TCPCOUNTS kernelafter = SERVERSIDECOUNTS(port);
    uint64_t wiresends = 0, wirebytes = 0;
    for (int a = 0; a < SERVERSLOTS; ++a) {
        wiresends += SERVERCONNECTIONS[static_cast<size_t>(a)].SENDCALLS - sendsbefore[static_cast<size_t>(a)];
        wirebytes += SERVERCONNECTIONS[static_cast<size_t>(a)].BYTESSENT - bytesbefore[static_cast<size_t>(a)];
    }

    // Phase 2: the tick with 1024 projectiles in flight.
    std::mt19937 random(20240601u);
    REFILLBULLETS(random);
    CURRENTPHASE.store(TICK);
    std::vector<double> totals, connectionpass, shipstep, projectilestep;
    int inflightleast = MAXBULLETS;
    for (int t = 0; t < 2 * TICKSAMPLES; ++t) {
        int inflight = 0;
        for (const BULLETTYPE& bullet : SERVERBULLETS) inflight += bullet.SPRITE != 0 ? 1 : 0;
        inflightleast = std::min(inflightleast, inflight);
        if (t % 2 == 0) {
            const double c0 = CPUNOW();
            SERVERTICK();
            totals.push_back(CPUNOW() - c0);
        } else {
            // The same four steps SERVERTICK runs, timed one by one.
            const double c0 = CPUNOW();
            SERVERWAITFORCONNECTIONS();
            const double c1 = CPUNOW();
            SERVERPHYSICS();
            const double c2 = CPUNOW();
            SERVERBULLETPHYSICS();
            const double c3 = CPUNOW();
            SERVERFLUSHALL();
            const double c4 = CPUNOW();
            connectionpass.push_back((c1 - c0) + (c4 - c3));
            shipstep.push_back(c2 - c1);
            projectilestep.push_back(c3 - c2);
        }
        KELDELAY(5);
        REFILLBULLETS(random);
    }
    const int connectedaftertick = CONNECTEDCOUNT();

    // Phase 3: the arithmetic bound over the same positions.
    CURRENTPHASE.store(DONE);
    const double bound = DISTANCEBOUND();

    STOPPLAYERS.store(true);
    // Keep serving while the players wind down, so none waits on us.
    const double windup = WALLNOW() + 0.3;
    while (WALLNOW() < windup) TICKWITHPAUSE();
    timed.join();
    others.join();

    // --- Figures -------------------------------------------------------------
    const STATS tick = SUMMARISE(totals);
    const STATS pass = SUMMARISE(connectionpass);
    const STATS ships = SUMMARISE(shipstep);
    const STATS shots = SUMMARISE(projectilestep);
    const std::string context = std::to_string(connected) + " players";
    ROW("Server tick: CPU per tick, " + context + ", " + std::to_string(inflightleast) + "+ projectiles",
        US(tick.MEAN) + " µs mean (median " + US(tick.MEDIAN) + ", p99 " + US(tick.P99) + ")",
        US(bound) + " µs: 1025 × 15 distance tests alone",
        FIXED(tick.MEAN / bound, 1) + " × bound", "< 100 µs", VERDICT(tick.MEAN < 100e-6 && connectedaftertick == PLAYERS));
    ROW("… of which connection pass + flush / ship step / projectile step",
        US(pass.MEAN) + " / " + US(ships.MEAN) + " / " + US(shots.MEAN) + " µs mean", "", "", "", "");

    const double clients = connected > 0 ? connected : 1;
    const double persecond = 1.0 / (wireseconds * clients);
    const uint64_t segments = kernelafter.SEGMENTS - kernelbefore.SEGMENTS;
    const uint64_t datasegments = kernelafter.DATASEGMENTS - kernelbefore.DATASEGMENTS;
    const uint64_t kernelbytes = kernelafter.BYTES - kernelbefore.BYTES;
    const double onwire = static_cast<double>(wirebytes) + HEADERBYTES * static_cast<double>(segments);
    const double wireratio = wirebytes > 0 ? onwire / static_cast<double>(wirebytes) : 0;
    ROW("Wire: segments leaving the server per client per s (" + context + " at 30 fps)",
        FIXED(static_cast<double>(segments) * persecond, 1) + " (" + FIXED(static_cast<double>(datasegments) * persecond, 1) +
            " with data)",
        FIXED(static_cast<double>(wiresends) * persecond, 1) + " send calls/s", "", "", "");
    ROW("Wire: bytes on the wire per client per s (payload + 52 B per segment)",
        FIXED(onwire * persecond, 0) + " B/s",
        FIXED(static_cast<double>(wirebytes) * persecond, 0) + " B/s payload (kernel counted " +
            FIXED(static_cast<double>(kernelbytes) * persecond, 0) + ")",
        FIXED(wireratio, 3) + " × payload", "≤ 1.1 × payload", VERDICT(wireratio > 0 && wireratio <= 1.1));
    ROW("Wire: send calls per connection per tick", "at most " + std::to_string(mostsendsinatick) + " in " +
            std::to_string(wireticks) + " ticks",
        FIXED(static_cast<double>(wireticks) / wireseconds, 0) + " ticks/s", "", "≤ 1", VERDICT(mostsendsinatick <= 1 && wireticks > 0));

    const STATS length = SUMMARISE(ticklengths);
    // A CONTROLS is answered within one tick when at most one tick began
    // between its leaving and its answer's arrival: the pass that read it
    // belongs either to the tick running when it arrived or to the next.
    std::vector<std::pair<double, double>> cycles;
    {
        std::lock_guard<std::mutex> hold(LATENCYLOCK);
        cycles = LATENCYWIRE;
    }
    std::vector<double> samples;
    size_t withinone = 0;
    for (const auto& [sent, arrived] : cycles) {
        samples.push_back(arrived - sent);
        const auto first = std::upper_bound(tickstarts.begin(), tickstarts.end(), sent);
        const auto last = std::upper_bound(tickstarts.begin(), tickstarts.end(), arrived);
        if (last - first <= 1) ++withinone;
    }
    const STATS latency = SUMMARISE(samples);
    ROW("Latency: CONTROLS out to its UPDATE in, loopback, " + context,
        MS(latency.MEDIAN) + " ms median, p99 " + MS(latency.P99) + ", max " + MS(latency.MAX) + "; " +
            std::to_string(withinone) + " of " + std::to_string(latency.COUNT) + " cycles within one tick",
        MS(length.MEAN) + " ms mean tick (5 ms pause + work)", FIXED(latency.MEDIAN / length.MEAN, 2) + " tick median",
        "≤ 1 tick", VERDICT(latency.COUNT > 0 && withinone == latency.COUNT));
    SDLNet_Quit();
    return 0;
}
