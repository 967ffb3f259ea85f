// SDL's tick counter and delay behind replaceable pointers (see clock.h).
#include "media/clock.h"

#include <SDL.h>

namespace {
uint32_t SDLTICKS() { return SDL_GetTicks(); }
void SDLDELAY(uint32_t ms) { SDL_Delay(ms); }
}  // namespace

uint32_t (*KELTICKSOURCE)() = SDLTICKS;
void (*KELDELAYSINK)(uint32_t) = SDLDELAY;
thread_local uint32_t (*KELTHREADTICKS)() = nullptr;
thread_local void (*KELTHREADDELAY)(uint32_t) = nullptr;

void KELUSEREALCLOCK() {
    KELTICKSOURCE = SDLTICKS;
    KELDELAYSINK = SDLDELAY;
}
