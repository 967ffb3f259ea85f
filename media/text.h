// Text drawing with the program's one TrueType font. Threads: main only.
#pragma once

#include <cstdint>
#include <string>

#include <SDL.h>
#include <SDL_ttf.h>

extern SDL_Surface* SURFACE;

void KELDRAWTEXT(SDL_Surface* video, int32_t x, int32_t y, SDL_Color clr, const std::string& text, TTF_Font* font);
void KELPRINT(int32_t x, int32_t y, SDL_Color clr, const std::string& text);
// Width and height the text measures in KELFONT (0, 0 for an empty text).
void KELTEXTSIZE(const std::string& text, int32_t& w, int32_t& h);
inline SDL_Color KELCOLOUR(int r, int g, int b) {
    SDL_Color c;
    c.r = static_cast<Uint8>(r);
    c.g = static_cast<Uint8>(g);
    c.b = static_cast<Uint8>(b);
    c.unused = 0;
    return c;
}
