// The recording file format (see demofile.h and docs/recording.md).
// Threads: stateless; capture/apply and the world check touch the calling
// thread's client state only.
#include "client/demofile.h"

#include <cstdio>
#include <cstring>

#include <SDL.h>
#include <zlib.h>

#include "client/client.h"
#include "client/controls.h"
#include "client/demopredict.h"
#include "client/network.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/video.h"
#include "menu/button.h"
#include "menu/inputbox.h"
#include "shared/protocol.h"
#include "shared/world.h"

void DEMOCLEARFRAME(DEMOFRAME& frame) {
    frame.FLAGS = 0;
    for (DEMOPHASE& phase : frame.PHASES) {
        phase.TICKS.clear();
        phase.POLLS.clear();
    }
    frame.MOUSEX = frame.MOUSEY = frame.MOUSEBUTTONS = 0;
    frame.ACCELERATION = frame.SHOOTING = frame.SHIPFRAME = frame.DIRECTION = 0;
    frame.DELTATHETA = 0;
    frame.MESSAGEBYTES.clear();
    frame.MESSAGELENGTHS.clear();
    frame.CHECK = 0;
}

namespace {
// --- Writing and reading values: little-endian fixed sizes, LEB128 varints,
// zigzag for signed ones, strings as a varint length and the bytes.
struct PUT {
    std::vector<uint8_t>& OUT;
    void U8(uint8_t v) { OUT.push_back(v); }
    void FIXED(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) OUT.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void VAR(uint64_t v) {
        while (v >= 0x80) {
            OUT.push_back(static_cast<uint8_t>(v | 0x80));
            v >>= 7;
        }
        OUT.push_back(static_cast<uint8_t>(v));
    }
    void SVAR(int64_t v) { VAR((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63)); }
    void F64(double v) {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, 8);
        FIXED(bits, 8);
    }
    void F32(float v) {
        uint32_t bits = 0;
        std::memcpy(&bits, &v, 4);
        FIXED(bits, 4);
    }
    void STR(const std::string& s) {
        VAR(s.size());
        OUT.insert(OUT.end(), s.begin(), s.end());
    }
};

// Every read checks what is left; the first failure sticks (OK false) and
// later reads yield zeros, so a decoder checks OK once at its end.
struct TAKE {
    const uint8_t* P;
    size_t LEFT;
    bool OK = true;
    bool HAVE(size_t n) {
        if (!OK || LEFT < n) OK = false;
        return OK;
    }
    uint8_t U8() {
        if (!HAVE(1)) return 0;
        --LEFT;
        return *P++;
    }
    uint64_t FIXED(int bytes) {
        if (!HAVE(static_cast<size_t>(bytes))) return 0;
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(P[i]) << (8 * i);
        P += bytes;
        LEFT -= static_cast<size_t>(bytes);
        return v;
    }
    uint64_t VAR() {
        uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            const uint8_t b = U8();
            v |= static_cast<uint64_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0) return v;
        }
        OK = false;
        return 0;
    }
    int64_t SVAR() {
        const uint64_t v = VAR();
        return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
    }
    int32_t S32() { return static_cast<int32_t>(SVAR()); }
    // A count no larger than CAP (else the read fails).
    uint32_t COUNT(uint32_t cap) {
        const uint64_t v = VAR();
        if (v > cap) OK = false;
        return OK ? static_cast<uint32_t>(v) : 0;
    }
    double F64() {
        const uint64_t bits = FIXED(8);
        double v = 0;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    float F32() {
        const uint32_t bits = static_cast<uint32_t>(FIXED(4));
        float v = 0;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    std::string STR() {
        const uint32_t n = COUNT(DEMOMAXSTRING);
        if (!HAVE(n)) return std::string();
        std::string s(reinterpret_cast<const char*>(P), n);
        P += n;
        LEFT -= n;
        return s;
    }
};

// Which fields of an SDL event the game's input reads, per type.
int FIELDCOUNT(uint8_t type) {
    switch (type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            return 1;
        case SDL_MOUSEMOTION:
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
            return 2;
        case SDL_JOYAXISMOTION:
        case SDL_JOYHATMOTION:
            return 3;
        case SDL_JOYBALLMOTION:
            return 4;
        default:
            return 0;
    }
}

// Whether an event's fields fit the SDL event fields they fill (a key
// symbol within SDL's key table, bytes and 16-bit values in range): what
// a writer stores always does, damaged or hostile bytes need not.
bool EVENTFITS(const DEMOEVENT& e) {
    auto within = [](int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; };
    switch (e.TYPE) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            return within(e.A, 0, SDLK_LAST - 1);
        case SDL_MOUSEMOTION:
            return within(e.A, -32768, 32767) && within(e.B, -32768, 32767);
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            return within(e.A, 0, 255);
        case SDL_JOYAXISMOTION:
            return within(e.A, 0, 255) && within(e.B, 0, 255) && within(e.C, -32768, 32767);
        case SDL_JOYBALLMOTION:
            return within(e.A, 0, 255) && within(e.B, 0, 255) && within(e.C, -32768, 32767) &&
                   within(e.D, -32768, 32767);
        case SDL_JOYHATMOTION:
            return within(e.A, 0, 255) && within(e.B, 0, 255) && within(e.C, 0, 255);
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
            return within(e.A, 0, 255) && within(e.B, 0, 255);
        default:
            return false;
    }
}

