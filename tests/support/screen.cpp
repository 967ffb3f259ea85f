// Test support, the screen side (see screen.h).
#include "tests/support/screen.h"

#include <filesystem>
#include <fstream>

#include "main/spine.h"
#include "media/clock.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/text.h"
#include "media/video.h"
#include "menu/button.h"
#include "menu/inputbox.h"

namespace fs = std::filesystem;
static const fs::path DATA = fs::path(VEXIL_SOURCE_DIR) / "data";

SCRATCHDIR::SCRATCHDIR() : PATH((fs::temp_directory_path() / "vexil-test-XXXXXX").string()), OLDPATH(fs::current_path()) {
    if (mkdtemp(PATH.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    fs::create_directory_symlink(DATA, fs::path(PATH) / "data");
    fs::current_path(PATH);
}

SCRATCHDIR::~SCRATCHDIR() {
    std::error_code ec;
    fs::current_path(OLDPATH, ec);
    fs::remove_all(PATH, ec);
}

void MAKEDATAFOLDER(const std::string& leaveOut) {
    fs::remove_all("data");
    fs::create_directory("data");
    for (const auto& entry : fs::directory_iterator(DATA))
        if (entry.path().filename() != leaveOut) fs::copy_file(entry.path(), fs::path("data") / entry.path().filename());
}

void WRITEFILE(const std::string& path, const std::string& text) {
    if (!(std::ofstream(path, std::ios::binary) << text)) throw std::runtime_error("cannot write " + path);
}

void STARTTESTVIDEO(const char* config) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    fs::remove("config.cfg");
    if (config != nullptr) WRITEFILE("config.cfg", config);
    if (KELFONT != nullptr) TTF_CloseFont(KELFONT);
    KELFONT = nullptr;
    KELSDL_INIT();
}

void STARTGAMEVIDEO() {
    static SCRATCHDIR dir;
    [[maybe_unused]] static const bool started = (STARTTESTVIDEO("xres, 800, yres, 600, depth, 32"), LOADGRAPHICS(), true);
}

uint32_t FAKENOW = 0, FAKELASTDELAY = 0, FAKEDELAYCOUNT = 0;

void USEFAKECLOCK(uint32_t start) {
    FAKENOW = start;
    FAKELASTDELAY = FAKEDELAYCOUNT = 0;
    KELTICKSOURCE = [] { return FAKENOW; };
    KELDELAYSINK = [](uint32_t ms) { FAKELASTDELAY = ms, ++FAKEDELAYCOUNT, FAKENOW += ms; };
}

// The dummy display is a software surface: no lock is needed.
RGB READPIXEL(int x, int y) {
    const SDL_Surface* s = KELSCREENSURFACE;
    if (s == nullptr || x < 0 || y < 0 || x >= s->w || y >= s->h) return RGB{-1, -1, -1};
    Uint8 r, g, b;
    SDL_GetRGB(static_cast<const Uint32*>(s->pixels)[y * s->pitch / 4 + x], s->format, &r, &g, &b);
    return RGB{r, g, b};
}

SDL_Surface* SOLIDSURFACE(int w, int h, RGB c) {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, Uint8(c.R), Uint8(c.G), Uint8(c.B)));
    return s;
}

bool PRINTSAS(SDL_Rect clip, int x, int y, RGB paper, RGB ink, const std::string& text) {
    std::vector<RGB> shown;
    for (int i = 0; i < 120 * 15; ++i) shown.push_back(READPIXEL(x + i % 120, y + i / 120));
    KELSETCLIP(clip.x, clip.y, clip.w, clip.h);
    KELFILLRECT(x, y, 800, 15, paper.R, paper.G, paper.B);
    KELPRINT(x, y, KELCOLOUR(ink.R, ink.G, ink.B), text);
    KELRESETCLIP();
    for (int i = 0; i < 120 * 15; ++i)
        if (!(shown[size_t(i)] == READPIXEL(x + i % 120, y + i / 120))) return false;
    return true;
}

void PUSHKEY(SDLKey key, bool down) {
    SDL_Event event{};
    event.key.type = down ? SDL_KEYDOWN : SDL_KEYUP, event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

void MOUSE(int32_t x, int32_t y, int32_t buttons) { KELMOUSEX = x, KELMOUSEY = y, KELMOUSEBUTTONS = buttons; }

void MENUTEST::SetUp() {
    STARTGAMEVIDEO();
    USEFAKECLOCK(1000);
    KELMULTIKEY(0);  // drain whatever an earlier test left queued
    KELRESETKEYS();
    MOUSE(0, 0, 0);
    ALMOSTPRESSED.clear(), MOUSENOTRELEASEDSTRING.clear(), OLDVALUE.clear();
    OLDVALUEOWNER = nullptr;
    MOUSENOTRELEASED = LASTKEY = LASTTIME = QUITLOOP = 0;
}
