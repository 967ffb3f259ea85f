// The recording viewer behind "vexil --replay FILE": the game's window at
// the recorded size, the game's own drawing driven by the replay engine,
// and the viewer's keys (Space pause, Right/Left 10 s, Escape leave) read
// straight from SDL between frames, never through the game's input.
// Threads: main thread only; no server thread and no network connection.
#include "main/viewer.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>

#include <SDL.h>

#include "client/client.h"
#include "client/replay.h"
#include "main/spine.h"
#include "media/surface.h"
#include "media/text.h"
#include "media/video.h"

namespace {
constexpr uint32_t JUMPMS = 10000;
constexpr uint32_t MAXGAPMS = 5000;
volatile std::sig_atomic_t LEAVESIGNAL = 0;
void ONLEAVESIGNAL(int /*signal*/) { LEAVESIGNAL = 1; }

int32_t RECORDEDW = 0;
int32_t RECORDEDH = 0;
SDL_Surface* (*CONFIGVIDEOMODE)(int, int, int, uint32_t) = nullptr;
// The recorded window size in a window, with the depth and other flags of
// config.cfg: the replay's layout, camera and clicks are the player's.
SDL_Surface* RECORDEDVIDEOMODE(int width, int height, int depth, uint32_t flags) {
    if (RECORDEDW > 0 && RECORDEDH > 0) {
        width = RECORDEDW;
        height = RECORDEDH;
        flags &= ~static_cast<uint32_t>(SDL_FULLSCREEN);
    }
    return CONFIGVIDEOMODE(width, height, depth, flags);
}

std::string CLOCKTEXT(uint32_t ms) {
    const uint32_t seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u", seconds / 60, seconds % 60);
    return text;
}

bool PAUSED = false;

// The two lines in the side panel below the read-outs (outside the arena).
void OVERLAY() {
    if (KELSCREENSURFACE == nullptr) return;
    const int32_t W = KELSCREENSURFACE->w;
    const int32_t H = KELSCREENSURFACE->h;
    const int32_t y = std::min(303, H - 52);
    KELRESETCLIP();
    KELFILLRECT(W - 146, y, 144, 30, 221, 221, 221);
    KELPRINT(W - 144, y, KELCOLOUR(0, 0, 0),
             "Replay " + CLOCKTEXT(REPLAYTIME()) + " / " + CLOCKTEXT(REPLAYDURATION()));
    std::string state;
    switch (REPLAYSTATUS()) {
        case REPLAYPLAYING:
            state = PAUSED ? "Paused (Space)" : "";
            break;
        case REPLAYFINISHED:
            state = "End of recording";
            break;
        case REPLAYCUT:
            state = "Recording cut short";
            break;
        case REPLAYBROKEN:
            state = "Recording damaged";
            break;
        case REPLAYMISMATCH:
            state = "Replay differs: stopped";
            break;
    }
    if (!state.empty()) KELPRINT(W - 144, y + 15, KELCOLOUR(160, 0, 0), state);
}

void SHOWHELD(bool redraw) {
    if (redraw && REPLAYSTATUS() != REPLAYMISMATCH) CLIENTFRAMEPICTURE();
    OVERLAY();
    if (KELSCREENSURFACE != nullptr) SDL_Flip(KELSCREENSURFACE);
}
}  // namespace

int REPLAYVIEWER(const std::string& path) {
    std::signal(SIGINT, ONLEAVESIGNAL);
    std::signal(SIGTERM, ONLEAVESIGNAL);
    // The header first: a file that is no recording, or one of another
    // format, is refused before a window opens.
    DEMOREADER probe;
    DEMOHEADER header;
    if (!DEMOOPEN(probe, path, header)) {
        std::cerr << "vexil: cannot replay " << path << ": " << probe.ERROR << std::endl;
        return 1;
    }
    DEMOCLOSE(probe);
    RECORDEDW = header.WIDTH;
    RECORDEDH = header.HEIGHT;
    CONFIGVIDEOMODE = KELSETVIDEOMODE;
    KELSETVIDEOMODE = RECORDEDVIDEOMODE;
    KELSDL_INIT();
    SDL_WM_SetCaption(("Vexil! replay: " + header.PLAYERNAME + " on " + header.SERVER).c_str(), nullptr);
    LOADGRAPHICS();
    VX_PLAYERNAME = header.PLAYERNAME;
    if (!REPLAYOPEN(path)) {
        std::cerr << "vexil: cannot replay " << path << ": " << REPLAYMESSAGE() << std::endl;
        return 1;
    }

    uint32_t anchor = SDL_GetTicks();  // wall time of recorded time 0
    bool told = false;
    bool leave = false;
    bool redraw = false;  // the held picture is not the current state's
    uint32_t lastshown = 0;
    while (!leave && LEAVESIGNAL == 0) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) leave = true;
            if (event.type != SDL_KEYDOWN) continue;
            const SDLKey key = event.key.keysym.sym;
            if (key == SDLK_ESCAPE) leave = true;
            if (key == SDLK_SPACE) PAUSED = !PAUSED;
            if (key == SDLK_RIGHT || key == SDLK_LEFT) {
                const uint32_t now = REPLAYTIME();
                REPLAYSEEK(key == SDLK_RIGHT ? now + JUMPMS : (now > JUMPMS ? now - JUMPMS : 0));
                redraw = true;
            }
            if (key == SDLK_SPACE || key == SDLK_RIGHT || key == SDLK_LEFT) {
                anchor = SDL_GetTicks() - REPLAYTIME();
                lastshown = 0;
            }
        }
        if (leave) break;
        if (REPLAYSTATUS() == REPLAYPLAYING && !PAUSED) {
            // A pause in the recording longer than any frame (a stalled
            // game, or damaged times) is not waited out.
            if (REPLAYNEXTTIME() - REPLAYTIME() > MAXGAPMS && REPLAYNEXTTIME() > REPLAYTIME()) {
                anchor = SDL_GetTicks() - REPLAYNEXTTIME();
            }
            const uint32_t now = SDL_GetTicks() - anchor;
            if (REPLAYFRAMEINDEX() >= REPLAYFRAMECOUNT() || REPLAYNEXTTIME() <= now) {
                // Behind the clock by more than a few frames: catch up without drawing.
                REPLAYSTEP(!(REPLAYFRAMEINDEX() + 1 < REPLAYFRAMECOUNT() && REPLAYNEXTTIME() + 100 < now), OVERLAY);
                redraw = false;
            } else {
                SDL_Delay(1);
            }
            continue;
        }
        // A frame that differs is said at once; a cut or damaged file when
        // the viewer leaves.
        if (REPLAYSTATUS() == REPLAYMISMATCH && !told) {
            told = true;
            std::cerr << "vexil: " << path << ": " << REPLAYMESSAGE() << std::endl;
        }
        // Held: the last picture with the state line, refreshed now and then.
        if (lastshown == 0 || SDL_GetTicks() - lastshown >= 250) {
            SHOWHELD(redraw);
            redraw = false;
            lastshown = SDL_GetTicks();
        }
        SDL_Delay(10);
    }
    // Leaving a cut or damaged file, at its end or before, says what is
    // wrong with it.
    int status = 0;
    if (REPLAYSTATUS() == REPLAYMISMATCH) {
        status = 1;
    } else if (REPLAYFILEEND() != REPLAYFINISHED) {
        std::cerr << "vexil: " << path << ": " << REPLAYFILEENDMESSAGE() << std::endl;
        status = 1;
    }
    REPLAYCLOSE();
    return status;
}
