// Bitmaps, blits and the page flip with frame pacing and mouse sampling.
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>

#include <SDL.h>

extern int32_t KELOLDTIMER;
extern int32_t KELOLDERTIMER;
extern int32_t KELMEASUREDFRAMEPERIOD;
extern double KELMEASUREDFRAMERATE;
extern int32_t KELMOUSEX;
extern int32_t KELMOUSEY;
extern int32_t KELMOUSEBUTTONS;

// Loads a BMP as a colour-keyed (magenta) sprite in display format, with the
// loading trace on standard output. A backslash in the name stands for the
// folder separator. A file that cannot be loaded ends the process (status 1).
SDL_Surface* KELLOADMASKEDGRAPHIC(const std::string& filename);
void KELKILLSURFACE(SDL_Surface*& picture);
void KELBLITIMAGE(int32_t x, int32_t y, SDL_Surface* image);
void KELCULLBLITIMAGE(int32_t x1, int32_t x2, int32_t w, int32_t h, int32_t x, int32_t y, SDL_Surface* image);
void KELQFAKBLITCULLEDIMAGE(int32_t xc, int32_t yc, int32_t w, int32_t h, int32_t x, int32_t y, int32_t number,
                            SDL_Surface* image);
void KELQFAKBLITIMAGE(int32_t x, int32_t y, int32_t number, SDL_Surface* image);
void KELGETSCREENDIMENSIONS(int32_t& w, int32_t& h);
// Shows the frame (unless KELPAGEFLIPSHOWS is false: a replay's fast
// re-apply keeps the bookkeeping and skips the display), samples the mouse
// and waits out the frame period.
void KELPAGEFLIP();
extern thread_local bool KELPAGEFLIPSHOWS;

// Clip rectangle helpers used by the game screen.
void KELSETCLIP(int32_t x, int32_t y, int32_t w, int32_t h);
void KELRESETCLIP();
// Fills a rectangle of KELSCREENSURFACE (through the clip rectangle) and
// returns the area actually filled.
SDL_Rect KELFILLRECT(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t r, uint8_t g, uint8_t b);
