// Keyboard, mouse and joystick input codes and the held-key table.
// Threads: main thread only (SDL's event queue belongs to it).
#pragma once

#include <array>
#include <cstdint>

union SDL_Event;

constexpr int KELKEYCOUNT = 1025;
// The event source KELMULTIKEY and KELGETSINGLEEVENT read: SDL_PollEvent
// unless this thread's recording (which logs every poll) or replay (which
// hands back the logged ones) stands in. Per thread.
extern thread_local int (*KELEVENTSOURCE)(SDL_Event* event);
// The mouse sample of the page flip (pump SDL's events, read the pointer):
// KELSAMPLEMOUSE unless a recording or a replay stands in. Per thread.
extern thread_local void (*KELMOUSESOURCE)(int32_t& x, int32_t& y, int32_t& buttons);
void KELSAMPLEMOUSE(int32_t& x, int32_t& y, int32_t& buttons);
extern std::array<int16_t, KELKEYCOUNT> KEYS;

// Drains the event queue into KEYS and answers -1 if code X is held, else 0.
int32_t KELMULTIKEY(int32_t x);
// Code of the next press or movement on the queue, 0 when there is none.
int32_t KELGETSINGLEEVENT();
// Clears every entry of KEYS (tests only).
void KELRESETKEYS();
