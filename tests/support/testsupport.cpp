// Shared test helpers (see testsupport.h).
#include "tests/support/testsupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "media/clock.h"
#include "media/video.h"

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