void PUTSHIPS(PUT& put) {
    for (const SHIPTYPE& s : CLIENTPLAYERS) {
        for (double v : {s.X, s.Y, s.XVELOC, s.YVELOC, s.XACCEL, s.YACCEL, s.SUBDIRECTION, s.DELTATHETA, s.GUNTIMER})
            put.F64(v);
        for (int32_t v : {s.DAMAGE, s.SHOOTING, s.WEAPON, s.FRAME, s.DIRECTION, s.CURRENTACCELERATION, s.GUNHEAT,
                          s.HEALTH, s.MAXHEALTH, s.CONNECTED, s.KILLS})
            put.SVAR(v);
        put.STR(s.PLAYERNAME);
    }
}

bool TAKESHIPS(TAKE& take, SHIPTABLE& ships) {
    for (SHIPTYPE& s : ships) {
        for (double* v : {&s.X, &s.Y, &s.XVELOC, &s.YVELOC, &s.XACCEL, &s.YACCEL, &s.SUBDIRECTION, &s.DELTATHETA,
                          &s.GUNTIMER})
            *v = take.F64();
        for (int32_t* v : {&s.DAMAGE, &s.SHOOTING, &s.WEAPON, &s.FRAME, &s.DIRECTION, &s.CURRENTACCELERATION,
                           &s.GUNHEAT, &s.HEALTH, &s.MAXHEALTH, &s.CONNECTED, &s.KILLS})
            *v = take.S32();
        s.PLAYERNAME = take.STR();
    }
    return take.OK;
}

// The guess of a predicted UPDATE (docs/recording.md 2.4): steps, then per
// slot that carries values a code byte and what the code announces.
void PUTGUESS(PUT& put, const DEMOGUESS& guess, const DEMOUPDATELAYOUT& layout) {
    put.VAR(guess.STEPS.size());
    for (uint16_t ms : guess.STEPS) put.VAR(ms);
    for (size_t slot = 0; slot < 16; ++slot) {
        if (layout.AT[slot] == 0) continue;
        const DEMOSHIPGUESS& g = guess.SHIPS[slot];
        if (layout.OTHER[slot] != 0) {
            put.U8(static_cast<uint8_t>(g.MOTION | g.HEADING << 1 | (g.MIDDLE != 0 ? 8 : 0)));
            if (g.MOTION != 0) put.VAR(g.SWITCH);
            if (g.MIDDLE != 0) {
                put.VAR(g.SWITCH2);
                put.U8(g.MIDDLE);
                put.SVAR(g.MIDTHRUST);
            }
            for (int n = 0; n + 1 < g.HEADING; ++n) put.SVAR(g.TURN[static_cast<size_t>(n)]);
        } else {
            put.U8(g.MOTION);
            if (g.MOTION != 0) {
                put.SVAR(g.RADIANS);
                put.SVAR(g.THRUST);
            }
        }
    }
}

// Reads a guess; values beyond a cap fail the read or, later, its replay.
bool TAKEGUESS(TAKE& take, DEMOGUESS& guess, const DEMOUPDATELAYOUT& layout) {
    guess = DEMOGUESS{};
    const uint32_t steps = take.COUNT(DEMOMAXSTEPS);
    for (uint32_t i = 0; i < steps && take.OK; ++i) guess.STEPS.push_back(static_cast<uint16_t>(take.COUNT(DEMOMAXSTEPMS)));
    for (size_t slot = 0; slot < 16 && take.OK; ++slot) {
        if (layout.AT[slot] == 0) continue;
        DEMOSHIPGUESS& g = guess.SHIPS[slot];
        const uint8_t code = take.U8();
        if (layout.OTHER[slot] != 0) {
            if (code > 15 || (code & 9) == 8) return false;  // two switches only with motion
            g.MOTION = code & 1;
            g.HEADING = static_cast<uint8_t>((code >> 1) & 3);
            if (g.MOTION != 0) g.SWITCH = static_cast<uint8_t>(take.COUNT(DEMOMAXSTEPS));
            if ((code & 8) != 0) {
                g.SWITCH2 = static_cast<uint8_t>(take.COUNT(DEMOMAXSTEPS));
                g.MIDDLE = take.U8();
                g.MIDTHRUST = take.S32();
                if (g.MIDDLE == 0 || g.MIDDLE > DEMOMAXMIDDLE) return false;
            }
            for (int n = 0; n + 1 < g.HEADING; ++n) {
                const int32_t turn = take.S32();
                if (turn < -static_cast<int32_t>(DEMOMAXSTEPMS) || turn > static_cast<int32_t>(DEMOMAXSTEPMS)) return false;
                g.TURN[static_cast<size_t>(n)] = static_cast<int16_t>(turn);
            }
        } else {
            if (code > 1) return false;
            g.MOTION = code;
            if (g.MOTION != 0) {
                const int32_t radians = take.S32();
                if (radians < -DEMOMAXRADIANS || radians > DEMOMAXRADIANS) return false;
                g.RADIANS = static_cast<int8_t>(radians);
                g.THRUST = take.S32();
            }
        }
    }
    return take.OK;
}
}  // namespace

