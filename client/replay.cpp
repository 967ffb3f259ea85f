// The replay engine (see replay.h).
// Threads: REP and the stand-ins it installs belong to the calling thread.
#include "client/replay.h"

#include <SDL.h>

#include <array>
#include <tuple>
#include <utility>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "client/render.h"
#include "media/clock.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/video.h"
#include "shared/memnet.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/version.h"

namespace {
// Most frames a scan keeps times for (about six days of play at 30 frames a
// second); a file claiming more is refused as broken there.
constexpr size_t MAXFRAMES = size_t{1} << 24;

struct REPLAY {
    DEMOREADER READER;
    DEMOHEADER HEADER;
    DEMOSTART START;
    DEMOCODEC CODEC;
    DEMOFRAME FRAME;
    std::vector<uint8_t> BODY;
    std::vector<uint32_t> TIMES;  // per whole frame, ms from the first
    REPLAYSTATE ENDSTATE = REPLAYFINISHED;  // what follows the last whole frame
    std::string ENDMESSAGE;
    int64_t INDEX = 0;
    REPLAYSTATE STATE = REPLAYPLAYING;
    std::string MESSAGE;
    // Cursors of the frame being applied.
    int PHASE = DEMOUPDATE;
    std::array<size_t, 3> TICKAT{}, POLLAT{};
    uint32_t LASTTICK = 0;
    bool OUTOFSTEP = false;
};
thread_local REPLAY* REP = nullptr;

uint32_t FEEDTICKS() {
    const std::vector<uint32_t>& ticks = REP->FRAME.PHASES[static_cast<size_t>(REP->PHASE)].TICKS;
    size_t& at = REP->TICKAT[static_cast<size_t>(REP->PHASE)];
    if (at >= ticks.size()) {
        REP->OUTOFSTEP = true;
        return REP->LASTTICK;
    }
    REP->LASTTICK = ticks[at++];
    return REP->LASTTICK;
}

int FEEDPOLL(SDL_Event* event) {
    const std::vector<DEMOEVENT>& polls = REP->FRAME.PHASES[static_cast<size_t>(REP->PHASE)].POLLS;
    size_t& at = REP->POLLAT[static_cast<size_t>(REP->PHASE)];
    if (at >= polls.size()) {
        REP->OUTOFSTEP = true;
        return 0;
    }
    const DEMOEVENT& e = polls[at++];
    if (e.TYPE == 0) return 0;
    DEMOEVENTTO(e, *event);
    return 1;
}

void FEEDMOUSE(int32_t& x, int32_t& y, int32_t& buttons) {
    if ((REP->FRAME.FLAGS & DEMOFLAGMOUSE) == 0) REP->OUTOFSTEP = true;
    x = REP->FRAME.MOUSEX;
    y = REP->FRAME.MOUSEY;
    buttons = REP->FRAME.MOUSEBUTTONS;
}

void NODELAY(uint32_t) {}

// A program's controls (a bot's), as recorded.
void FEEDSTEER() {
    if (!PROTOVALIDSLOT(CLIENTCURRENTPLAYERSHIP)) return;
    SHIPTYPE& own = CLIENTPLAYERS[static_cast<size_t>(CLIENTCURRENTPLAYERSHIP)];
    const DEMOFRAME& f = REP->FRAME;
    own.CURRENTACCELERATION = f.ACCELERATION;
    own.SHOOTING = f.SHOOTING;
    own.FRAME = f.SHIPFRAME;
    own.DIRECTION = f.DIRECTION;
    own.DELTATHETA = f.DELTATHETA;
}

// A recording made without a display (a bot's) never ran the drawing's
// state or the page flip: its picture is drawn from a copy of the headings
// the drawing would wrap, which are then put back.
void DRAWHEADLESS(void (*overlay)()) {
    std::array<std::pair<double, int32_t>, 4> headings;
    for (size_t slot = 0; slot < 4; ++slot) headings[slot] = {CLIENTPLAYERS[slot].SUBDIRECTION, CLIENTPLAYERS[slot].DIRECTION};
    CLIENTFRAMEDRAW(true);
    if (overlay != nullptr) overlay();
    for (size_t slot = 0; slot < 4; ++slot) std::tie(CLIENTPLAYERS[slot].SUBDIRECTION, CLIENTPLAYERS[slot].DIRECTION) = headings[slot];
    if (KELSCREENSURFACE != nullptr) SDL_Flip(KELSCREENSURFACE);
}

void INSTALL(bool on) {
    KELTHREADTICKS = on ? FEEDTICKS : nullptr;
    KELEVENTSOURCE = on ? FEEDPOLL : nullptr;
    KELMOUSESOURCE = on ? FEEDMOUSE : nullptr;
    KELTHREADDELAY = on ? NODELAY : nullptr;
    KELPAGEFLIPSHOWS = true;
}

std::string VERSIONS() {
    return "recorded by Vexil! " + REP->HEADER.GAMEVERSION + ", replayed by Vexil! " + VEXILVERSION;
}

void STOP(REPLAYSTATE state, const std::string& message) {
    REP->STATE = state;
    REP->MESSAGE = message;
}

// Reads the start record and puts the client where the recording began,
// with a fresh memory connection in place of the server.
bool BEGIN() {
    DEMOREWIND(REP->READER);
    uint8_t kind = 0;
    if (DEMONEXT(REP->READER, kind, REP->BODY) != DEMORECORD || kind != DEMOSTARTRECORD ||
        !DEMODECODESTART(REP->BODY.data(), REP->BODY.size(), REP->START)) {
        return false;
    }
    int32_t w = 0;
    int32_t h = 0;
    KELGETSCREENDIMENSIONS(w, h);
    CLIENTSETCHATROW(w, h);
    if (!DEMOAPPLYSTART(REP->START)) return false;
    CLIENTNETCLOSE();
    NETQUEUEMEMORY(nullptr, 0, false, nullptr);
    CLIENTSOCKET = NETOPEN(nullptr);
    NETATTACH(CLIENTCONNECTION, CLIENTSOCKET, nullptr);
    DEMOCODECBEGIN(REP->CODEC, REP->START);
    REP->LASTTICK = REP->START.TICKBASE;
    REP->INDEX = 0;
    REP->STATE = REPLAYPLAYING;
    REP->MESSAGE.clear();
    return true;
}

// One pass over the file: the times of its whole frames and how it ends.
bool SCAN() {
    DEMOREWIND(REP->READER);
    uint8_t kind = 0;
    if (DEMONEXT(REP->READER, kind, REP->BODY) != DEMORECORD || kind != DEMOSTARTRECORD ||
        !DEMODECODESTART(REP->BODY.data(), REP->BODY.size(), REP->START)) {
        REP->MESSAGE = REP->READER.ERROR.empty() ? "the recording has no start (it is empty or damaged)"
                                                 : REP->READER.ERROR;
        return false;
    }
    DEMOCODEC codec;
    DEMOCODECBEGIN(codec, REP->START);
    DEMOFRAME frame;
    uint32_t first = 0;
    uint32_t last = REP->START.TICKBASE;
    uint32_t crc = DEMORECORDSCRC(0, DEMOSTARTRECORD, REP->BODY.data(), REP->BODY.size());
    size_t verified = 0;  // frames up to the last check record that held
    for (;;) {
        const DEMOREAD got = DEMONEXT(REP->READER, kind, REP->BODY);
        if (got == DEMOCUT) {
            REP->ENDSTATE = REPLAYCUT;
            REP->ENDMESSAGE = "the recording was cut short after frame " + std::to_string(REP->TIMES.size());
            return true;
        }
        if (got == DEMOEND && verified == REP->TIMES.size() && crc == 0) {
            REP->ENDSTATE = REPLAYFINISHED;
            REP->ENDMESSAGE = "end of the recording";
            return true;
        }
        if (got == DEMORECORD && kind == DEMOCHECKRECORD && REP->BODY.size() == 4) {
            const uint32_t held = static_cast<uint32_t>(REP->BODY[0] | REP->BODY[1] << 8 | REP->BODY[2] << 16 |
                                                        static_cast<uint32_t>(REP->BODY[3]) << 24);
            if (held == crc) {
                verified = REP->TIMES.size();
                crc = 0;
                continue;
            }
        }
        const bool frameok = got == DEMORECORD && kind == DEMOFRAMERECORD && REP->TIMES.size() < MAXFRAMES &&
                             DEMODECODEFRAME(codec, REP->BODY.data(), REP->BODY.size(), frame);
        if (!frameok) {
            // Whatever came after the last check that held may be damaged too.
            REP->ENDSTATE = REPLAYBROKEN;
            const std::string why = got == DEMOBAD ? REP->READER.ERROR
                                    : kind == DEMOCHECKRECORD || kind == DEMOENDRECORD
                                        ? std::string("the recording is corrupted (a check of its bytes fails)")
                                        : std::string("the recording is corrupted (a bad record)");
            REP->ENDMESSAGE = why + " after frame " + std::to_string(verified);
            REP->TIMES.resize(verified);
            return true;
        }
        crc = DEMORECORDSCRC(crc, kind, REP->BODY.data(), REP->BODY.size());
        for (const DEMOPHASE& phase : frame.PHASES) {
            if (!phase.TICKS.empty()) {
                last = phase.TICKS.front();
                break;
            }
        }
        if (REP->TIMES.empty()) first = last;
        REP->TIMES.push_back(last - first);
    }
}
}  // namespace

