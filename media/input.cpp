// The held-key table KEYS and the two ways of reading SDL's event queue.
// Main thread only.
#include "media/input.h"

#include <SDL.h>

std::array<int16_t, KELKEYCOUNT> KEYS{};
thread_local int (*KELEVENTSOURCE)(SDL_Event* event) = nullptr;
thread_local void (*KELMOUSESOURCE)(int32_t& x, int32_t& y, int32_t& buttons) = nullptr;

void KELSAMPLEMOUSE(int32_t& x, int32_t& y, int32_t& buttons) {
    SDL_PumpEvents();
    int mx = 0;
    int my = 0;
    buttons = SDL_GetMouseState(&mx, &my) & 0xFF;
    x = mx;
    y = my;
}

namespace {
int POLL(SDL_Event* event) { return KELEVENTSOURCE != nullptr ? KELEVENTSOURCE(event) : SDL_PollEvent(event); }

void SETKEY(int code, bool held) {
    if (code >= 0 && code < KELKEYCOUNT) KEYS[static_cast<size_t>(code)] = held ? -1 : 0;
}
}  // namespace

int32_t KELMULTIKEY(int32_t x) {
    SDL_Event event;
    while (POLL(&event)) {
        switch (event.type) {
            case SDL_KEYDOWN:
                SETKEY(event.key.keysym.sym, true);
                break;
            case SDL_KEYUP:
                SETKEY(event.key.keysym.sym, false);
                break;
            case SDL_MOUSEMOTION:
                SETKEY(326, event.motion.xrel < 0);
                SETKEY(327, event.motion.xrel > 0);
                SETKEY(328, event.motion.yrel < 0);
                SETKEY(329, event.motion.yrel > 0);
                break;
            case SDL_MOUSEBUTTONDOWN:
                SETKEY(320 + event.button.button, true);
                break;
            case SDL_MOUSEBUTTONUP:
                SETKEY(320 + event.button.button, false);
                break;
            case SDL_JOYAXISMOTION: {
                int base = 400 + 100 * event.jaxis.which + 2 * event.jaxis.axis;
                SETKEY(base, event.jaxis.value < 0);
                SETKEY(base + 1, event.jaxis.value > 0);
                break;
            }
            case SDL_JOYBALLMOTION: {
                int base = 420 + 100 * event.jball.which + 2 * event.jball.ball;
                SETKEY(base, event.jball.xrel < 0);
                SETKEY(base + 1, event.jball.xrel > 0);
                SETKEY(base + 2, event.jball.yrel < 0);
                SETKEY(base + 3, event.jball.yrel > 0);
                break;
            }
            case SDL_JOYHATMOTION: {
                int base = 440 + 100 * event.jhat.which + 8 * event.jhat.hat;
                for (int i = 1; i <= 8; ++i) SETKEY(base + i, false);
                SETKEY(base + event.jhat.value, true);
                break;
            }
            case SDL_JOYBUTTONDOWN:
                SETKEY(40 + 100 * event.jbutton.which + event.jbutton.button, true);
                break;
            case SDL_JOYBUTTONUP:
                SETKEY(40 + 100 * event.jbutton.which + event.jbutton.button, false);
                break;
            default:
                break;  // close requests, focus, resize, expose, user events
        }
    }
    if (x < 0 || x >= KELKEYCOUNT) return 0;
    return KEYS[static_cast<size_t>(x)];
}

int32_t KELGETSINGLEEVENT() {
    SDL_Event event;
    while (POLL(&event)) {
        switch (event.type) {
            case SDL_KEYDOWN:
                return event.key.keysym.sym;
            case SDL_MOUSEMOTION:
                if (event.motion.xrel < 0) return 326;
                if (event.motion.xrel > 0) return 327;
                if (event.motion.yrel < 0) return 328;
                if (event.motion.yrel > 0) return 329;
                break;
            case SDL_MOUSEBUTTONDOWN:
                return 320 + event.button.button;
            case SDL_JOYAXISMOTION:
                return 400 + 100 * event.jaxis.which + 2 * event.jaxis.axis;
            case SDL_JOYBALLMOTION: {
                int offset = 0;
                if (event.jball.xrel < 0) offset = 0;
                if (event.jball.xrel > 0) offset = 1;
                if (event.jball.yrel < 0) offset = 2;
                if (event.jball.yrel > 0) offset = 3;
                return 420 + 100 * event.jball.which + 2 * event.jball.ball + offset;
            }
            case SDL_JOYHATMOTION:
                return 440 + 100 * event.jhat.which + 8 * event.jhat.hat + event.jhat.value;
            case SDL_JOYBUTTONDOWN:
                return 40 + 100 * event.jbutton.which + event.jbutton.button;
            default:
                break;
        }
    }
    return 0;
}

void KELRESETKEYS() { KEYS.fill(0); }