// --- Header -------------------------------------------------------------------
// magic[8] | u16 format | u16 body length | body:
//   u8 n, game version | u16 n, player name | u8 n, server | i64 date |
//   i32 slot | u16 width | u16 height        (all little-endian)
std::vector<uint8_t> DEMOHEADERBYTES(const DEMOHEADER& header) {
    std::vector<uint8_t> body;
    PUT put{body};
    const std::string version = header.GAMEVERSION.substr(0, 255);
    const std::string name = header.PLAYERNAME.substr(0, DEMOMAXNAME);
    const std::string server = header.SERVER.substr(0, 255);
    put.U8(static_cast<uint8_t>(version.size()));
    body.insert(body.end(), version.begin(), version.end());
    put.FIXED(name.size(), 2);
    body.insert(body.end(), name.begin(), name.end());
    put.U8(static_cast<uint8_t>(server.size()));
    body.insert(body.end(), server.begin(), server.end());
    put.FIXED(static_cast<uint64_t>(header.DATE), 8);
    put.FIXED(static_cast<uint32_t>(header.SLOT), 4);
    put.FIXED(static_cast<uint16_t>(header.WIDTH), 2);
    put.FIXED(static_cast<uint16_t>(header.HEIGHT), 2);
    std::vector<uint8_t> out(DEMOMAGIC, DEMOMAGIC + 8);
    PUT head{out};
    head.FIXED(DEMOFORMAT, 2);
    head.FIXED(body.size(), 2);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

bool DEMOPARSEHEADER(const uint8_t* bytes, size_t size, DEMOHEADER& header, size_t& used, std::string& error) {
    if (size < 12 || std::memcmp(bytes, DEMOMAGIC, 8) != 0) {
        error = "not a Vexil! recording";
        return false;
    }
    TAKE take{bytes + 8, size - 8};
    const uint16_t format = static_cast<uint16_t>(take.FIXED(2));
    const size_t length = take.FIXED(2);
    if (format != DEMOFORMAT) {
        error = "a recording of format version " + std::to_string(format) + "; this game reads format version " +
                std::to_string(DEMOFORMAT);
        return false;
    }
    if (!take.HAVE(length)) {
        error = "the recording's header is cut short";
        return false;
    }
    TAKE body{take.P, length};
    auto bytesof = [&](size_t n) {
        if (!body.HAVE(n)) return std::string();
        std::string s(reinterpret_cast<const char*>(body.P), n);
        body.P += n;
        body.LEFT -= n;
        return s;
    };
    header.GAMEVERSION = bytesof(body.U8());
    header.PLAYERNAME = bytesof(body.FIXED(2));
    header.SERVER = bytesof(body.U8());
    header.DATE = static_cast<int64_t>(body.FIXED(8));
    header.SLOT = static_cast<int32_t>(body.FIXED(4));
    header.WIDTH = static_cast<int32_t>(body.FIXED(2));
    header.HEIGHT = static_cast<int32_t>(body.FIXED(2));
    if (!body.OK || header.SLOT < 0 || header.SLOT >= MAXPLAYERS) {
        error = "the recording's header is damaged";
        return false;
    }
    used = 12 + length;
    return true;
}

uint32_t DEMORECORDSCRC(uint32_t crc, uint8_t kind, const uint8_t* body, size_t size) {
    crc = static_cast<uint32_t>(crc32(crc, &kind, 1));
    return static_cast<uint32_t>(crc32(crc, body, static_cast<uInt>(size)));
}

// --- Records --------------------------------------------------------------------
namespace {
// A SHOTFIRED is stored against a guessed shot while the last UPDATE
// parses (its layout into LAYOUT).
bool SHOTREFERENCE(const DEMOCODEC& codec, DEMOUPDATELAYOUT& layout) {
    const std::vector<uint8_t>& update = codec.LASTMESSAGE[UPDATE];
    return !update.empty() && DEMOUPDATELAYOUTOF(update.data(), update.size(), codec.SLOT, layout);
}
// The bytes of a SHOTFIRED that a guessed shot supplies: X, Y, direction, speed.
bool SHOTGUESSED(uint32_t i) { return (i >= DEMOSHOTXAT && i < DEMOSHOTXAT + 8) || i >= DEMOSHOTXAT + 12; }
}  // namespace

void DEMOCODECBEGIN(DEMOCODEC& codec, const DEMOSTART& start) {
    codec = DEMOCODEC{};
    codec.LASTTICK = start.TICKBASE;
    codec.SLOT = start.SLOT;
}

void DEMOAPPENDRECORD(std::vector<uint8_t>& out, uint8_t kind, const std::vector<uint8_t>& body) {
    PUT put{out};
    put.U8(kind);
    put.VAR(body.size());
    out.insert(out.end(), body.begin(), body.end());
}

void DEMOENCODESTART(const DEMOSTART& s, std::vector<uint8_t>& out) {
    PUT put{out};
    put.SVAR(s.SLOT);
    put.FIXED(s.RANDOMSTATE, 4);
    put.FIXED(s.TICKBASE, 4);
    for (int32_t v : {s.OLDTIMER, s.OLDERTIMER, s.FRAMEPERIOD, s.MEASUREDPERIOD, s.MOUSEX, s.MOUSEY, s.MOUSEBUTTONS,
                      s.CHATACTIVE, s.OLDVALUEISCHAT, s.LASTKEY, s.LASTTIME, s.NOTRELEASED, s.BUTTONARMED})
        put.SVAR(v);
    put.F64(s.MEASUREDRATE);
    put.F64(s.ROUNDTRIP1);
    put.F64(s.ROUNDTRIP2);
    for (double v : s.CLOCKS) put.F64(v);
    put.VAR(s.HELDKEYS.size());
    for (size_t i = 0; i < s.HELDKEYS.size(); ++i) {
        put.SVAR(s.HELDKEYS[i]);
        put.SVAR(s.HELDVALUES[i]);
    }
    for (const std::string* text : {&s.CHATMESSAGE, &s.OLDVALUE, &s.ALMOSTPRESSED, &s.NOTRELEASEDSTRING})
        put.STR(*text);
    put.VAR(s.WORLD.size());
    out.insert(out.end(), s.WORLD.begin(), s.WORLD.end());
}

bool DEMODECODESTART(const uint8_t* bytes, size_t size, DEMOSTART& s) {
    TAKE take{bytes, size};
    s.SLOT = take.S32();
    s.RANDOMSTATE = static_cast<uint32_t>(take.FIXED(4));
    s.TICKBASE = static_cast<uint32_t>(take.FIXED(4));
    for (int32_t* v : {&s.OLDTIMER, &s.OLDERTIMER, &s.FRAMEPERIOD, &s.MEASUREDPERIOD, &s.MOUSEX, &s.MOUSEY,
                       &s.MOUSEBUTTONS, &s.CHATACTIVE, &s.OLDVALUEISCHAT, &s.LASTKEY, &s.LASTTIME, &s.NOTRELEASED,
                       &s.BUTTONARMED})
        *v = take.S32();
    s.MEASUREDRATE = take.F64();
    s.ROUNDTRIP1 = take.F64();
    s.ROUNDTRIP2 = take.F64();
    for (double& v : s.CLOCKS) v = take.F64();
    const uint32_t held = take.COUNT(KELKEYCOUNT);
    s.HELDKEYS.clear();
    s.HELDVALUES.clear();
    for (uint32_t i = 0; i < held && take.OK; ++i) {
        s.HELDKEYS.push_back(take.S32());
        s.HELDVALUES.push_back(take.S32());
    }
    for (std::string* text : {&s.CHATMESSAGE, &s.OLDVALUE, &s.ALMOSTPRESSED, &s.NOTRELEASEDSTRING}) *text = take.STR();
    const uint32_t world = take.COUNT(static_cast<uint32_t>(DEMOMAXRECORD));
    if (take.HAVE(world)) s.WORLD.assign(take.P, take.P + world);
    return take.OK && take.LEFT == world && PROTOVALIDSLOT(s.SLOT);
}

// Frame body: u8 flags | per phase: ticks (count, zigzag deltas from the
// previous tick read anywhere), polls (count, then per entry u8 type and
// its fields; type 0 carries a run length of empty polls) | mouse (when
// flagged) | steered controls (when flagged) | messages (count; per message length, kind as 4 plain bytes,
// the rest XOR the previous message of that kind when it had the same
// length) | u32 check.
void DEMOENCODEFRAME(DEMOCODEC& codec, const DEMOFRAME& frame, std::vector<uint8_t>& out) {
    PUT put{out};
    put.U8(frame.FLAGS);
    for (const DEMOPHASE& phase : frame.PHASES) {
        put.VAR(phase.TICKS.size());
        for (uint32_t tick : phase.TICKS) {
            put.SVAR(static_cast<int32_t>(tick - codec.LASTTICK));
            codec.LASTTICK = tick;
        }
        // Runs of empty polls are stored as one entry.
        std::vector<uint8_t> polls;
        PUT p{polls};
        uint32_t entries = 0;
        for (size_t i = 0; i < phase.POLLS.size(); ++entries) {
            const DEMOEVENT& e = phase.POLLS[i];
            p.U8(e.TYPE);
            if (e.TYPE == 0) {
                size_t run = 0;
                while (i < phase.POLLS.size() && phase.POLLS[i].TYPE == 0) ++run, ++i;
                p.VAR(run);
                continue;
            }
            const int32_t fields[4] = {e.A, e.B, e.C, e.D};
            for (int f = 0; f < FIELDCOUNT(e.TYPE); ++f) p.SVAR(fields[f]);
            ++i;
        }
        put.VAR(entries);
        out.insert(out.end(), polls.begin(), polls.end());
    }
    if ((frame.FLAGS & DEMOFLAGMOUSE) != 0) {
        put.SVAR(frame.MOUSEX);
        put.SVAR(frame.MOUSEY);
        put.SVAR(frame.MOUSEBUTTONS);
    }
    if ((frame.FLAGS & DEMOFLAGSTEER) != 0) {
        for (int32_t v : {frame.ACCELERATION, frame.SHOOTING, frame.SHIPFRAME, frame.DIRECTION}) put.SVAR(v);
        put.F64(frame.DELTATHETA);
    }
    put.VAR(frame.MESSAGELENGTHS.size());
    size_t at = 0;
    for (uint32_t length : frame.MESSAGELENGTHS) {
        const uint8_t* m = frame.MESSAGEBYTES.data() + at;
        put.VAR(length);
        const uint32_t kind = length >= 4 ? static_cast<uint32_t>(m[0] | m[1] << 8 | m[2] << 16 | m[3] << 24) : 9;
        std::vector<uint8_t>& last = codec.LASTMESSAGE[kind < 9 ? kind : 9];
        const bool xored = last.size() == length;
        DEMOUPDATELAYOUT layout;
        if (kind == UPDATE && xored && DEMOUPDATELAYOUTOF(last.data(), length, codec.SLOT, layout)) {
            // Predicted from the previous UPDATE; only what the guess does
            // not supply is stored, XOR the previous bytes.
            DEMOGUESS guess;
            DEMOUPDATELAYOUT now;
            if (DEMOUPDATELAYOUTOF(m, length, codec.SLOT, now) && DEMOSAMELAYOUT(now, layout)) {
                DEMOFINDGUESS(last.data(), m, layout, codec.LASTSTEPS, guess);
                std::vector<uint8_t> check(m, m + length);
                if (!DEMOAPPLYGUESS(guess, last.data(), layout, check.data()) ||
                    std::memcmp(check.data(), m, length) != 0)
                    guess = DEMOGUESS{};
            }
            std::vector<uint8_t> mask(length, 0);
            DEMOGUESSMASK(guess, layout, mask);
            std::vector<uint8_t> reference = last;
            DEMOREFERENCE(guess, last.data(), layout, m, reference);
            for (uint32_t i = 0; i < 4; ++i) put.U8(m[i]);
            PUTGUESS(put, guess, layout);
            codec.STEPS = guess.STEPS;
            for (uint32_t i = 4; i < length; ++i)
                if (mask[i] == 0) put.U8(m[i] ^ reference[i]);
        } else if (kind == SHOTFIRED && length == SHOTFIREDBYTES && SHOTREFERENCE(codec, layout)) {
            // Against the shot the likeliest ship fires at some step of the
            // last interval's steps (what differs is stored XOR that).
            std::vector<uint8_t> best, shot(m, m + length);
            int32_t owner = -1;
            uint32_t step = 0, fewest = 17;
            for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
                for (uint32_t t = 1; t <= codec.STEPS.size(); ++t) {
                    if (!DEMOSHOTGUESS(codec.LASTMESSAGE[UPDATE].data(), layout, codec.STEPS, slot, t, shot.data())) break;
                    uint32_t differ = 0;
                    for (uint32_t i = DEMOSHOTXAT; i < length; ++i) differ += shot[i] != m[i];
                    if (differ < fewest) fewest = differ, owner = slot, step = t, best = shot;
                }
            }
            for (uint32_t i = 0; i < 4; ++i) put.U8(m[i]);
            put.U8(static_cast<uint8_t>(owner < 0 ? 0xFF : owner));
            if (owner >= 0) put.VAR(step);
            for (uint32_t i = 4; i < length; ++i) {
                const bool guessed = owner >= 0 && SHOTGUESSED(i);
                put.U8(guessed ? m[i] ^ best[i] : xored ? m[i] ^ last[i] : m[i]);
            }
        } else {
            if (kind == UPDATE) codec.STEPS.clear();
            for (uint32_t i = 0; i < length; ++i) put.U8(xored && i >= 4 ? m[i] ^ last[i] : m[i]);
        }
        last.assign(m, m + length);
        at += length;
    }
    put.FIXED(frame.CHECK, 4);
}

