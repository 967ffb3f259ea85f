// Test support, the screen side: a scratch working folder with the game's
// data, the dummy-driver display with pixel reads, a hand-moved clock,
// injected keys and mouse, small files and standard-output capture, and the
// menu tests' fixture. Test code only; the test's main thread only.
#pragma once

#include <SDL.h>
#include <cstdint>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

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

// Writes TEXT byte for byte to PATH (relative to the working directory).
void WRITEFILE(const std::string& path, const std::string& text);
// Whole file as bytes; empty when it cannot be read.
std::string READFILE(const std::string& path);
// Lines of TEXT without their line ends.
std::vector<std::string> SPLITLINES(const std::string& text);

// Sends everything written to standard output into a file until ENDCAPTURE,
// which returns what was written.
void BEGINCAPTURE();
std::string ENDCAPTURE();

// Starts the dummy display like STARTTESTVIDEO, first closing the font a
// previous start in this process opened.
void RESTARTTESTVIDEO(int width, int height);

// Replaces the scratch folder's data link by a real folder holding copies
// of the repository's data files, except those named in LEAVEOUT.
void MAKEDATAFOLDER(const std::vector<std::string>& leaveOut);

// Opens the 800 x 600 dummy display once per process, in a scratch folder
// that lives as long as the process.
void MENUTESTVIDEO();

// Sets the mouse globals the way a page flip would have sampled them.
void MOUSE(int32_t x, int32_t y, int32_t buttons);
// Fills the whole screen with one colour, to see what a widget leaves alone.
void PAINTSCREEN(int r, int g, int b);
// Finds the bounding box of dark pixels (every component below 100), the
// anti-aliased ink of black text, inside a rectangle; false when none.
bool FINDINKBOX(int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom);
// Finds the bounding box of pixels of exactly one colour inside a rectangle;
// false when there are none.
bool FINDCOLOURBOX(RGB colour, int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom);

// Readable colours in failure messages.
void PrintTo(const RGB& colour, std::ostream* os);

class MENUTEST : public ::testing::Test {
protected:
    void SetUp() override;
};

constexpr RGB BLACK{0, 0, 0};
constexpr RGB WHITE{255, 255, 255};
constexpr RGB GREY{128, 128, 128};
constexpr RGB BUTTONFACE{212, 206, 201};
constexpr RGB BACKGROUND{212, 208, 200};
constexpr RGB MARKER{10, 200, 30};

// 800 x 600 dummy display with all sprites loaded (once per process).
void STARTGAMEVIDEO();

// A solid W x H surface of one colour in the display format (no colour key).
SDL_Surface* SOLIDSURFACE(int w, int h, int r, int g, int b);
