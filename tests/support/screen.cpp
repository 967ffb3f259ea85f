// Test support, the screen side (see screen.h).
#include "tests/support/screen.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "main/spine.h"
#include "media/clock.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/video.h"
#include "menu/button.h"
#include "menu/inputbox.h"

namespace fs = std::filesystem;

std::string SOURCEPATH(const std::string& relative) { return std::string(VEXIL_SOURCE_DIR) + "/" + relative; }

SCRATCHDIR::SCRATCHDIR() {
    OLDPATH = fs::current_path().string();
    std::string templ = (fs::temp_directory_path() / "vexil-test-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    PATH = templ;
    fs::create_directory_symlink(SOURCEPATH("data"), fs::path(PATH) / "data");
    fs::current_path(PATH);
}

SCRATCHDIR::~SCRATCHDIR() {
    std::error_code ec;
    fs::current_path(OLDPATH, ec);
    fs::remove_all(PATH, ec);
}

void STARTTESTVIDEO(int width, int height, int depth) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::FILE* f = std::fopen("config.cfg", "w");
    if (f) {
        std::fprintf(f, "xres, %d\nyres, %d\ndepth, %d\n", width, height, depth);
        std::fclose(f);
    }
    KELSDL_INIT();
}

uint32_t FAKENOW = 0;
uint32_t FAKELASTDELAY = 0;
uint32_t FAKEDELAYCOUNT = 0;

namespace {
uint32_t FAKETICKS() { return FAKENOW; }
void FAKEDELAY(uint32_t ms) {
    FAKELASTDELAY = ms;
    ++FAKEDELAYCOUNT;
    FAKENOW += ms;
}
}  // namespace

void USEFAKECLOCK(uint32_t start) {
    FAKENOW = start;
    FAKELASTDELAY = 0;
    FAKEDELAYCOUNT = 0;
    KELTICKSOURCE = FAKETICKS;
    KELDELAYSINK = FAKEDELAY;
}

RGB READSURFACEPIXEL(SDL_Surface* surface, int x, int y) {
    if (surface == nullptr || x < 0 || y < 0 || x >= surface->w || y >= surface->h) return RGB{-1, -1, -1};
    SDL_LockSurface(surface);
    const int bpp = surface->format->BytesPerPixel;
    const Uint8* p = static_cast<const Uint8*>(surface->pixels) + y * surface->pitch + x * bpp;
    Uint32 pixel = 0;
    switch (bpp) {
        case 1: pixel = *p; break;
        case 2: pixel = *reinterpret_cast<const Uint16*>(p); break;
        case 3: pixel = static_cast<Uint32>(p[0]) | (static_cast<Uint32>(p[1]) << 8) | (static_cast<Uint32>(p[2]) << 16); break;
        default: pixel = *reinterpret_cast<const Uint32*>(p); break;
    }
    SDL_UnlockSurface(surface);
    Uint8 r, g, b;
    SDL_GetRGB(pixel, surface->format, &r, &g, &b);
    return RGB{r, g, b};
}

RGB READPIXEL(int x, int y) { return READSURFACEPIXEL(KELSCREENSURFACE, x, y); }

void SAVESCREEN(const std::string& path) {
    if (KELSCREENSURFACE) SDL_SaveBMP(KELSCREENSURFACE, path.c_str());
}

void PUSHKEY(SDLKey key, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

namespace fs = std::filesystem;

void WRITEFILE(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string READFILE(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> SPLITLINES(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

namespace {
int SAVEDSTDOUT = -1;
const char* CAPTUREFILE = "captured-stdout.txt";
}  // namespace

void BEGINCAPTURE() {
    std::fflush(stdout);
    SAVEDSTDOUT = dup(STDOUT_FILENO);
    int fd = open(CAPTUREFILE, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (SAVEDSTDOUT < 0 || fd < 0) throw std::runtime_error("cannot capture standard output");
    dup2(fd, STDOUT_FILENO);
    close(fd);
}

std::string ENDCAPTURE() {
    std::fflush(stdout);
    dup2(SAVEDSTDOUT, STDOUT_FILENO);
    close(SAVEDSTDOUT);
    SAVEDSTDOUT = -1;
    return READFILE(CAPTUREFILE);
}

void RESTARTTESTVIDEO(int width, int height) {
    if (KELFONT != nullptr) {
        TTF_CloseFont(KELFONT);
        KELFONT = nullptr;
    }
    STARTTESTVIDEO(width, height);
}

void MAKEDATAFOLDER(const std::vector<std::string>& leaveOut) {
    fs::remove_all("data");
    fs::create_directory("data");
    for (const auto& entry : fs::directory_iterator(SOURCEPATH("data"))) {
        std::string name = entry.path().filename().string();
        if (std::find(leaveOut.begin(), leaveOut.end(), name) != leaveOut.end()) continue;
        fs::copy_file(entry.path(), fs::path("data") / name);
    }
}

void MENUTESTVIDEO() {
    static SCRATCHDIR dir;
    static bool started = false;
    if (!started) {
        STARTTESTVIDEO(800, 600, 32);
        started = true;
    }
}

void MOUSE(int32_t x, int32_t y, int32_t buttons) {
    KELMOUSEX = x;
    KELMOUSEY = y;
    KELMOUSEBUTTONS = buttons;
}

void PAINTSCREEN(int r, int g, int b) {
    KELRESETCLIP();
    SDL_FillRect(KELSCREENSURFACE, nullptr, SDL_MapRGB(KELSCREENSURFACE->format, static_cast<Uint8>(r),
                                                       static_cast<Uint8>(g), static_cast<Uint8>(b)));
}

namespace {
template <typename MATCH>
bool FINDBOX(MATCH match, int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom) {
    bool found = false;
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            if (!match(READPIXEL(x, y))) continue;
            if (!found) {
                left = right = x;
                top = bottom = y;
                found = true;
            }
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return found;
}
}  // namespace

bool FINDCOLOURBOX(RGB colour, int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom) {
    return FINDBOX([&](const RGB& p) { return p == colour; }, x0, y0, x1, y1, left, top, right, bottom);
}

bool FINDINKBOX(int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom) {
    return FINDBOX([](const RGB& p) { return p.R < 100 && p.G < 100 && p.B < 100; }, x0, y0, x1, y1, left, top,
                   right, bottom);
}

void PrintTo(const RGB& colour, std::ostream* os) {
    *os << "(" << colour.R << ", " << colour.G << ", " << colour.B << ")";
}

void MENUTEST::SetUp() {
    MENUTESTVIDEO();
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
    PAINTSCREEN(MARKER.R, MARKER.G, MARKER.B);
}

void STARTGAMEVIDEO() {
    static bool started = false;
    if (started) return;
    started = true;
    STARTTESTVIDEO(800, 600);
    LOADGRAPHICS();
}

SDL_Surface* SOLIDSURFACE(int w, int h, int r, int g, int b) {
    SDL_Surface* surface = SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, static_cast<Uint8>(r), static_cast<Uint8>(g),
                                              static_cast<Uint8>(b)));
    return surface;
}