bool DEMODECODEFRAME(DEMOCODEC& codec, const uint8_t* bytes, size_t size, DEMOFRAME& frame) {
    DEMOCLEARFRAME(frame);
    TAKE take{bytes, size};
    frame.FLAGS = take.U8();
    for (DEMOPHASE& phase : frame.PHASES) {
        const uint32_t ticks = take.COUNT(DEMOMAXCOUNT);
        for (uint32_t i = 0; i < ticks && take.OK; ++i) {
            codec.LASTTICK += static_cast<uint32_t>(take.S32());
            phase.TICKS.push_back(codec.LASTTICK);
        }
        const uint32_t entries = take.COUNT(DEMOMAXCOUNT);
        for (uint32_t i = 0; i < entries && take.OK; ++i) {
            DEMOEVENT e;
            e.TYPE = take.U8();
            if (e.TYPE == 0) {
                const uint32_t run = take.COUNT(DEMOMAXCOUNT);
                if (phase.POLLS.size() + run > DEMOMAXCOUNT) return false;
                phase.POLLS.insert(phase.POLLS.end(), run, e);
                continue;
            }
            int32_t* fields[4] = {&e.A, &e.B, &e.C, &e.D};
            for (int f = 0; f < FIELDCOUNT(e.TYPE); ++f) *fields[f] = take.S32();
            if (!EVENTFITS(e) || phase.POLLS.size() >= DEMOMAXCOUNT) return false;
            phase.POLLS.push_back(e);
        }
    }
    if ((frame.FLAGS & DEMOFLAGMOUSE) != 0) {
        frame.MOUSEX = take.S32();
        frame.MOUSEY = take.S32();
        frame.MOUSEBUTTONS = take.S32();
    }
    if ((frame.FLAGS & DEMOFLAGSTEER) != 0) {
        for (int32_t* v : {&frame.ACCELERATION, &frame.SHOOTING, &frame.SHIPFRAME, &frame.DIRECTION}) *v = take.S32();
        frame.DELTATHETA = take.F64();
    }
    const uint32_t messages = take.COUNT(DEMOMAXCOUNT);
    for (uint32_t n = 0; n < messages && take.OK; ++n) {
        const uint32_t length = take.COUNT(static_cast<uint32_t>(DEMOMAXRECORD));
        if (length < 4 || !take.HAVE(4)) return false;
        const uint8_t* m = take.P;
        const uint32_t kind = static_cast<uint32_t>(m[0] | m[1] << 8 | m[2] << 16 | m[3] << 24);
        std::vector<uint8_t>& last = codec.LASTMESSAGE[kind < 9 ? kind : 9];
        const bool xored = last.size() == length;
        const size_t at = frame.MESSAGEBYTES.size();
        DEMOUPDATELAYOUT layout;
        if (kind == UPDATE && xored && DEMOUPDATELAYOUTOF(last.data(), length, codec.SLOT, layout)) {
            frame.MESSAGEBYTES.insert(frame.MESSAGEBYTES.end(), m, m + 4);
            take.P += 4;
            take.LEFT -= 4;
            DEMOGUESS guess;
            if (!TAKEGUESS(take, guess, layout)) return false;
            std::vector<uint8_t> mask(length, 0);
            DEMOGUESSMASK(guess, layout, mask);
            frame.MESSAGEBYTES.resize(at + length);
            uint8_t* out = frame.MESSAGEBYTES.data() + at;
            for (uint32_t i = 4; i < length; ++i) out[i] = mask[i] != 0 ? 0 : static_cast<uint8_t>(take.U8() ^ last[i]);
            if (!take.OK || !DEMOAPPLYGUESS(guess, last.data(), layout, out)) return false;
            // The whole headings were stored XOR a reference made from the rest.
            std::vector<uint8_t> reference = last;
            DEMOREFERENCE(guess, last.data(), layout, out, reference);
            for (uint32_t i = 4; i < length; ++i) out[i] ^= static_cast<uint8_t>(last[i] ^ reference[i]);
            codec.STEPS = guess.STEPS;
            last.assign(out, out + length);
            frame.MESSAGELENGTHS.push_back(length);
            continue;
        }
        if (kind == SHOTFIRED && length == SHOTFIREDBYTES && SHOTREFERENCE(codec, layout)) {
            frame.MESSAGEBYTES.insert(frame.MESSAGEBYTES.end(), m, m + 4);
            take.P += 4;
            take.LEFT -= 4;
            const uint8_t owner = take.U8();
            const uint32_t step = owner == 0xFF ? 0 : take.COUNT(DEMOMAXSTEPS);
            frame.MESSAGEBYTES.resize(at + length);
            uint8_t* out = frame.MESSAGEBYTES.data() + at;
            if (owner != 0xFF && !DEMOSHOTGUESS(codec.LASTMESSAGE[UPDATE].data(), layout, codec.STEPS, owner, step, out))
                return false;
            for (uint32_t i = 4; i < length; ++i) {
                const uint8_t stored = take.U8();
                out[i] = owner != 0xFF && SHOTGUESSED(i) ? stored ^ out[i] : xored ? stored ^ last[i] : stored;
            }
            if (!take.OK) return false;
            last.assign(out, out + length);
            frame.MESSAGELENGTHS.push_back(length);
            continue;
        }
        if (kind == UPDATE) codec.STEPS.clear();
        if (!take.HAVE(length)) return false;
        frame.MESSAGEBYTES.insert(frame.MESSAGEBYTES.end(), m, m + length);
        if (xored)
            for (uint32_t i = 4; i < length; ++i) frame.MESSAGEBYTES[at + i] ^= last[i];
        last.assign(frame.MESSAGEBYTES.begin() + static_cast<std::ptrdiff_t>(at), frame.MESSAGEBYTES.end());
        frame.MESSAGELENGTHS.push_back(length);
        take.P += length;
        take.LEFT -= length;
    }
    frame.CHECK = static_cast<uint32_t>(take.FIXED(4));
    return take.OK && take.LEFT == 0;
}

