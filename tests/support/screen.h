// Test support, the screen side: a scratch working folder with the game's
// data, the dummy-driver display with pixel reads, a hand-moved clock,
// injected keys and mouse, and the menu tests' fixture.
// Test code only; the test's main thread only.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

// A fresh temporary folder holding a link to the repository's data/ folder,
// made the working directory until the object dies (then removed).
struct SCRATCHDIR {
    SCRATCHDIR();
    ~SCRATCHDIR();
    std::string PATH, OLDPATH;
};
// Replaces the data link by a folder of copies of the data files but one.
void MAKEDATAFOLDER(const std::string& leaveOut);
void WRITEFILE(const std::string& path, const std::string& text);

// Writes CONFIG as "config.cfg" (removes it when null), closes a font an
// earlier start opened and runs KELSDL_INIT on SDL's dummy driver.
void STARTTESTVIDEO(const char* config);
// 800 x 600 x 32 dummy display with all sprites loaded, in a scratch folder
// of its own (once per process).
void STARTGAMEVIDEO();

// A clock the test moves by hand: KELGETTICKS returns FAKENOW, and KELDELAY
// advances it by the delay (and records the delay).
extern uint32_t FAKENOW, FAKELASTDELAY, FAKEDELAYCOUNT;
void USEFAKECLOCK(uint32_t start = 1000);

struct RGB {
    int R, G, B;
    bool operator==(const RGB&) const = default;
};
constexpr RGB BLACK{0, 0, 0};
constexpr RGB WHITE{255, 255, 255};
// Colour of one pixel of the (32-bit) display.
RGB READPIXEL(int x, int y);
// A solid W x H surface of one colour in the display format (no colour key).
SDL_Surface* SOLIDSURFACE(int w, int h, RGB colour);
// Whether the 120 x 15 pixels at (X, Y) show TEXT as KELPRINT prints it in
// INK on PAPER through CLIP (the check overwrites them).
bool PRINTSAS(SDL_Rect clip, int x, int y, RGB paper, RGB ink, const std::string& text);

// Pushes a key press or release into SDL's event queue.
void PUSHKEY(SDLKey key, bool down);
// Sets the mouse globals the way a page flip would have sampled them.
void MOUSE(int32_t x, int32_t y, int32_t buttons);

// The game display, the widgets' shared state cleared and the clock at 1000.
class MENUTEST : public ::testing::Test {
protected:
    void SetUp() override;
};
