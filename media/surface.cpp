// Bitmap loading, blits, clip rectangles and the page flip with frame pacing
// and mouse sampling. Main thread only.
#include "media/surface.h"

#include <cstdio>
#include <string>

#include "media/clock.h"
#include "media/input.h"
#include "media/video.h"

int32_t KELOLDTIMER = 0;
int32_t KELOLDERTIMER = 0;
int32_t KELMEASUREDFRAMEPERIOD = 0;
double KELMEASUREDFRAMERATE = 0;
int32_t KELMOUSEX = 0;
int32_t KELMOUSEY = 0;
int32_t KELMOUSEBUTTONS = 0;
thread_local bool KELPAGEFLIPSHOWS = true;

namespace {
// Ends start-up over a bitmap: one line on standard error, then the library
// shutdown of KELQUIT (which gives a full-screen mode back to the desktop)
// and exit status 1.
[[noreturn]] void BITMAPFAILURE(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "vexil: %s\n", message.c_str());
    KELEXITSTATUS = 1;
    KELQUIT();
}

void TRACE(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

// "data\player1.bmp" names the file player1.bmp in the data folder.
std::string LOCALPATH(const std::string& filename) {
    std::string path = filename;
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}
}  // namespace

SDL_Surface* KELLOADMASKEDGRAPHIC(const std::string& filename) {
    TRACE("About to load file " + filename);
    std::string path = LOCALPATH(filename);
    SDL_Surface* loaded = nullptr;
    SDL_RWops* stream = SDL_RWFromFile(path.c_str(), "rb");
    if (stream != nullptr) loaded = SDL_LoadBMP_RW(stream, 1);
    TRACE("Loaded file");
    if (loaded == nullptr) {
        TRACE(filename + ".bmp failed to load!");
        BITMAPFAILURE("cannot load the bitmap " + path + ": " + SDL_GetError());
    }
    TRACE("about to convert file");
    SDL_Surface* converted = SDL_DisplayFormat(loaded);
    TRACE("Freeing original file");
    SDL_FreeSurface(loaded);
    if (converted == nullptr) BITMAPFAILURE("cannot convert the bitmap " + path + " to the display format");
    TRACE("Setting colour key to hot pink");
    SDL_SetColorKey(converted, SDL_SRCCOLORKEY, SDL_MapRGB(converted->format, 255, 0, 255));
    TRACE("Returning ptr");
    return converted;
}

void KELKILLSURFACE(SDL_Surface*& picture) {
    SDL_FreeSurface(picture);
    picture = nullptr;
}

void KELBLITIMAGE(int32_t x, int32_t y, SDL_Surface* image) {
    if (image == nullptr || KELSCREENSURFACE == nullptr) return;
    SDL_Rect source{0, 0, static_cast<Uint16>(image->w), static_cast<Uint16>(image->h)};
    SDL_Rect dest{static_cast<Sint16>(x), static_cast<Sint16>(y), 0, 0};
    if (dest.x > KELSCREENSURFACE->w || dest.y > KELSCREENSURFACE->h) return;
    SDL_UpperBlit(image, &source, KELSCREENSURFACE, &dest);
}

void KELSETCLIP(int32_t x, int32_t y, int32_t w, int32_t h) {
    if (KELSCREENSURFACE == nullptr) return;
    SDL_Rect clip{static_cast<Sint16>(x), static_cast<Sint16>(y), static_cast<Uint16>(w), static_cast<Uint16>(h)};
    SDL_SetClipRect(KELSCREENSURFACE, &clip);
}

void KELRESETCLIP() {
    if (KELSCREENSURFACE != nullptr) SDL_SetClipRect(KELSCREENSURFACE, nullptr);
}

