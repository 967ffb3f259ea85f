// Bots: the steering of one ship and the per-bot frame loop around the game
// client's own networking and prediction. Each bot's thread owns its copy of
// the client state (thread_local in client/ and shared/); BOTJOINLOCK
// serialises the handshakes, which read the process-wide VX_PLAYERNAME and
// VX_HOSTNAME; the BOTTYPE counters are atomics read by other threads.
#include "bots/bot.h"

#include <array>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "client/recorder.h"
#include "main/spine.h"
#include "shared/net.h"
#include "shared/protocol.h"

std::atomic<int32_t> BOTSTOP{0};

namespace {
std::mutex BOTJOINLOCK;

constexpr double PI = 3.14159265358979323846;

void RAISE(std::atomic<uint32_t>& value, uint32_t candidate) {
    uint32_t seen = value.load();
    while (candidate > seen && !value.compare_exchange_weak(seen, candidate)) {
    }
}

bool STOPPING(const BOTTYPE& bot, uint32_t start) {
    if (BOTSTOP.load() != 0 || bot.LEAVE.load()) return true;
    return bot.SECONDS > 0 && NETNOW() - start >= static_cast<uint32_t>(bot.SECONDS * 1000.0);
}

// The handshake, one bot at a time. True when the bot holds a slot.
bool JOIN(BOTTYPE& bot) {
    std::lock_guard<std::mutex> hold(BOTJOINLOCK);
    if (VX_HOSTNAME != bot.HOST) VX_HOSTNAME = bot.HOST;
    VX_PLAYERNAME = bot.NAME;
    CLIENTSTARTNETWORK();
    return CLIENTCONNECTED();
}

// Applies what the server has sent through the client's dispatcher, as the
// game's frame does, and counts the messages by kind.
void TAKEMESSAGES(BOTTYPE& bot) {
    const std::array<uint64_t, 10> before = CLIENTAPPLIED;
    CLIENTNETGETDATAPACKET();
    auto APPLIED = [&before](int32_t kind) { return CLIENTAPPLIED[static_cast<size_t>(kind)] - before[static_cast<size_t>(kind)]; };
    uint64_t messages = 0;
    for (size_t kind = 0; kind < CLIENTAPPLIED.size(); ++kind) messages += CLIENTAPPLIED[kind] - before[kind];
    bot.MESSAGES += messages;
    if (APPLIED(UPDATE) > 0) {
        const uint32_t now = NETNOW();
        const uint32_t last = bot.LASTUPDATEAT.exchange(now);
        if (bot.UPDATES.load() > 0) RAISE(bot.LONGESTUPDATEGAP, now - last);
        bot.UPDATES += APPLIED(UPDATE);
    }
    bot.FULLSTATES += APPLIED(FULLSTATE);
    bot.SHOTSSEEN += APPLIED(SHOTFIRED);
    bot.CHATSSEEN += APPLIED(CHAT);
}

int32_t OTHERSHIPS(int32_t own) {
    int32_t count = 0;
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot)
        if (slot != own && CLIENTPLAYERS[static_cast<size_t>(slot)].CONNECTED != 0) ++count;
    return count;
}
}  // namespace

double BOTRANDOM(BOTMIND& mind) {
    mind.RANDOMSTATE = mind.RANDOMSTATE * 1664525u + 1013904223u;
    return (mind.RANDOMSTATE >> 8) / 16777216.0;
}

BOTMIND BOTNEWMIND(uint32_t seed) {
    BOTMIND mind;
    mind.RANDOMSTATE = seed * 2654435761u + 1u;
    BOTRANDOM(mind);
    mind.AIMTOLERANCE = 2.0 + 3.0 * BOTRANDOM(mind);
    mind.DEADBAND = 0.3 + 0.8 * BOTRANDOM(mind);
    mind.CLOSE = 150.0 + 250.0 * BOTRANDOM(mind);
    mind.FAR = mind.CLOSE + 300.0 + 700.0 * BOTRANDOM(mind);
    return mind;
}

double BOTHEADINGTO(double dx, double dy) {
    double heading = std::atan2(dx, -dy) * 32.0 / PI;
    if (heading < 0) heading += 64.0;
    if (heading >= 64.0) heading -= 64.0;
    return heading;
}

double BOTTURNBY(double from, double to) {
    double turn = std::fmod(to - from, 64.0);
    if (!std::isfinite(turn)) return 0;
    if (turn > 32.0) turn -= 64.0;
    if (turn <= -32.0) turn += 64.0;
    return turn;
}

int32_t BOTNEARESTSHIP(const SHIPTABLE& ships, int32_t own) {
    if (!PROTOVALIDSLOT(own)) return -1;
    const SHIPTYPE& me = ships[static_cast<size_t>(own)];
    int32_t nearest = -1;
    double best = 0;
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
        const SHIPTYPE& ship = ships[static_cast<size_t>(slot)];
        if (slot == own || ship.CONNECTED == 0) continue;
        const double dx = ship.X - me.X;
        const double dy = ship.Y - me.Y;
        const double distance = dx * dx + dy * dy;
        if (!std::isfinite(distance)) continue;
        if (nearest < 0 || distance < best) {
            nearest = slot;
            best = distance;
        }
    }
    return nearest;
}

