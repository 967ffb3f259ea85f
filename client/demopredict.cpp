// The UPDATE predictor of the recording format (see demopredict.h). It
// replays the server's ship step with its own copy of the arithmetic and a
// table of sines and cosines, so that every reader on every machine rebuilds
// the same bits (the file is compiled without contracting multiply-adds).
// Threads: stateless; runs in the thread of whoever holds the codec.
#include "client/demopredict.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>

#include "shared/physics.h"
#include "shared/world.h"

namespace {
// sin and cos of the whole radians -7..7, correctly rounded. The server
// takes them from its libm; where that differs, the prediction fails and
// the writer stores the values instead.
constexpr std::array<double, 15> SINES = {
    -0x1.50608c26d0a08p-1, 0x1.1e1f18ab0a2c0p-2, 0x1.eaf81f5e09933p-1, 0x1.837b9dddc1eaep-1, -0x1.210386db6d55bp-3,
    -0x1.d18f6ead1b446p-1, -0x1.aed548f090ceep-1, 0.0, 0x1.aed548f090ceep-1, 0x1.d18f6ead1b446p-1,
    0x1.210386db6d55bp-3, -0x1.837b9dddc1eaep-1, -0x1.eaf81f5e09933p-1, -0x1.1e1f18ab0a2c0p-2, 0x1.50608c26d0a08p-1};
constexpr std::array<double, 15> COSINES = {
    0x1.81ff79ed92017p-1, 0x1.eb9b7097822f5p-1, 0x1.22785706b4ad9p-2, -0x1.4eaa606db24c1p-1, -0x1.fae04be85e5d2p-1,
    -0x1.aa22657537205p-2, 0x1.14a280fb5068cp-1, 1.0, 0x1.14a280fb5068cp-1, -0x1.aa22657537205p-2,
    -0x1.fae04be85e5d2p-1, -0x1.4eaa606db24c1p-1, 0x1.22785706b4ad9p-2, 0x1.eb9b7097822f5p-1, 0x1.81ff79ed92017p-1};

// Offsets inside one slot's entry.
// Splits of the interval the writer tries at most per probe and kind of
// split (near the mean, one odd step, further from the mean).
constexpr int64_t SEARCHBUDGET = 5000;
// A probe's motion must come within this many units of where it arrived
// with even steps (real ones come within a few thousandths).
constexpr double PROBEMISS = 1.0;

constexpr uint32_t HEADINGAT = 32, TURNRATEAT = 40, THRUSTAT = 60;

double GETDBL(const uint8_t* p) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(p[i]) << (8 * i);
    double v = 0;
    std::memcpy(&v, &bits, 8);
    return v;
}
void PUTDBL(uint8_t* p, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}
int32_t GETINT(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}
bool SAMEBITS(double a, double b) { return std::memcmp(&a, &b, 8) == 0; }

struct MOTION {
    double X = 0, Y = 0, XV = 0, YV = 0;
};
MOTION MOTIONAT(const uint8_t* p) { return {GETDBL(p), GETDBL(p + 8), GETDBL(p + 16), GETDBL(p + 24)}; }
bool SAMEMOTION(const MOTION& a, const MOTION& b) {
    return SAMEBITS(a.X, b.X) && SAMEBITS(a.Y, b.Y) && SAMEBITS(a.XV, b.XV) && SAMEBITS(a.YV, b.YV);
}

// What drives one ship's step on the server.
struct CONTROLSET {
    int32_t THRUST = 0;
    double HEADING = 0, TURNRATE = 0;
};
CONTROLSET CONTROLSAT(const uint8_t* p) { return {GETINT(p + THRUSTAT), GETDBL(p + HEADINGAT), GETDBL(p + TURNRATEAT)}; }

double STEPSECONDS(uint16_t ms) { return ms == 0 ? FALLBACKSTEP : ms / 1000.0; }

