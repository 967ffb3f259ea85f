// The replay engine: runs the game's own frame code (dispatcher,
// prediction, drawing, page flip) from a recording instead of a socket and
// a keyboard. Each recorded frame's messages reach the dispatcher through a
// memory connection, its tick reads, event polls and mouse sample through
// the media layer's per-thread stand-ins; after each frame the world's
// check value must equal the recorded one.
// Threads: the replay state is per thread, like the client it drives; the
// caller's thread must not run a live client at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/demofile.h"

enum REPLAYSTATE {
    REPLAYPLAYING,   // frames are left
    REPLAYFINISHED,  // every frame applied, the end marker read
    REPLAYCUT,       // every whole frame applied, no end marker (cut short)
    REPLAYBROKEN,    // the file breaks here (bad data or lengths)
    REPLAYMISMATCH,  // a frame came out other than recorded
};

// Opens a recording: reads its header and scans it once (frame count,
// times, where it ends), then sets the client's state to the recording's
// start. Needs the display and sprites for a drawn replay (a headless one
// passes no screen). False with REPLAYMESSAGE() when it cannot be replayed
// at all (unreadable, not a recording, other format, no start).
bool REPLAYOPEN(const std::string& path);
bool REPLAYOPENBYTES(std::vector<uint8_t> bytes);
void REPLAYCLOSE();

const DEMOHEADER& REPLAYHEADER();
// Whole frames the file holds (up to where it ends or breaks).
int64_t REPLAYFRAMECOUNT();
// Time of the last frame from the first, in ms.
uint32_t REPLAYDURATION();
// Frames applied so far, and the recorded time of the last one (ms).
int64_t REPLAYFRAMEINDEX();
uint32_t REPLAYTIME();
// The recorded time of the next frame (REPLAYTIME() when none is left).
uint32_t REPLAYNEXTTIME();

// Applies the next frame: with DRAW its picture is drawn, OVERLAY (may be
// null) is called before the flip and the flip shows it; without, only the
// state the drawing writes is kept and nothing is shown. False when no
// frame was applied or the frame did not come out as recorded; see
// REPLAYSTATUS.
bool REPLAYSTEP(bool draw, void (*overlay)() = nullptr);
// To the last frame recorded at or before MS (from the start when it lies
// behind), without drawing.
void REPLAYSEEK(uint32_t ms);

REPLAYSTATE REPLAYSTATUS();
// How the file itself ends, known from the scan at open: REPLAYFINISHED,
// REPLAYCUT or REPLAYBROKEN, with the line that says so.
REPLAYSTATE REPLAYFILEEND();
std::string REPLAYFILEENDMESSAGE();
// One line saying why the replay stopped (empty while playing).
std::string REPLAYMESSAGE();
