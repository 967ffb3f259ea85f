// The recording viewer ("vexil --replay FILE"). Main thread only.
#pragma once

#include <string>

// Plays the recording at PATH in the game's window until the viewer leaves
// (Escape, closing the window, Ctrl-C). Returns the exit status: 0 after a
// normal leave, 1 when the file is not a recording, is damaged or cut short,
// or a frame did not replay as recorded (one line on standard error says
// which).
int REPLAYVIEWER(const std::string& path);