// The server's move, edge and drag for one step, as the ship step computes
// them (thrust along a whole number of radians).
// The step up to (not including) drag, where the gun fires.
void MOVE(MOTION& s, int32_t thrust, int32_t radians, double dt) {
    const double force = thrust;
    const double xaccel = force * SINES[static_cast<size_t>(radians + DEMOMAXRADIANS)];
    const double yaccel = -force * COSINES[static_cast<size_t>(radians + DEMOMAXRADIANS)];
    s.X = s.X + dt * s.XV + (dt * dt / 2) * xaccel;
    s.Y = s.Y + dt * s.YV + (dt * dt / 2) * yaccel;
    s.XV = s.XV + dt * xaccel;
    s.YV = s.YV + dt * yaccel;
    if (s.X > ARENAEDGE) s.XV = -s.XV, s.X = s.X + s.XV;
    if (s.X < -ARENAEDGE) s.XV = -s.XV, s.X = s.X + s.XV;
    if (s.Y > ARENAEDGE) s.YV = -s.YV, s.Y = s.Y + s.YV;
    if (s.Y < -ARENAEDGE) s.YV = -s.YV, s.Y = s.Y + s.YV;
}
void DRAG(MOTION& s, double dt) {
    s.XV = s.XV - s.XV * dt * DRAGFACTOR;
    s.YV = s.YV - s.YV * dt * DRAGFACTOR;
}
void STEP(MOTION& s, int32_t thrust, int32_t radians, double dt) {
    MOVE(s, thrust, radians, dt);
    DRAG(s, dt);
}

// Another player's ship over the steps: the old controls before step
// SW, the middle ones from it, the new ones from step SW2 on; its heading
// turns and wraps as on the server. False when a thrust direction leaves
// the table.
bool REPLAYOTHER(MOTION& s, const CONTROLSET& before, const CONTROLSET& middle, const CONTROLSET& after, uint32_t sw,
                 uint32_t sw2, const std::vector<double>& dts) {
    CONTROLSET c = before;
    for (size_t i = 0; i < dts.size(); ++i) {
        if (i == sw) c = middle;
        if (i == sw2) c = after;
        const double dt = dts[i];
        const int32_t radians = ROUNDEVEN((c.HEADING + dt * c.TURNRATE) * HEADINGTORADIANS);
        c.HEADING = c.HEADING + dt * c.TURNRATE;
        SHIPWRAPHEADING(c.HEADING);
        if (radians < -DEMOMAXRADIANS || radians > DEMOMAXRADIANS) return false;
        STEP(s, c.THRUST, radians, dt);
    }
    return true;
}

void REPLAYOWN(MOTION& s, int32_t thrust, int32_t radians, const std::vector<double>& dts) {
    for (double dt : dts) STEP(s, thrust, radians, dt);
}

// A client's heading after its own frames turned it (turn signs the rate).
bool TURNHEADING(double& heading, const DEMOSHIPGUESS& g) {
    for (int n = 0; n + 1 < g.HEADING; ++n) {
        const int32_t turn = g.TURN[static_cast<size_t>(n)];
        if (turn == 0 || turn > static_cast<int32_t>(DEMOMAXSTEPMS) || turn < -static_cast<int32_t>(DEMOMAXSTEPMS))
            return false;
        const double dt = std::abs(turn) / 1000.0;
        heading = heading + dt * (turn > 0 ? TURNRATE : -TURNRATE);
        SHIPCLIENTWRAPHEADING(heading);
    }
    return true;
}

// The controls between the two switches of a guess.
bool MIDDLECONTROLS(const DEMOSHIPGUESS& g, const CONTROLSET& before, const CONTROLSET& after, CONTROLSET& middle) {
    middle = after;
    if (g.MIDDLE == 0) return true;
    middle.THRUST = g.MIDTHRUST;
    middle.HEADING = g.MIDDLE == 2 ? after.HEADING : before.HEADING;
    if (g.MIDDLE == 3) {
        if (g.HEADING < 3) return false;
        DEMOSHIPGUESS first = g;
        first.HEADING = 2;
        if (!TURNHEADING(middle.HEADING, first)) return false;
    }
    return true;
}

bool ONTABLE(double heading) {
    return heading > 0 && heading <= HEADINGTURN;
}
}  // namespace

