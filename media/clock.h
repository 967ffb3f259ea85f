// The media layer's view of time: SDL's millisecond tick counter and its
// delay, reached through two replaceable function pointers so that tests can
// run frame pacing, key repeat and physics on a controlled clock.
// Threads: read by both threads; tests replace the pointers before any
// thread that uses them starts.
#pragma once

#include <cstdint>

// Millisecond tick count (SDL_GetTicks unless a test replaced it).
extern uint32_t (*KELTICKSOURCE)();
// Sleep for a number of milliseconds (SDL_Delay unless a test replaced it).
extern void (*KELDELAYSINK)(uint32_t);

inline uint32_t KELGETTICKS() { return KELTICKSOURCE(); }
inline void KELDELAY(uint32_t ms) { KELDELAYSINK(ms); }

// Puts both pointers back to SDL's own functions.
void KELUSEREALCLOCK();