bool REPLAYOPENBYTES(std::vector<uint8_t> bytes) {
    REPLAYCLOSE();
    REP = new REPLAY;
    if (!DEMOOPENBYTES(REP->READER, std::move(bytes), REP->HEADER)) {
        REP->MESSAGE = REP->READER.ERROR;
        REP->STATE = REPLAYBROKEN;
        return false;
    }
    if (!SCAN() || !BEGIN()) {
        if (REP->MESSAGE.empty()) REP->MESSAGE = "the recording's start is damaged";
        REP->STATE = REPLAYBROKEN;
        return false;
    }
    return true;
}

bool REPLAYOPEN(const std::string& path) {
    REPLAYCLOSE();
    REP = new REPLAY;
    if (!DEMOOPEN(REP->READER, path, REP->HEADER)) {
        REP->MESSAGE = REP->READER.ERROR;
        REP->STATE = REPLAYBROKEN;
        return false;
    }
    std::vector<uint8_t> bytes = std::move(REP->READER.FILE);
    return REPLAYOPENBYTES(std::move(bytes));
}

void REPLAYCLOSE() {
    if (REP == nullptr) return;
    INSTALL(false);
    CLIENTNETCLOSE();
    DEMOCLOSE(REP->READER);
    delete REP;
    REP = nullptr;
}