bool DEMOUPDATELAYOUTOF(const uint8_t* m, size_t length, int32_t ownslot, DEMOUPDATELAYOUT& layout) {
    layout = DEMOUPDATELAYOUT{};
    if (ownslot < 0 || ownslot >= MAXPLAYERS) return false;
    size_t at = 4;
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
        if (at + 4 > length) return false;
        const int32_t connected = GETINT(m + at);
        at += 4;
        if (slot == ownslot) {
            layout.AT[static_cast<size_t>(slot)] = static_cast<uint32_t>(at);
            at += 36;
        } else if (connected != 0) {
            if (at + 68 > length) return false;
            const int64_t name = GETINT(m + at + 64);
            if (name < 0 || static_cast<uint64_t>(name) > length) return false;
            layout.AT[static_cast<size_t>(slot)] = static_cast<uint32_t>(at);
            layout.OTHER[static_cast<size_t>(slot)] = 1;
            at += 68 + static_cast<size_t>(name);
        }
    }
    return at == length;
}

bool DEMOSAMELAYOUT(const DEMOUPDATELAYOUT& a, const DEMOUPDATELAYOUT& b) { return a.AT == b.AT && a.OTHER == b.OTHER; }

void DEMOGUESSMASK(const DEMOGUESS& guess, const DEMOUPDATELAYOUT& layout, std::vector<uint8_t>& mask) {
    for (size_t slot = 0; slot < 16; ++slot) {
        const uint32_t at = layout.AT[slot];
        if (at == 0) continue;
        if (guess.SHIPS[slot].MOTION != 0) std::fill(mask.begin() + at, mask.begin() + at + 32, 1);
        if (layout.OTHER[slot] != 0 && guess.SHIPS[slot].HEADING != 0)
            std::fill(mask.begin() + at + HEADINGAT, mask.begin() + at + HEADINGAT + 8, 1);
    }
}

bool DEMOAPPLYGUESS(const DEMOGUESS& guess, const uint8_t* previous, const DEMOUPDATELAYOUT& layout, uint8_t* message) {
    if (guess.STEPS.size() > DEMOMAXSTEPS) return false;
    std::vector<double> dts;
    for (uint16_t ms : guess.STEPS) {
        if (ms > DEMOMAXSTEPMS) return false;
        dts.push_back(STEPSECONDS(ms));
    }
    for (size_t slot = 0; slot < 16; ++slot) {
        const DEMOSHIPGUESS& g = guess.SHIPS[slot];
        const uint32_t at = layout.AT[slot];
        if (at == 0) {
            if (g.MOTION != 0 || g.HEADING != 0) return false;
            continue;
        }
        if (layout.OTHER[slot] != 0) {
            if (g.HEADING > 1 + DEMOMAXTURNS || g.SWITCH > dts.size() || g.MIDDLE > DEMOMAXMIDDLE) return false;
            if (g.MIDDLE != 0 && (g.SWITCH2 < g.SWITCH || g.SWITCH2 > dts.size())) return false;
            if (g.HEADING != 0) {
                double heading = GETDBL(previous + at + HEADINGAT);
                if (!TURNHEADING(heading, g)) return false;
                PUTDBL(message + at + HEADINGAT, heading);
            }
            if (g.MOTION == 0) continue;
            MOTION s = MOTIONAT(previous + at);
            const CONTROLSET before = CONTROLSAT(previous + at), after = CONTROLSAT(message + at);
            CONTROLSET middle;
            if (!MIDDLECONTROLS(g, before, after, middle) ||
                !REPLAYOTHER(s, before, middle, after, g.SWITCH, g.MIDDLE != 0 ? g.SWITCH2 : g.SWITCH, dts))
                return false;
            PUTDBL(message + at, s.X), PUTDBL(message + at + 8, s.Y);
            PUTDBL(message + at + 16, s.XV), PUTDBL(message + at + 24, s.YV);
        } else {
            if (g.HEADING != 0) return false;
            if (g.MOTION == 0) continue;
            if (g.RADIANS < -DEMOMAXRADIANS || g.RADIANS > DEMOMAXRADIANS) return false;
            MOTION s = MOTIONAT(previous + at);
            REPLAYOWN(s, g.THRUST, g.RADIANS, dts);
            PUTDBL(message + at, s.X), PUTDBL(message + at + 8, s.Y);
            PUTDBL(message + at + 16, s.XV), PUTDBL(message + at + 24, s.YV);
        }
    }
    return true;
}

