// The media layer's view of time: SDL's millisecond tick counter and its
// delay, reached through two replaceable function pointers so that tests can
// run frame pacing, key repeat and physics on a controlled clock.
// Threads: read by both threads; tests replace the pointers before any
// thread that uses them starts. The two per-thread stand-ins below belong to
// the thread that sets them (a recording or a replay of that thread's
// client), so the server thread's reads never pass through them.
#pragma once

#include <cstdint>

// Millisecond tick count (SDL_GetTicks unless a test replaced it).
extern uint32_t (*KELTICKSOURCE)();
// Sleep for a number of milliseconds (SDL_Delay unless a test replaced it).
extern void (*KELDELAYSINK)(uint32_t);

// When set, this thread's tick reads and delays go through these instead:
// a recording logs each value it hands on, a replay hands back the logged
// values and waits for nothing.
extern thread_local uint32_t (*KELTHREADTICKS)();
extern thread_local void (*KELTHREADDELAY)(uint32_t);

inline uint32_t KELGETTICKS() { return KELTHREADTICKS != nullptr ? KELTHREADTICKS() : KELTICKSOURCE(); }
inline void KELDELAY(uint32_t ms) {
    if (KELTHREADDELAY != nullptr) {
        KELTHREADDELAY(ms);
    } else {
        KELDELAYSINK(ms);
    }
}

// Puts both pointers back to SDL's own functions.
void KELUSEREALCLOCK();