const DEMOHEADER& REPLAYHEADER() {
    static const DEMOHEADER none;
    return REP != nullptr ? REP->HEADER : none;
}
int64_t REPLAYFRAMECOUNT() { return REP != nullptr ? static_cast<int64_t>(REP->TIMES.size()) : 0; }
uint32_t REPLAYDURATION() { return REP != nullptr && !REP->TIMES.empty() ? REP->TIMES.back() : 0; }
int64_t REPLAYFRAMEINDEX() { return REP != nullptr ? REP->INDEX : 0; }
uint32_t REPLAYTIME() {
    return REP != nullptr && REP->INDEX > 0 ? REP->TIMES[static_cast<size_t>(REP->INDEX - 1)] : 0;
}
uint32_t REPLAYNEXTTIME() {
    if (REP == nullptr || REP->INDEX >= static_cast<int64_t>(REP->TIMES.size())) return REPLAYTIME();
    return REP->TIMES[static_cast<size_t>(REP->INDEX)];
}
REPLAYSTATE REPLAYSTATUS() { return REP != nullptr ? REP->STATE : REPLAYBROKEN; }
REPLAYSTATE REPLAYFILEEND() { return REP != nullptr ? REP->ENDSTATE : REPLAYBROKEN; }
std::string REPLAYFILEENDMESSAGE() { return REP != nullptr ? REP->ENDMESSAGE : std::string("no recording is open"); }
std::string REPLAYMESSAGE() { return REP != nullptr ? REP->MESSAGE : std::string("no recording is open"); }