void DEMOREFERENCE(const DEMOGUESS& guess, const uint8_t* previous, const DEMOUPDATELAYOUT& layout,
                   const uint8_t* message, std::vector<uint8_t>& reference) {
    for (size_t slot = 0; slot < 16; ++slot) {
        const uint32_t at = layout.AT[slot];
        if (at == 0 || layout.OTHER[slot] == 0) continue;
        const DEMOSHIPGUESS& g = guess.SHIPS[slot];
        // No step since the previous UPDATE: unchanged. The new heading
        // when a step ran with it (or nothing says it did not), else the old.
        if (g.MOTION != 0 && guess.STEPS.empty()) continue;
        const bool newer = g.MOTION == 0 || g.SWITCH < guess.STEPS.size();
        double heading = GETDBL((newer ? message : previous) + at + HEADINGAT);
        SHIPWRAPHEADING(heading);
        const uint32_t whole = static_cast<uint32_t>(SHIPWHOLEHEADING(heading));
        for (int i = 0; i < 4; ++i) reference[at + DEMOWHOLEHEADINGAT + i] = static_cast<uint8_t>(whole >> (8 * i));
    }
}

bool DEMOSHOTGUESS(const uint8_t* update, const DEMOUPDATELAYOUT& layout, const std::vector<uint16_t>& steps,
                   int32_t slot, uint32_t step, uint8_t* shot) {
    if (slot < 0 || slot >= 16 || layout.OTHER[static_cast<size_t>(slot)] == 0 || step < 1 || step > steps.size())
        return false;
    const uint8_t* entry = update + layout.AT[static_cast<size_t>(slot)];
    MOTION s = MOTIONAT(entry);
    CONTROLSET c = CONTROLSAT(entry);
    for (uint32_t i = 0; i < step; ++i) {
        if (steps[i] > DEMOMAXSTEPMS) return false;
        const double dt = STEPSECONDS(steps[i]);
        const int32_t radians = ROUNDEVEN((c.HEADING + dt * c.TURNRATE) * HEADINGTORADIANS);
        c.HEADING = c.HEADING + dt * c.TURNRATE;
        SHIPWRAPHEADING(c.HEADING);
        if (radians < -DEMOMAXRADIANS || radians > DEMOMAXRADIANS) return false;
        MOVE(s, c.THRUST, radians, dt);
        if (i + 1 < step) DRAG(s, dt);
    }
    // A position no float holds (only a hostile file's) cannot be narrowed.
    if (std::fabs(s.X) > FLT_MAX || std::fabs(s.Y) > FLT_MAX) return false;
    const float x = static_cast<float>(s.X), y = static_cast<float>(s.Y);
    const int32_t direction = FLOORINT(c.HEADING);
    const int32_t speed = ROUNDEVEN(std::sqrt(s.XV * s.XV + s.YV * s.YV) + SHOTBASESPEED);
    uint32_t bits[4] = {0, 0, static_cast<uint32_t>(direction), static_cast<uint32_t>(speed)};
    std::memcpy(&bits[0], &x, 4);
    std::memcpy(&bits[1], &y, 4);
    const uint32_t at[4] = {DEMOSHOTXAT, DEMOSHOTXAT + 4, DEMOSHOTXAT + 12, DEMOSHOTXAT + 16};
    for (int f = 0; f < 4; ++f)
        for (int i = 0; i < 4; ++i) shot[at[f] + i] = static_cast<uint8_t>(bits[f] >> (8 * i));
    return true;
}

