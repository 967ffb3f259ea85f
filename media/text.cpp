// Text rendered with the program's one font straight onto the display
// surface; nothing is cached. Main thread only.
#include "media/text.h"

#include "media/surface.h"
#include "media/video.h"

SDL_Surface* SURFACE = nullptr;

void KELDRAWTEXT(SDL_Surface* /*video*/, int32_t x, int32_t y, SDL_Color clr, const std::string& text, TTF_Font* font) {
    if (font == nullptr || text.empty()) return;
    SURFACE = TTF_RenderText_Blended(font, text.c_str(), clr);
    if (SURFACE == nullptr) return;
    KELBLITIMAGE(x, y, SURFACE);
    SDL_FreeSurface(SURFACE);
    SURFACE = nullptr;
}

void KELPRINT(int32_t x, int32_t y, SDL_Color clr, const std::string& text) {
    KELDRAWTEXT(KELSCREENSURFACE, x, y, clr, text, KELFONT);
}

void KELTEXTSIZE(const std::string& text, int32_t& w, int32_t& h) {
    w = 0;
    h = 0;
    if (KELFONT == nullptr || text.empty()) return;
    int tw = 0;
    int th = 0;
    if (TTF_SizeText(KELFONT, text.c_str(), &tw, &th) == 0) {
        w = tw;
        h = th;
    }
}