bool DEMOEVENTFROM(const SDL_Event& event, DEMOEVENT& e) {
    e = DEMOEVENT{};
    e.TYPE = event.type;
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            e.A = event.key.keysym.sym;
            return true;
        case SDL_MOUSEMOTION:
            e.A = event.motion.xrel;
            e.B = event.motion.yrel;
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            e.A = event.button.button;
            return true;
        case SDL_JOYAXISMOTION:
            e.A = event.jaxis.which, e.B = event.jaxis.axis, e.C = event.jaxis.value;
            return true;
        case SDL_JOYBALLMOTION:
            e.A = event.jball.which, e.B = event.jball.ball, e.C = event.jball.xrel, e.D = event.jball.yrel;
            return true;
        case SDL_JOYHATMOTION:
            e.A = event.jhat.which, e.B = event.jhat.hat, e.C = event.jhat.value;
            return true;
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
            e.A = event.jbutton.which, e.B = event.jbutton.button;
            return true;
        default:
            return false;
    }
}

void DEMOEVENTTO(const DEMOEVENT& e, SDL_Event& event) {
    std::memset(&event, 0, sizeof event);
    event.type = e.TYPE;
    switch (e.TYPE) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            event.key.keysym.sym = static_cast<SDLKey>(e.A);
            break;
        case SDL_MOUSEMOTION:
            event.motion.xrel = static_cast<Sint16>(e.A);
            event.motion.yrel = static_cast<Sint16>(e.B);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            event.button.button = static_cast<Uint8>(e.A);
            break;
        case SDL_JOYAXISMOTION:
            event.jaxis.which = static_cast<Uint8>(e.A);
            event.jaxis.axis = static_cast<Uint8>(e.B);
            event.jaxis.value = static_cast<Sint16>(e.C);
            break;
        case SDL_JOYBALLMOTION:
            event.jball.which = static_cast<Uint8>(e.A);
            event.jball.ball = static_cast<Uint8>(e.B);
            event.jball.xrel = static_cast<Sint16>(e.C);
            event.jball.yrel = static_cast<Sint16>(e.D);
            break;
        case SDL_JOYHATMOTION:
            event.jhat.which = static_cast<Uint8>(e.A);
            event.jhat.hat = static_cast<Uint8>(e.B);
            event.jhat.value = static_cast<Uint8>(e.C);
            break;
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
            event.jbutton.which = static_cast<Uint8>(e.A);
            event.jbutton.button = static_cast<Uint8>(e.B);
            break;
        default:
            break;
    }
}

