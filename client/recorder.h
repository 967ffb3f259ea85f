// Recording the client's game: the capture of each frame's reads (ticks,
// event polls, the mouse sample, the applied messages) and its check value
// on the client's thread, and a writer thread per recording that
// compresses and writes, so a slow or full disk never holds a frame.
// Also the recordings folder: file names and keeping the newest ones.
// Threads: the capture state is per client thread (the game's main thread,
// or each bot that records); each recording's writer thread touches only
// its own queue and file.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

#include "shared/world.h"

// How many recordings a folder keeps: starting a new one removes the oldest
// beyond this many.
constexpr size_t DEMOKEEP = 20;
// Longest time between two complete compressed blocks on disk, in ms: a
// game that is killed loses at most about this much of its end.
constexpr unsigned DEMOFLUSHMS = 1000;
// Most bytes of frames waiting for the writer thread; beyond it the
// recording stops (the disk cannot keep up).
constexpr size_t DEMOQUEUEBYTES = size_t{16} << 20;
// Longest wait, at a recording's clean end, for its writer to finish the
// file (ms); a disk that takes longer leaves the file cut short.
constexpr unsigned DEMOCLOSEWAITMS = 5000;

// Where this thread's client records its games ("" records nothing). The
// game sets "demos" (in its working directory); a recording bot its folder.
extern CLIENTTHREADLOCAL std::string CLIENTRECORDDIR;

// "YYYY-MM-DD_HH-MM-SS_<server>.vxdemo" for local time WHEN, the server's
// name kept to letters, digits, '.', '-' and '_' (others become '_').
std::string DEMOFILENAME(std::time_t when, const std::string& server);
// Removes the oldest "*.vxdemo" files of DIR (by name, which sorts by date)
// so that at most KEEP remain.
void DEMOPRUNE(const std::string& dir, size_t keep);

// Starts recording this thread's client game into a new file in DIR (made
// when missing; the oldest files beyond DEMOKEEP - 1 are removed first).
// RANDOMSTATE: the thread's generator state the arena was placed from;
// PLAYER the name the header carries.
// Call right before the first frame. On failure one line on standard error
// and no recording; the game goes on.
bool RECORDERSTART(const std::string& dir, const std::string& server, uint32_t randomstate, const std::string& player);
// Frame marks, called by CLIENTFRAME; they do nothing while not recording.
void RECORDERFRAMEBEGIN();
void RECORDERPHASE(int phase);
void RECORDERFRAMEEND();
// For a client steered by a program instead of keys (a bot): keeps the own
// ship's controls as that program set them this frame.
void RECORDERSTEERED();
// Ends the recording with its end marker and waits for the writer.
void RECORDERSTOP();
bool RECORDERACTIVE();
// The file of the current (or last) recording of this thread.
std::string RECORDERPATH();
