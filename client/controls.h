// The keyboard controls of the own ship and the client's prediction of ship
// and projectile motion between server messages. Main thread only.
#pragma once

#include <array>
#include <cstdint>

// Key codes the controls read.
constexpr int32_t CLIENTKEYLEFT = 276;
constexpr int32_t CLIENTKEYRIGHT = 275;
constexpr int32_t CLIENTKEYUP = 273;
constexpr int32_t CLIENTKEYDOWN = 274;
constexpr int32_t CLIENTKEYFIRE = 32;
constexpr int32_t CLIENTKEYLEAVE = 27;
constexpr int32_t CLIENTKEYSLOWER = 112;  // P: one millisecond more per frame
constexpr int32_t CLIENTKEYFASTER = 111;  // O: one millisecond less per frame

// Keyboard state into the own ship's thrust, turn and fire fields; P and O
// change the frame period; Escape sets QUITLOOP.
void CLIENTCONTROLS();
// Moves all sixteen ships by the time since the previous call, with the
// server's motion rules and the client's differences.
void CLIENTPHYSICS();
// Moves every projectile in flight and frees those that left the arena.
void CLIENTBULLETPHYSICS();
// The client's gun: projectiles come only from the server, so it does nothing.
void CLIENTSPAWNPROJECTILE(int32_t OWNER, int32_t DIRECTION, int32_t SPEED, int32_t SPRITE);

// Puts both clock pairs back to their start (tests only).
void CLIENTRESETPHYSICSCLOCKS();
// The four clock values (ships' LASTTIME, DELTAT, projectiles' LASTTIME,
// DELTAT), read and restored by recordings and replays.
std::array<double, 4> CLIENTPHYSICSCLOCKS();
void CLIENTSETPHYSICSCLOCKS(const std::array<double, 4>& values);