// --- The client's world ---------------------------------------------------------
void DEMOWORLDBYTES(std::vector<uint8_t>& out) {
    PUT put{out};
    PUTSHIPS(put);
    for (const BULLETTYPE& b : CLIENTBULLETS) {
        put.F32(b.X);
        put.F32(b.Y);
        for (int32_t v : {b.SPEED, b.DIRECTION, b.OWNER, b.SPRITE, b.ANIM}) put.SVAR(v);
    }
    for (const std::string& line : CLIENTCHATBUFFER) put.STR(line);
}

uint32_t DEMOWORLDCHECK() {
    thread_local std::vector<uint8_t> bytes;
    bytes.clear();
    DEMOWORLDBYTES(bytes);
    PUT put{bytes};
    put.SVAR(KELFRAMEPERIOD);
    return static_cast<uint32_t>(crc32(0L, bytes.data(), static_cast<uInt>(bytes.size())));
}

void DEMOCAPTURESTART(DEMOSTART& s, uint32_t randomstate) {
    s = DEMOSTART{};
    s.SLOT = CLIENTCURRENTPLAYERSHIP;
    s.RANDOMSTATE = randomstate;
    s.TICKBASE = static_cast<uint32_t>(KELOLDERTIMER);
    s.OLDTIMER = KELOLDTIMER;
    s.OLDERTIMER = KELOLDERTIMER;
    s.FRAMEPERIOD = KELFRAMEPERIOD;
    s.MEASUREDPERIOD = KELMEASUREDFRAMEPERIOD;
    s.MEASUREDRATE = KELMEASUREDFRAMERATE;
    s.MOUSEX = KELMOUSEX;
    s.MOUSEY = KELMOUSEY;
    s.MOUSEBUTTONS = KELMOUSEBUTTONS;
    for (int code = 0; code < KELKEYCOUNT; ++code) {
        if (KEYS[static_cast<size_t>(code)] == 0) continue;
        s.HELDKEYS.push_back(code);
        s.HELDVALUES.push_back(KEYS[static_cast<size_t>(code)]);
    }
    s.CHATMESSAGE = CLIENTCHATMESSAGE;
    s.CHATACTIVE = CLIENTCHATMONITOR.ACTIVE;
    s.OLDVALUE = OLDVALUE;
    s.OLDVALUEISCHAT = OLDVALUEOWNER == &CLIENTCHATMONITOR ? 1 : 0;
    s.LASTKEY = LASTKEY;
    s.LASTTIME = LASTTIME;
    s.ALMOSTPRESSED = ALMOSTPRESSED;
    s.NOTRELEASED = MOUSENOTRELEASED;
    s.NOTRELEASEDSTRING = MOUSENOTRELEASEDSTRING;
    s.BUTTONARMED = CLIENTCHATBUTTON.ARMED;
    s.ROUNDTRIP1 = CLIENTROUNDTRIPTIME1;
    s.ROUNDTRIP2 = CLIENTROUNDTRIPTIME2;
    s.CLOCKS = CLIENTPHYSICSCLOCKS();
    DEMOWORLDBYTES(s.WORLD);
}