void BOTSTEER(BOTMIND& mind, SHIPTABLE& ships, int32_t own, uint32_t now) {
    if (!PROTOVALIDSLOT(own)) return;
    SHIPTYPE& me = ships[static_cast<size_t>(own)];
    me.FRAME = 0;
    me.DIRECTION = FLOORINT(me.SUBDIRECTION);
    const int32_t target = BOTNEARESTSHIP(ships, own);
    if (target < 0) {
        // Alone: cruise, now and then choosing another gentle turn.
        if (now >= mind.WANDERUNTIL || mind.WANDERUNTIL - now > 10000) {
            mind.WANDERTURN = (BOTRANDOM(mind) * 2.0 - 1.0) * TURNRATE;
            mind.WANDERUNTIL = now + 1000 + static_cast<uint32_t>(BOTRANDOM(mind) * 3000.0);
        }
        me.DELTATHETA = mind.WANDERTURN;
        me.CURRENTACCELERATION = 300;
        me.SHOOTING = 0;
        return;
    }
    const SHIPTYPE& other = ships[static_cast<size_t>(target)];
    const double dx = other.X - me.X;
    const double dy = other.Y - me.Y;
    const double distance = std::sqrt(dx * dx + dy * dy);
    const double turn = BOTTURNBY(me.SUBDIRECTION, BOTHEADINGTO(dx, dy));
    me.DELTATHETA = 0;
    if (turn > mind.DEADBAND) me.DELTATHETA = TURNRATE;
    if (turn < -mind.DEADBAND) me.DELTATHETA = -TURNRATE;
    me.CURRENTACCELERATION = 0;
    if (distance > mind.FAR) me.CURRENTACCELERATION = 300;
    if (distance < mind.CLOSE) me.CURRENTACCELERATION = -300;
    // A little restlessness: now and then a burst of thrust anyway.
    if (me.CURRENTACCELERATION == 0 && BOTRANDOM(mind) < 0.05) me.CURRENTACCELERATION = 300;
    me.SHOOTING = std::fabs(turn) <= mind.AIMTOLERANCE ? 1 : 0;
}

void BOTRUN(BOTTYPE& bot) {
    BOTMIND mind = BOTNEWMIND(bot.SEED);
    // The end of this bot's connection ends this bot, not the process.
    CLIENTQUITSONLOSS = 0;
    // The client's own arena set-up: stars and resting ships in this
    // thread's copy of the client tables (no display needed).
    const uint32_t arenastate = RANDOMSTATENOW();
    CLIENTPLACEOBJECTS();
    CLIENTRESETPHYSICSCLOCKS();
    const uint32_t start = NETNOW();
    if (STOPPING(bot, start) || !JOIN(bot)) {
        bot.FAILED.store(!STOPPING(bot, start));
        bot.ENDED.store(true);
        return;
    }
    bot.SLOT.store(CLIENTCURRENTPLAYERSHIP);
    bot.JOINED.store(true);
    CLIENTSENDREADY();
    const bool recording = !bot.RECORDDIR.empty() && RECORDERSTART(bot.RECORDDIR, bot.HOST, arenastate, bot.NAME);

    int32_t chatsleft = bot.CHATLINES;
    const int32_t chatevery = bot.CHATEVERY > 0 ? bot.CHATEVERY : 1;
    // Frames start at slightly different moments for every bot.
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(BOTRANDOM(mind) * BOTFRAMEMS)));
    while (CLIENTCONNECTED() && !STOPPING(bot, start)) {
        const uint32_t framestart = NETNOW();
        RECORDERFRAMEBEGIN();
        BOTSTEER(mind, CLIENTPLAYERS, CLIENTCURRENTPLAYERSHIP, framestart);
        RECORDERSTEERED();
        if (CLIENTPLAYERS[static_cast<size_t>(CLIENTCURRENTPLAYERSHIP)].SHOOTING != 0) ++bot.FRAMESSHOOTING;
        TAKEMESSAGES(bot);
        // A recorded frame runs whole, as a replay of it will.
        if (!CLIENTCONNECTED() && !recording) break;
        CLIENTPHYSICS();
        CLIENTBULLETPHYSICS();
        if (chatsleft > 0 && bot.FRAMES.load() % static_cast<uint64_t>(chatevery) == 0) {
            CLIENTSENDCHAT(bot.NAME + " says hello " + std::to_string(bot.CHATLINES - chatsleft + 1));
            --chatsleft;
            ++bot.CHATSSENT;
        }
        CLIENTNETFLUSH();
        RECORDERFRAMEEND();
        bot.OTHERSSEEN.store(OTHERSHIPS(CLIENTCURRENTPLAYERSHIP));
        ++bot.FRAMES;
        const uint32_t spent = NETNOW() - framestart;
        if (spent < BOTFRAMEMS) std::this_thread::sleep_for(std::chrono::milliseconds(BOTFRAMEMS - spent));
    }
    RECORDERSTOP();
    bot.DROPPED.store(!CLIENTCONNECTED());
    // Leaving: whatever is queued goes out, then the connection closes,
    // which the server takes as this player's goodbye.
    CLIENTNETCLOSE();
    bot.ENDED.store(true);
}
