// Keyboard, mouse and joystick input codes and the held-key table.
// Threads: main thread only (SDL's event queue belongs to it).
#pragma once

#include <array>
#include <cstdint>

constexpr int KELKEYCOUNT = 1025;
extern std::array<int16_t, KELKEYCOUNT> KEYS;

// Drains the event queue into KEYS and answers -1 if code X is held, else 0.
int32_t KELMULTIKEY(int32_t x);
// Code of the next press or movement on the queue, 0 when there is none.
int32_t KELGETSINGLEEVENT();
// Clears every entry of KEYS (tests only).
void KELRESETKEYS();