namespace {
// The client turns that lead from heading H0 to H1: none, one or two
// frames of a whole number of milliseconds each, turning the same way.
bool FINDTURNS(double h0, double h1, DEMOSHIPGUESS& g) {
    if (SAMEBITS(h0, h1)) {
        g.HEADING = 1;
        return true;
    }
    auto tries = [&](uint8_t count, int32_t a, int32_t b) {
        DEMOSHIPGUESS t;
        t.HEADING = count;
        t.TURN = {static_cast<int16_t>(a), static_cast<int16_t>(b)};
        double h = h0;
        if (!TURNHEADING(h, t) || !SAMEBITS(h, h1)) return false;
        g.HEADING = t.HEADING;
        g.TURN = t.TURN;
        return true;
    };
    for (double d : {h1 - h0, h1 - h0 + HEADINGTURN, h1 - h0 - HEADINGTURN}) {
        if (!(std::fabs(d) <= 2 * HEADINGTURN)) continue;  // also not a number
        const int32_t sign = d > 0 ? 1 : -1;
        const int64_t whole = std::llround(std::fabs(d) * 1000.0 / TURNRATE);
        if (whole < 1 || whole > 2 * static_cast<int64_t>(DEMOMAXSTEPMS) + 1) continue;
        for (int64_t m = std::max<int64_t>(1, whole - 1); m <= whole + 1 && m <= DEMOMAXSTEPMS; ++m)
            if (tries(2, sign * static_cast<int32_t>(m), 0)) return true;
        for (int64_t a = 1; a < whole + 1 && a <= DEMOMAXSTEPMS; ++a)
            for (int64_t b = std::max<int64_t>(1, whole - a - 1); b <= whole - a + 1 && b <= DEMOMAXSTEPMS; ++b)
                if (tries(3, sign * static_cast<int32_t>(a), sign * static_cast<int32_t>(b))) return true;
    }
    return false;
}

// Calls TRY with every split of TOTAL ms into COUNT steps each within
// [LOW, HIGH], until it returns true or BUDGET runs out.
bool SPLITS(int32_t total, int32_t count, int32_t low, int32_t high, std::vector<uint16_t>& steps, int64_t& budget,
            const std::function<bool(const std::vector<uint16_t>&)>& tryit) {
    if (count == 0) {
        if (total != 0 || budget <= 0) return false;
        --budget;
        return tryit(steps);
    }
    // From the mean outwards: the likeliest splits first.
    const int32_t mean = total / count;
    for (int32_t n = 0; n <= 2 * (high - low) + 1 && budget > 0; ++n) {
        const int32_t ms = n % 2 == 0 ? mean + n / 2 : mean - (n + 1) / 2;
        if (ms < low || ms > high) continue;
        const int32_t rest = total - ms;
        if (rest < (count - 1) * low || rest > (count - 1) * high) continue;
        steps.push_back(static_cast<uint16_t>(ms));
        if (SPLITS(rest, count - 1, low, high, steps, budget, tryit)) return true;
        steps.pop_back();
    }
    return false;
}
}  // namespace

