// Video start-up and shutdown: "config.cfg", the display surface, the font,
// the frame period, the token reader shared by both text files, and the
// media layer's debug channel, and the end of the game when the display
// goes away. Threads: main thread only, except KELQUIT, which may also end
// the process from the server thread's fatal path.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include <SDL.h>
#include <SDL_ttf.h>

extern SDL_Surface* KELSCREENSURFACE;
extern TTF_Font* KELFONT;
extern int32_t KELFRAMESPERSECOND;
extern int32_t KELFRAMEPERIOD;
extern int32_t KELSDL_STARTED;
extern int32_t KELDEBUGEVENTS;
// Exit status KELQUIT ends the process with: 0 normally, 1 after a failure
// the player has been told about on standard error. Any thread may set it.
extern std::atomic<int32_t> KELEXITSTATUS;

// The video-mode call, replaceable so tests can see the exact request.
extern SDL_Surface* (*KELSETVIDEOMODE)(int width, int height, int depth, uint32_t flags);

// Reads "config.cfg", opens the display, starts the font library, opens
// "data/vera.ttf" at 11 points and sets the frame period to 33 ms. Ends the
// process with status 1 and one line on standard error when the display,
// the font library or the font cannot be had.
void KELSDL_INIT();

// Starts SDL's video with a driver that opens real windows: with
// SDL_VIDEODRIVER unset, only the windowing drivers are tried, in this order,
// never the text-mode and console ones SDL would otherwise fall back to. A
// driver named in SDL_VIDEODRIVER is SDL's business and used as it is (the
// tests' dummy driver). Ends the process with status 1 and
// "vexil: cannot open a window: ..." when no driver starts.
void KELSTARTVIDEO();

// Run when the connection to the display is lost, before the process ends
// with status 1 and one line on standard error; the program points it at
// whatever must be stopped first (the server thread). Main thread.
extern void (*KELDISPLAYLOSTHOOK)();
// Makes the loss of the X connection end the game that way instead of by
// Xlib's own message and exit. Does nothing when no X library is loaded.
void KELWATCHDISPLAY();

// Shuts the network, font and video libraries down and ends the process
// with KELEXITSTATUS (0 unless a failure was reported).
[[noreturn]] void KELQUIT();
// Ends the process with status 1 after one line on standard error.
[[noreturn]] void KELFATAL(const std::string& message);

void KELSETFRAMESPERSECOND(int32_t framesPerSecond);
void KELDEBUGEVENT(const std::string& text);
void KELDEBUGEVENTSACTIVE(int32_t status);

// Waits for a key on the console: only when standard input is a terminal.
// Keys already waiting are discarded first, the key pressed is left unread.
void KELCONSOLEKEYWAIT();

// Token reader over one text file.
// The file is read whole when it is opened and cut into tokens from memory.
struct KELTOKENFILE {
    std::string TEXT;
    size_t POS = 0;
    bool OPEN = false;
    bool ENDED = false;  // a read has run into the end of the file
};
bool KELOPENTOKENFILE(KELTOKENFILE& file, const char* path);
void KELCLOSETOKENFILE(KELTOKENFILE& file);
// One token, as the reader's rules cut it.
std::string KELREADTOKEN(KELTOKENFILE& file);
// True once a read has run into the end of the file, or the file never opened.
bool KELTOKENEOF(const KELTOKENFILE& file);

// The video request "config.cfg" makes, defaults applied (before the three
// flags that are always added).
struct KELVIDEOCONFIG {
    int32_t XRES = 0;
    int32_t YRES = 0;
    int32_t DEPTH = 0;
    int32_t SCREENOPTIONS = 0;
};
KELVIDEOCONFIG KELREADCONFIG(const char* path);
// A value token as a number: &h, &o, &b prefixes or a decimal number read
// the way atof reads it, rounded half to even.
int32_t KELCONFIGNUMBER(const std::string& token);
// Spaces trimmed at both ends and ASCII letters lowered.
std::string KELTRIMLOWER(const std::string& token);