SDL_Rect KELFILLRECT(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t r, uint8_t g, uint8_t b) {
    SDL_Rect rect{static_cast<Sint16>(x), static_cast<Sint16>(y), static_cast<Uint16>(w), static_cast<Uint16>(h)};
    if (KELSCREENSURFACE == nullptr) return rect;
    SDL_FillRect(KELSCREENSURFACE, &rect, SDL_MapRGB(KELSCREENSURFACE->format, r, g, b));
    return rect;
}

void KELCULLBLITIMAGE(int32_t x1, int32_t x2, int32_t w, int32_t h, int32_t x, int32_t y, SDL_Surface* image) {
    KELSETCLIP(x1, x2, w, h);
    KELBLITIMAGE(x, y, image);
    KELRESETCLIP();
}

void KELQFAKBLITCULLEDIMAGE(int32_t xc, int32_t yc, int32_t w, int32_t h, int32_t x, int32_t y, int32_t number,
                            SDL_Surface* image) {
    if (KELSCREENSURFACE == nullptr) return;
    // The clip rectangle is set and reset even when there is no image, so
    // the call always leaves the whole screen as clip rectangle.
    KELSETCLIP(xc, yc, w, h);
    if (image != nullptr) {
        SDL_Rect source{static_cast<Sint16>(number * 40), 0, 40, static_cast<Uint16>(image->h)};
        SDL_Rect dest{static_cast<Sint16>(xc + x), static_cast<Sint16>(yc + y), 0, 0};
        if (!(dest.x > KELSCREENSURFACE->w || dest.y > KELSCREENSURFACE->h)) {
            SDL_UpperBlit(image, &source, KELSCREENSURFACE, &dest);
        }
    }
    KELRESETCLIP();
}

void KELQFAKBLITIMAGE(int32_t x, int32_t y, int32_t number, SDL_Surface* image) {
    if (image == nullptr) {
        KELDEBUGEVENT("That image doesn't exist!");
        return;
    }
    if (KELSCREENSURFACE == nullptr) return;
    SDL_Rect source{static_cast<Sint16>(number * 40), 0, 40, static_cast<Uint16>(image->h)};
    SDL_Rect dest{static_cast<Sint16>(x), static_cast<Sint16>(y), 0, 0};
    SDL_UpperBlit(image, &source, KELSCREENSURFACE, &dest);
}

void KELGETSCREENDIMENSIONS(int32_t& w, int32_t& h) {
    w = KELSCREENSURFACE ? KELSCREENSURFACE->w : 0;
    h = KELSCREENSURFACE ? KELSCREENSURFACE->h : 0;
}

void KELPAGEFLIP() {
    if (KELSDL_STARTED == 0) return;
    if (KELSCREENSURFACE != nullptr && KELPAGEFLIPSHOWS) SDL_Flip(KELSCREENSURFACE);
    int32_t mx = 0;
    int32_t my = 0;
    int32_t buttons = 0;
    if (KELMOUSESOURCE != nullptr) {
        KELMOUSESOURCE(mx, my, buttons);
    } else {
        KELSAMPLEMOUSE(mx, my, buttons);
    }
    KELMOUSEBUTTONS = buttons;
    KELMOUSEX = mx;
    KELMOUSEY = my;
    // Tick arithmetic is modular (unsigned), so the pacing carries on when
    // the tick count passes 2^31 and wraps at 2^32.
    KELMEASUREDFRAMEPERIOD = static_cast<int32_t>(KELGETTICKS() - static_cast<uint32_t>(KELOLDERTIMER));
    KELMEASUREDFRAMERATE = 1.0 / static_cast<double>(KELMEASUREDFRAMEPERIOD);
    int32_t wait = static_cast<int32_t>(static_cast<uint32_t>(KELOLDTIMER) - KELGETTICKS());
    KELOLDERTIMER = static_cast<int32_t>(KELGETTICKS());
    if (wait > 0) KELDELAY(static_cast<uint32_t>(wait));
    KELOLDTIMER = static_cast<int32_t>(KELGETTICKS() + static_cast<uint32_t>(KELFRAMEPERIOD));
}