bool REPLAYSTEP(bool draw, void (*overlay)()) {
    if (REP == nullptr || REP->STATE != REPLAYPLAYING) return false;
    if (REP->INDEX >= static_cast<int64_t>(REP->TIMES.size())) {
        STOP(REP->ENDSTATE, REP->ENDMESSAGE);
        return false;
    }
    uint8_t kind = 0;
    // The scan read these same bytes whole, so this read cannot fail.
    DEMOREAD got = DEMONEXT(REP->READER, kind, REP->BODY);
    while (got == DEMORECORD && kind == DEMOCHECKRECORD) got = DEMONEXT(REP->READER, kind, REP->BODY);
    if (got != DEMORECORD || kind != DEMOFRAMERECORD ||
        !DEMODECODEFRAME(REP->CODEC, REP->BODY.data(), REP->BODY.size(), REP->FRAME)) {
        STOP(REPLAYBROKEN, "the recording could not be read again at frame " + std::to_string(REP->INDEX + 1));
        return false;
    }
    const DEMOFRAME& frame = REP->FRAME;
    REP->TICKAT = {};
    REP->POLLAT = {};
    REP->OUTOFSTEP = false;
    NETMEMORYFEED(CLIENTCONNECTION, frame.MESSAGEBYTES.data(), frame.MESSAGEBYTES.size(),
                  (frame.FLAGS & DEMOFLAGLOST) != 0);
    INSTALL(true);
    REP->PHASE = DEMOUPDATE;
    CLIENTSTEERING = (frame.FLAGS & DEMOFLAGSTEER) != 0 ? FEEDSTEER : nullptr;
    CLIENTFRAMEUPDATE();
    CLIENTSTEERING = nullptr;
    const bool headless = REP->HEADER.WIDTH == 0;
    // Every recorded message must have been applied in this frame.
    if (CLIENTCONNECTED() && (CLIENTCONNECTION.MEMINPOS != CLIENTCONNECTION.MEMINSIZE ||
                              NETUNREAD(CLIENTCONNECTION) != 0)) {
        REP->OUTOFSTEP = true;
    }
    REP->PHASE = DEMODRAW;
    if (!headless && KELSCREENSURFACE == nullptr) {
        CLIENTDRAWSTATEFOR(REP->HEADER.WIDTH, REP->HEADER.HEIGHT);
    } else if (!headless) {
        CLIENTFRAMEDRAW(false);
    }
    ++REP->INDEX;
    // The world is complete before anything is drawn (the drawing and the
    // flip change none of it), so a frame that differs is never shown.
    const std::string where = "frame " + std::to_string(REP->INDEX) + " (" + VERSIONS() + ")";
    if (DEMOWORLDCHECK() != frame.CHECK || REP->OUTOFSTEP) {
        INSTALL(false);
        const bool differs = DEMOWORLDCHECK() != frame.CHECK;
        STOP(REPLAYMISMATCH, (differs ? "the replay differs from the recording at "
                                      : "the replay went out of step with the recording at ") + where);
        return false;
    }
    if (headless) {
        INSTALL(false);
        if (draw) DRAWHEADLESS(overlay);
        return true;
    }
    if (draw) {
        CLIENTFRAMEPICTURE();
        if (overlay != nullptr) overlay();
    }
    REP->PHASE = DEMOFLIP;
    KELPAGEFLIPSHOWS = draw;
    // Without a window the flip's bookkeeping (timers, the recorded mouse)
    // still runs: it is what the game's next frame reads.
    const int32_t started = KELSDL_STARTED;
    KELSDL_STARTED = 1;
    KELPAGEFLIP();
    KELSDL_STARTED = started;
    INSTALL(false);
    if (REP->OUTOFSTEP) {
        STOP(REPLAYMISMATCH, "the replay went out of step with the recording at " + where);
        return false;
    }
    return true;
}

void REPLAYSEEK(uint32_t ms) {
    if (REP == nullptr) return;
    if (REP->INDEX > 0 && REPLAYTIME() > ms) {
        if (REP->STATE == REPLAYMISMATCH) return;
        if (!BEGIN()) {
            STOP(REPLAYBROKEN, "the recording's start is damaged");
            return;
        }
    }
    while (REP->STATE == REPLAYPLAYING && REP->INDEX < static_cast<int64_t>(REP->TIMES.size()) &&
           (REP->INDEX == 0 || REP->TIMES[static_cast<size_t>(REP->INDEX)] <= ms)) {
        if (!REPLAYSTEP(false)) return;
    }
}