void DEMOFINDGUESS(const uint8_t* previous, const uint8_t* message, const DEMOUPDATELAYOUT& layout,
                   std::vector<uint16_t>& laststeps, DEMOGUESS& guess) {
    guess = DEMOGUESS{};
    struct SHIP {
        size_t SLOT;
        MOTION FROM, TO;
        CONTROLSET BEFORE, AFTER;
        bool STEADY;  // the same thrust along the same direction before and after
        int32_t TOTAL = 0;  // the interval's length in ms that fits its motion best, and how far off
        double MISS = 0;
    };
    std::vector<SHIP> ships;
    for (size_t slot = 0; slot < 16; ++slot) {
        const uint32_t at = layout.AT[slot];
        if (at == 0 || layout.OTHER[slot] == 0) continue;
        FINDTURNS(GETDBL(previous + at + HEADINGAT), GETDBL(message + at + HEADINGAT), guess.SHIPS[slot]);
        SHIP s{slot, MOTIONAT(previous + at), MOTIONAT(message + at), CONTROLSAT(previous + at), CONTROLSAT(message + at),
               false};
        s.STEADY = s.BEFORE.THRUST == s.AFTER.THRUST && s.BEFORE.TURNRATE == 0 && s.AFTER.TURNRATE == 0 &&
                   ONTABLE(s.BEFORE.HEADING) && ONTABLE(s.AFTER.HEADING) &&
                   ROUNDEVEN(s.BEFORE.HEADING * HEADINGTORADIANS) == ROUNDEVEN(s.AFTER.HEADING * HEADINGTORADIANS);
        ships.push_back(s);
    }
    std::vector<double> dts;
    // The interval's length that moves ship S closest to where it arrived,
    // in even steps of about 5.5 ms (its old or its new controls
    // throughout): coarsely, then to the millisecond.
    auto estimate = [&dts](SHIP& s) {
        auto miss = [&](int32_t total) {
            const int32_t count = std::max(1, static_cast<int32_t>(std::lround(total / 5.5)));
            dts.assign(static_cast<size_t>(count), total / 1000.0 / count);
            double least = HUGE_VAL;
            for (uint32_t sw : {0u, static_cast<uint32_t>(count)}) {
                MOTION m = s.FROM;
                if (REPLAYOTHER(m, s.BEFORE, s.AFTER, s.AFTER, sw, sw, dts))
                    least = std::min(least, std::fabs(m.X - s.TO.X) + std::fabs(m.Y - s.TO.Y));
                if (s.STEADY) break;
            }
            return least;
        };
        s.MISS = HUGE_VAL;
        for (int32_t total = 4; total <= 400; total += 8) {
            const double m = miss(total);
            if (m < s.MISS) s.MISS = m, s.TOTAL = total;
        }
        const int32_t around = s.TOTAL;
        for (int32_t total = std::max(1, around - 8); total <= around + 8; ++total) {
            const double m = miss(total);
            if (m < s.MISS) s.MISS = m, s.TOTAL = total;
        }
    };
    // Probes: moving ships whose motion even steps explain (not one that
    // bounced off the edge or was reborn elsewhere).
    std::vector<const SHIP*> probes;
    for (SHIP& s : ships) {
        if (SAMEMOTION(s.FROM, s.TO)) continue;
        estimate(s);
        if (s.MISS < PROBEMISS) probes.push_back(&s);
    }
    // The fastest first: a slow ship's bits fit wrong steps too.
    std::stable_sort(probes.begin(), probes.end(), [](const SHIP* a, const SHIP* b) {
        return std::fabs(a->TO.X - a->FROM.X) + std::fabs(a->TO.Y - a->FROM.Y) >
               std::fabs(b->TO.X - b->FROM.X) + std::fabs(b->TO.Y - b->FROM.Y);
    });
    if (probes.size() > 3) probes.resize(3);

    auto fits = [&dts](const SHIP& s, uint32_t& sw) {
        for (sw = 0; sw <= dts.size(); ++sw) {
            MOTION m = s.FROM;
            if (REPLAYOTHER(m, s.BEFORE, s.AFTER, s.AFTER, sw, sw, dts) && SAMEMOTION(m, s.TO)) return true;
            if (s.STEADY && sw == 0) return false;  // where it switches makes no difference
        }
        return false;
    };
    // Steps are taken when two probes fit them bit for bit (a slow ship
    // alone may fit wrong ones; a probe that changed its controls twice in
    // the interval fits none), or the only probe there is.
    const size_t needed = std::min<size_t>(2, probes.size());
    std::vector<uint16_t> winner;
    auto tryit = [&](const std::vector<uint16_t>& steps) {
        dts.clear();
        for (uint16_t ms : steps) dts.push_back(STEPSECONDS(ms));
        size_t fitted = 0;
        for (size_t i = 0; i < probes.size() && fitted < needed && fitted + probes.size() - i >= needed; ++i) {
            uint32_t sw = 0;
            if (fits(*probes[i], sw)) ++fitted;
        }
        if (fitted < needed) return false;
        winner = steps;
        return true;
    };
    bool found = tryit(laststeps);
    std::vector<uint16_t> steps;
    // Splits of totals near the probe's into about as many steps, each
    // within WIDEN of the mean, the likeliest first.
    auto even = [&](int32_t best, int32_t widen, int64_t& budget) {
        for (int32_t total : {best, best - 1, best + 1, best - 2, best + 2}) {
            const int32_t middle = std::max(1, static_cast<int32_t>(std::lround(total / 5.5)));
            for (int32_t count : {middle, middle - 1, middle + 1, middle - 2, middle + 2}) {
                if (total < 1 || count < 1 || count > static_cast<int32_t>(DEMOMAXSTEPS)) continue;
                const int32_t low = std::max(1, total / count - widen);
                const int32_t high = std::min<int32_t>(DEMOMAXSTEPMS, (total + count - 1) / count + widen);
                steps.clear();
                if (SPLITS(total, count, low, high, steps, budget, tryit)) return true;
            }
        }
        return false;
    };
    // Even steps but one: a tick that took far longer (or shorter), at any place.
    auto odd = [&](int32_t best, int64_t& budget) {
        for (int32_t total : {best, best - 1, best + 1, best - 2, best + 2}) {
            // Longer ticks first (a busy server), then shorter ones; those
            // near the mean are the even splits' business.
            for (int32_t n = 0; n < 40; ++n) {
                const int32_t ms = n < 33 ? 8 + n : n - 32;
                const int32_t rest = total - ms;
                const int32_t middle = static_cast<int32_t>(std::lround(rest / 5.5));
                for (int32_t count : {middle, middle - 1, middle + 1}) {
                    if (rest < 1 || count < 1 || count + 1 > static_cast<int32_t>(DEMOMAXSTEPS)) continue;
                    for (int32_t place = 0; place <= count; ++place) {
                        auto withodd = [&](const std::vector<uint16_t>& others) {
                            std::vector<uint16_t> all = others;
                            all.insert(all.begin() + place, static_cast<uint16_t>(ms));
                            return tryit(all);
                        };
                        steps.clear();
                        if (SPLITS(rest, count, rest / count, (rest + count - 1) / count, steps, budget, withodd))
                            return true;
                    }
                }
            }
        }
        return false;
    };
    for (const SHIP* p : probes) {
        if (found) break;
        int64_t near = SEARCHBUDGET, single = SEARCHBUDGET, wide = SEARCHBUDGET;
        found = even(p->TOTAL, 1, near) || odd(p->TOTAL, single) || even(p->TOTAL, 4, wide) || even(p->TOTAL, 9, wide);
    }
    if (!found) winner = laststeps;  // still right for ships that did not move
    laststeps = winner;
    guess.STEPS = winner;
    dts.clear();
    for (uint16_t ms : winner) dts.push_back(STEPSECONDS(ms));
    for (const SHIP& s : ships) {
        DEMOSHIPGUESS& g = guess.SHIPS[s.SLOT];
        uint32_t sw = 0;
        if (fits(s, sw)) {
            g.MOTION = 1;
            g.SWITCH = static_cast<uint8_t>(sw);
            continue;
        }
        // Its controls changed twice: a thrust a client sends, along the
        // old heading, the new one or the one between its two turns.
        const uint8_t sources = g.HEADING == 3 ? 3 : 2;
        for (uint8_t source = 1; source <= sources && g.MOTION == 0; ++source) {
            for (int32_t thrust : {300, 0, -300}) {
                DEMOSHIPGUESS t = g;
                t.MIDDLE = source;
                t.MIDTHRUST = thrust;
                CONTROLSET middle;
                if (!MIDDLECONTROLS(t, s.BEFORE, s.AFTER, middle)) continue;
                for (uint32_t one = 0; one < dts.size() && g.MOTION == 0; ++one) {
                    for (uint32_t two = one + 1; two <= dts.size(); ++two) {
                        MOTION m = s.FROM;
                        if (!REPLAYOTHER(m, s.BEFORE, middle, s.AFTER, one, two, dts) || !SAMEMOTION(m, s.TO)) continue;
                        g = t;
                        g.MOTION = 1;
                        g.SWITCH = static_cast<uint8_t>(one);
                        g.SWITCH2 = static_cast<uint8_t>(two);
                        break;
                    }
                }
                if (g.MOTION != 0) break;
            }
        }
    }
    // The own entry: its controls were the same for the whole interval
    // (each of its CONTROLS brings an UPDATE); the usual thrusts first.
    for (size_t slot = 0; slot < 16; ++slot) {
        const uint32_t at = layout.AT[slot];
        if (at == 0 || layout.OTHER[slot] != 0) continue;
        const MOTION from = MOTIONAT(previous + at), to = MOTIONAT(message + at);
        for (int32_t thrust : {0, 300, -300}) {
            for (int32_t radians = 0; radians <= 6 && guess.SHIPS[slot].MOTION == 0; ++radians) {
                MOTION m = from;
                REPLAYOWN(m, thrust, radians, dts);
                if (!SAMEMOTION(m, to)) continue;
                guess.SHIPS[slot].MOTION = 1;
                guess.SHIPS[slot].THRUST = thrust;
                guess.SHIPS[slot].RADIANS = static_cast<int8_t>(radians);
            }
        }
    }
}