bool DEMOAPPLYSTART(const DEMOSTART& s) {
    // The arena (stars) from the same generator state, then the recorded world.
    SETRANDOMSTATE(s.RANDOMSTATE);
    CLIENTPLACEOBJECTS();
    CLIENTBULLETS.fill(BULLETTYPE{});
    TAKE take{s.WORLD.data(), s.WORLD.size()};
    SHIPTABLE ships = CLIENTPLAYERS;
    if (!TAKESHIPS(take, ships)) return false;
    BULLETTABLE& bullets = CLIENTBULLETS;
    for (BULLETTYPE& b : bullets) {
        b.X = take.F32();
        b.Y = take.F32();
        for (int32_t* v : {&b.SPEED, &b.DIRECTION, &b.OWNER, &b.SPRITE, &b.ANIM}) *v = take.S32();
    }
    CHATBUFFER chat;
    for (std::string& line : chat) line = take.STR();
    if (!take.OK || take.LEFT != 0) return false;
    CLIENTPLAYERS = ships;
    CLIENTCHATBUFFER = chat;
    CLIENTCURRENTPLAYERSHIP = s.SLOT;
    KELOLDTIMER = s.OLDTIMER;
    KELOLDERTIMER = s.OLDERTIMER;
    KELFRAMEPERIOD = s.FRAMEPERIOD;
    KELMEASUREDFRAMEPERIOD = s.MEASUREDPERIOD;
    KELMEASUREDFRAMERATE = s.MEASUREDRATE;
    KELMOUSEX = s.MOUSEX;
    KELMOUSEY = s.MOUSEY;
    KELMOUSEBUTTONS = s.MOUSEBUTTONS;
    KEYS.fill(0);
    for (size_t i = 0; i < s.HELDKEYS.size(); ++i) {
        if (s.HELDKEYS[i] >= 0 && s.HELDKEYS[i] < KELKEYCOUNT)
            KEYS[static_cast<size_t>(s.HELDKEYS[i])] = static_cast<int16_t>(s.HELDVALUES[i]);
    }
    CLIENTCHATMESSAGE = s.CHATMESSAGE;
    CLIENTCHATMONITOR.ACTIVE = s.CHATACTIVE;
    OLDVALUE = s.OLDVALUE;
    OLDVALUEOWNER = s.OLDVALUEISCHAT != 0 ? &CLIENTCHATMONITOR : nullptr;
    LASTKEY = s.LASTKEY;
    LASTTIME = s.LASTTIME;
    ALMOSTPRESSED = s.ALMOSTPRESSED;
    MOUSENOTRELEASED = s.NOTRELEASED;
    MOUSENOTRELEASEDSTRING = s.NOTRELEASEDSTRING;
    CLIENTCHATBUTTON.ARMED = s.BUTTONARMED;
    CLIENTROUNDTRIPTIME1 = s.ROUNDTRIP1;
    CLIENTROUNDTRIPTIME2 = s.ROUNDTRIP2;
    CLIENTSETPHYSICSCLOCKS(s.CLOCKS);
    return true;
}

