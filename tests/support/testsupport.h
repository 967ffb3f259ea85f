// Helpers shared by the test suites: a scratch working folder with the game's
// data, the dummy-driver display, a controllable clock and pixel reads.
#pragma once

#include <cstdint>
#include <string>

#include <SDL.h>

// Creates a fresh temporary folder holding a link to the repository's data/
// folder and makes it the working directory; the old one comes back (and
// the folder is removed) when the object dies.
struct SCRATCHDIR {
    SCRATCHDIR();
    ~SCRATCHDIR();
    SCRATCHDIR(const SCRATCHDIR&) = delete;
    SCRATCHDIR& operator=(const SCRATCHDIR&) = delete;
    std::string PATH;
    std::string OLDPATH;
};

// Writes "config.cfg" for the given mode into the working directory and
// runs KELSDL_INIT on SDL's dummy driver (software surface, readable pixels).
void STARTTESTVIDEO(int width = 800, int height = 600, int depth = 32);

// A clock the test moves by hand: KELGETTICKS returns FAKENOW, and KELDELAY
// advances it by the delay (and records the delay).
extern uint32_t FAKENOW;
extern uint32_t FAKELASTDELAY;
extern uint32_t FAKEDELAYCOUNT;
void USEFAKECLOCK(uint32_t start = 1000);

struct RGB {
    int R, G, B;
    bool operator==(const RGB& o) const { return R == o.R && G == o.G && B == o.B; }
};
// Colour of one pixel of KELSCREENSURFACE.
RGB READPIXEL(int x, int y);
// Colour of one pixel of any surface.
RGB READSURFACEPIXEL(SDL_Surface* surface, int x, int y);
// Writes the display surface as a BMP (for test artifacts).
void SAVESCREEN(const std::string& path);

// Pushes a key press or release into SDL's event queue.
void PUSHKEY(SDLKey key, bool down);

std::string SOURCEPATH(const std::string& relative);
