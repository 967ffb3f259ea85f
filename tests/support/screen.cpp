// Test support, the screen side (see screen.h).
#include "tests/support/screen.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "main/spine.h"
#include "media/clock.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/text.h"
#include "media/video.h"
#include "menu/button.h"
#include "menu/inputbox.h"

namespace fs = std::filesystem;

namespace {
const std::string DATA = std::string(VEXIL_SOURCE_DIR) + "/data";
}  // namespace

SCRATCHDIR::SCRATCHDIR() : OLDPATH(fs::current_path().string()) {
    PATH = (fs::temp_directory_path() / "vexil-test-XXXXXX").string();
    if (mkdtemp(PATH.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    fs::create_directory_symlink(DATA, fs::path(PATH) / "data");
    fs::current_path(PATH);
}

SCRATCHDIR::~SCRATCHDIR() {
    std::error_code ec;
    fs::current_path(OLDPATH, ec);
    fs::remove_all(PATH, ec);
}

void STARTTESTVIDEO(int width, int height) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    WRITEFILE("config.cfg", "xres, " + std::to_string(width) + "\nyres, " + std::to_string(height) + "\ndepth, 32\n");
    if (KELFONT != nullptr) TTF_CloseFont(KELFONT);
    KELFONT = nullptr;
    KELSDL_INIT();
}

void STARTGAMEVIDEO() {
    static SCRATCHDIR dir;
    static bool started = (STARTTESTVIDEO(800, 600), LOADGRAPHICS(), true);
    (void)started;
}

void MAKEDATAFOLDER(const std::vector<std::string>& leaveOut) {
    fs::remove_all("data");
    fs::create_directory("data");
    for (const auto& entry : fs::directory_iterator(DATA)) {
        const std::string name = entry.path().filename().string();
        if (std::find(leaveOut.begin(), leaveOut.end(), name) == leaveOut.end())
            fs::copy_file(entry.path(), fs::path("data") / name);
    }
}

uint32_t FAKENOW = 0, FAKELASTDELAY = 0, FAKEDELAYCOUNT = 0;

void USEFAKECLOCK(uint32_t start) {
    FAKENOW = start;
    FAKELASTDELAY = FAKEDELAYCOUNT = 0;
    KELTICKSOURCE = [] { return FAKENOW; };
    KELDELAYSINK = [](uint32_t ms) { FAKELASTDELAY = ms, ++FAKEDELAYCOUNT, FAKENOW += ms; };
}

RGB READPIXEL(int x, int y) {
    SDL_Surface* s = KELSCREENSURFACE;
    if (s == nullptr || x < 0 || y < 0 || x >= s->w || y >= s->h) return RGB{-1, -1, -1};
    SDL_LockSurface(s);
    const Uint32 pixel = static_cast<const Uint32*>(s->pixels)[y * s->pitch / 4 + x];
    SDL_UnlockSurface(s);
    Uint8 r, g, b;
    SDL_GetRGB(pixel, s->format, &r, &g, &b);
    return RGB{r, g, b};
}

SDL_Surface* SOLIDSURFACE(int w, int h, int r, int g, int b) {
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, static_cast<Uint8>(r), static_cast<Uint8>(g), static_cast<Uint8>(b)));
    return s;
}

bool PRINTSAS(SDL_Rect clip, int x, int y, RGB paper, RGB ink, const std::string& text) {
    auto region = [&] {
        std::vector<RGB> pixels;
        for (int j = y; j < y + 15; ++j)
            for (int i = x; i < x + 120; ++i) pixels.push_back(READPIXEL(i, j));
        return pixels;
    };
    const std::vector<RGB> shown = region();
    KELSETCLIP(clip.x, clip.y, clip.w, clip.h);
    KELFILLRECT(x, y, 800, 15, paper.R, paper.G, paper.B);
    KELPRINT(x, y, KELCOLOUR(ink.R, ink.G, ink.B), text);
    KELRESETCLIP();
    return shown == region();
}

void PUSHKEY(SDLKey key, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

void MOUSE(int32_t x, int32_t y, int32_t buttons) {
    KELMOUSEX = x;
    KELMOUSEY = y;
    KELMOUSEBUTTONS = buttons;
}

void WRITEFILE(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!(out << text)) throw std::runtime_error("cannot write " + path);
}

std::string READFILE(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void MENUTEST::SetUp() {
    STARTGAMEVIDEO();
    USEFAKECLOCK(1000);
    KELMULTIKEY(0);  // drain whatever an earlier test left queued
    KELRESETKEYS();
    MOUSE(0, 0, 0);
    ALMOSTPRESSED.clear();
    MOUSENOTRELEASED = 0;
    MOUSENOTRELEASEDSTRING.clear();
    OLDVALUE.clear();
    OLDVALUEOWNER = nullptr;
    LASTKEY = 0;
    LASTTIME = 0;
    QUITLOOP = 0;
}