// --- Reader ---------------------------------------------------------------------
bool DEMOOPENBYTES(DEMOREADER& reader, std::vector<uint8_t> bytes, DEMOHEADER& header) {
    DEMOCLOSE(reader);
    reader.FILE = std::move(bytes);
    size_t used = 0;
    if (!DEMOPARSEHEADER(reader.FILE.data(), reader.FILE.size(), header, used, reader.ERROR)) return false;
    reader.STREAMSTART = used;
    DEMOREWIND(reader);
    return true;
}

bool DEMOOPEN(DEMOREADER& reader, const std::string& path, DEMOHEADER& header) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reader.ERROR = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (bytes.size() + got > DEMOMAXFILE) {
            std::fclose(file);
            reader.ERROR = path + " is larger than any recording (1 GiB)";
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        reader.ERROR = "cannot read " + path;
        return false;
    }
    return DEMOOPENBYTES(reader, std::move(bytes), header);
}

void DEMOREWIND(DEMOREADER& reader) {
    if (reader.ZOPEN) inflateEnd(reader.ZS);
    if (reader.ZS == nullptr) reader.ZS = new z_stream;
    *reader.ZS = z_stream{};
    reader.ZOPEN = inflateInit(reader.ZS) == Z_OK;
    reader.ZS->next_in = reader.FILE.data() + reader.STREAMSTART;
    reader.ZS->avail_in = static_cast<uInt>(reader.FILE.size() - reader.STREAMSTART);
    reader.ZDONE = false;
    reader.OUT.clear();
    reader.OUTPOS = 0;
    reader.FAULT.clear();
    reader.ERROR.clear();
}

void DEMOCLOSE(DEMOREADER& reader) {
    if (reader.ZOPEN) inflateEnd(reader.ZS);
    delete reader.ZS;
    reader.ZS = nullptr;
    reader.ZOPEN = false;
    reader.FILE.clear();
    reader.OUT.clear();
    reader.OUTPOS = 0;
}

namespace {
// Inflates until at least NEED bytes wait in OUT; false when the stream
// has no more (ZDONE; FAULT says why when it was bad data). What was
// inflated before a fault stays usable.
bool FILL(DEMOREADER& r, size_t need) {
    while (r.OUT.size() - r.OUTPOS < need) {
        if (!r.ZOPEN || r.ZDONE) return false;
        if (r.OUTPOS > 0 && r.OUTPOS * 2 >= r.OUT.size()) {
            r.OUT.erase(r.OUT.begin(), r.OUT.begin() + static_cast<std::ptrdiff_t>(r.OUTPOS));
            r.OUTPOS = 0;
        }
        const size_t before = r.OUT.size();
        r.OUT.resize(before + 65536);
        r.ZS->next_out = r.OUT.data() + before;
        r.ZS->avail_out = 65536;
        const int rc = inflate(r.ZS, Z_NO_FLUSH);
        r.OUT.resize(before + (65536 - r.ZS->avail_out));
        if (r.ZS->total_out > DEMOMAXINFLATED) {
            r.FAULT = "the recording is corrupted (it inflates beyond any real one)";
            r.ZDONE = true;
        } else if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) {
            r.FAULT = "the recording is corrupted (bad compressed data)";
            r.ZDONE = true;
        } else if (rc == Z_STREAM_END || rc == Z_BUF_ERROR ||
                   (rc == Z_OK && r.ZS->avail_in == 0 && r.OUT.size() == before)) {
            r.ZDONE = true;
        }
    }
    return true;
}
}  // namespace

DEMOREAD DEMONEXT(DEMOREADER& reader, uint8_t& kind, std::vector<uint8_t>& body) {
    if (!reader.ERROR.empty()) return DEMOBAD;
    // No whole record left: bad data ends the file there, else it was cut.
    auto ended = [&reader] {
        if (reader.FAULT.empty()) return DEMOCUT;
        reader.ERROR = reader.FAULT;
        return DEMOBAD;
    };
    // The kind and a varint length: at most 11 bytes, fewer at the end.
    FILL(reader, 11);
    const size_t have = reader.OUT.size() - reader.OUTPOS;
    if (have == 0) return ended();
    TAKE take{reader.OUT.data() + reader.OUTPOS, have};
    kind = take.U8();
    const uint64_t length = take.VAR();
    if (!take.OK) return ended();
    if (kind < DEMOSTARTRECORD || kind > DEMOCHECKRECORD || length > DEMOMAXRECORD) {
        reader.ERROR = kind < DEMOSTARTRECORD || kind > DEMOCHECKRECORD ? "the recording is corrupted (unknown record)"
                                                                        : "the recording is corrupted (a record's length "
                                                                          "is beyond any real one)";
        return DEMOBAD;
    }
    const size_t head = have - take.LEFT;
    if (!FILL(reader, head + length)) return ended();
    const uint8_t* start = reader.OUT.data() + reader.OUTPOS + head;
    body.assign(start, start + length);
    reader.OUTPOS += head + length;
    return kind == DEMOENDRECORD ? DEMOEND : DEMORECORD;
}
