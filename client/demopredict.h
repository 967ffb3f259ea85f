// The recording's predictor for UPDATE messages (docs/recording.md 2.4):
// where each ship's values lie in an UPDATE, the guess that rebuilds them
// from the previous UPDATE (the server's physics steps between the two, the
// step from which each ship used its new controls, each heading's client
// turns), the search that finds a guess and the one replay of it that a
// reader runs. Threads: no state of its own; whoever holds the codec (the
// recorder's writer thread, a replay, a test) calls it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Caps on what a guess may name (a writer stays far inside them; a reader
// refuses a frame beyond them, so hostile bytes cannot make a long loop).
constexpr uint32_t DEMOMAXSTEPS = 64;     // physics steps between two UPDATEs
constexpr uint32_t DEMOMAXSTEPMS = 1000;  // one step, whole milliseconds (0: the fallback step)
constexpr uint32_t DEMOMAXTURNS = 2;      // client turns of one heading
constexpr int32_t DEMOMAXRADIANS = 7;     // thrust direction, whole radians, -7..7

// Byte offset of each slot's X in an UPDATE (0: the slot carries no
// values), and whether it is another player's entry (with heading) or the
// recipient's own.
struct DEMOUPDATELAYOUT {
    std::array<uint32_t, 16> AT{};
    std::array<uint8_t, 16> OTHER{};
};
bool DEMOUPDATELAYOUTOF(const uint8_t* message, size_t length, int32_t ownslot, DEMOUPDATELAYOUT& layout);
bool DEMOSAMELAYOUT(const DEMOUPDATELAYOUT& a, const DEMOUPDATELAYOUT& b);

// What a guess says about one slot's entry.
struct DEMOSHIPGUESS {
    uint8_t MOTION = 0;    // 1: X, Y, XVELOC, YVELOC come from the physics replay
    uint8_t SWITCH = 0;    // another player: the first step run with its new controls (steps: none)
    int8_t RADIANS = 0;    // own entry: the thrust direction of every step
    int32_t THRUST = 0;    // own entry: the thrust of every step
    uint8_t HEADING = 0;   // another player: 0 stored, 1 + n: the old heading after n client turns
    std::array<int16_t, 2> TURN{};  // signed whole milliseconds of each turn
    // Another player whose controls changed twice: from SWITCH to before
    // SWITCH2 it steered with MIDTHRUST along the heading MIDDLE names
    // (1 the old, 2 the new, 3 the old after its first turn); 0: no such.
    uint8_t MIDDLE = 0;
    uint8_t SWITCH2 = 0;
    int32_t MIDTHRUST = 0;
};
constexpr uint8_t DEMOMAXMIDDLE = 3;
struct DEMOGUESS {
    std::vector<uint16_t> STEPS;  // whole milliseconds of each physics step (0: the fallback step)
    std::array<DEMOSHIPGUESS, 16> SHIPS{};
};

// Marks (1) the bytes of an UPDATE that GUESS supplies.
void DEMOGUESSMASK(const DEMOGUESS& guess, const DEMOUPDATELAYOUT& layout, std::vector<uint8_t>& mask);
// Writes the guessed values into MESSAGE, whose other bytes are already
// there; PREVIOUS is the UPDATE before it (same length and LAYOUT). False
// when the guess cannot be replayed (beyond a cap, or a hostile value).
bool DEMOAPPLYGUESS(const DEMOGUESS& guess, const uint8_t* previous, const DEMOUPDATELAYOUT& layout, uint8_t* message);
// A copy of PREVIOUS whose other players' whole headings are replaced by
// what MESSAGE (whole but for them) and GUESS say the server held: the
// heading of its last step, wrapped and floored. The writer stores those
// fields XOR this reference instead of XOR the previous UPDATE.
void DEMOREFERENCE(const DEMOGUESS& guess, const uint8_t* previous, const DEMOUPDATELAYOUT& layout,
                   const uint8_t* message, std::vector<uint8_t>& reference);
constexpr uint32_t DEMOWHOLEHEADINGAT = 56;  // in another player's entry
// A SHOTFIRED (28 bytes: kind, index, f32 X, Y, sprite, direction,
// speed) as slot SLOT of UPDATE would fire it at step STEP (1 = the first)
// of STEPS with its controls in UPDATE: writes X, Y, direction and speed
// into SHOT; false for a slot or step a guess cannot name.
constexpr uint32_t DEMOSHOTXAT = 8;
bool DEMOSHOTGUESS(const uint8_t* update, const DEMOUPDATELAYOUT& layout, const std::vector<uint16_t>& steps,
                   int32_t slot, uint32_t step, uint8_t* shot);
// Finds the guess that rebuilds the most of MESSAGE from PREVIOUS (same
// length and layout); LASTSTEPS, the previous interval's steps, is tried
// first and becomes this one's. Every value it marks is verified bit for bit.
void DEMOFINDGUESS(const uint8_t* previous, const uint8_t* message, const DEMOUPDATELAYOUT& layout,
                   std::vector<uint16_t>& laststeps, DEMOGUESS& guess);
