// Sprite tables and their loading: 19 bitmaps, and 64 turned copies of each
// of the nine ship and projectile images. Main thread only, once at start.
#include <SDL.h>
#include <SDL_rotozoom.h>

#include <string>

#include "main/spine.h"
#include "media/surface.h"

SPRITESET PLAYER1SPRITES{};
SPRITESET PLAYER2SPRITES{};
SPRITESET PLAYER3SPRITES{};
SPRITESET PLAYER4SPRITES{};
std::array<std::array<SDL_Surface*, 65>, 17> BULLETSPRITES{};
std::array<SDL_Surface*, 10> STARSPRITES{};

namespace {
// Transparent border around the copy that is turned. rotozoomSurface sizes
// its result from floor(w / 2) and never samples the last row and column,
// so a picture touching its own edge would lose a row or column; the border
// keeps every picture pixel inside. It also turns about the point
// (w / 2, h / 2) of pixel-index space, half a pixel right of and below the
// middle of the picture, which would make a turned ship swing by a pixel
// around its drawing point from heading to heading; one more column on the
// left and row on top puts that point on the picture's middle, and the
// turned picture's middle then lands on pixel (W / 2, H / 2) of the result,
// where the renderer centres it.
constexpr int TURNBORDER = 2;
constexpr int TURNLEAD = TURNBORDER + 1;  // left and top

// A 32-bit RGBA copy in which every magenta pixel is transparent black, so
// that smoothing blends the picture's edge towards black (the view behind it)
// and never towards magenta.
SDL_Surface* TRANSPARENTCOPY(SDL_Surface* source) {
    SDL_Surface* rgba = SDL_CreateRGBSurface(SDL_SWSURFACE, source->w + TURNLEAD + TURNBORDER,
                                             source->h + TURNLEAD + TURNBORDER, 32, 0x000000FF, 0x0000FF00,
                                             0x00FF0000, 0xFF000000);
    if (rgba == nullptr) return nullptr;
    SDL_FillRect(rgba, nullptr, 0);
    SDL_LockSurface(source);
    SDL_LockSurface(rgba);
    const int bpp = source->format->BytesPerPixel;
    for (int y = 0; y < source->h; ++y) {
        const Uint8* row = static_cast<const Uint8*>(source->pixels) + y * source->pitch;
        Uint32* out = reinterpret_cast<Uint32*>(static_cast<Uint8*>(rgba->pixels) + (y + TURNLEAD) * rgba->pitch) +
                      TURNLEAD;
        for (int x = 0; x < source->w; ++x) {
            Uint32 pixel = 0;
            const Uint8* p = row + x * bpp;
            switch (bpp) {
                case 1: pixel = *p; break;
                case 2: pixel = *reinterpret_cast<const Uint16*>(p); break;
                case 3: pixel = static_cast<Uint32>(p[0]) | (static_cast<Uint32>(p[1]) << 8) | (static_cast<Uint32>(p[2]) << 16); break;
                default: pixel = *reinterpret_cast<const Uint32*>(p); break;
            }
            Uint8 r, g, b;
            SDL_GetRGB(pixel, source->format, &r, &g, &b);
            if (r == 255 && g == 0 && b == 255) {
                out[x] = 0;
            } else {
                out[x] = SDL_MapRGBA(rgba->format, r, g, b, 255);
            }
        }
    }
    SDL_UnlockSurface(rgba);
    SDL_UnlockSurface(source);
    return rgba;
}
}  // namespace

namespace {
// Turns a copy made by TRANSPARENTCOPY clockwise by COLUMN * 5.625 degrees.
SDL_Surface* TURNCOPY(SDL_Surface* rgba, int column) {
    if (rgba == nullptr) return nullptr;
    // SDL_gfx turns counter-clockwise for positive angles.
    double angle = 360.0 - (column * 360.0) / 64.0;
    SDL_Surface* turned = rotozoomSurface(rgba, angle, 1.0, 1);
    if (turned == nullptr) return nullptr;
    SDL_Surface* ready = SDL_DisplayFormatAlpha(turned);
    if (ready == nullptr) {
        SDL_SetAlpha(turned, SDL_SRCALPHA, 255);
        return turned;
    }
    SDL_FreeSurface(turned);
    return ready;
}

// Fills columns 1 to 64 of ROW from its column 0; the transparent copy is
// made once and turned 64 times.
void TURNROW(std::array<SDL_Surface*, 65>& row) {
    SDL_Surface* rgba = row[0] != nullptr ? TRANSPARENTCOPY(row[0]) : nullptr;
    for (size_t a = 1; a <= 64; ++a) row[a] = TURNCOPY(rgba, static_cast<int>(a));
    SDL_FreeSurface(rgba);
}
}  // namespace

SDL_Surface* MAKETURNEDSPRITE(SDL_Surface* source, int column) {
    if (source == nullptr) return nullptr;
    SDL_Surface* rgba = TRANSPARENTCOPY(source);
    SDL_Surface* turned = TURNCOPY(rgba, column);
    SDL_FreeSurface(rgba);
    return turned;
}

void LOADGRAPHICS() {
    DEBUGMESSAGE("Loading Star Sprites");
    for (int n = 0; n <= 9; ++n) {
        DEBUGMESSAGE(std::to_string(n).c_str());
        STARSPRITES[static_cast<size_t>(n)] = KELLOADMASKEDGRAPHIC("data\\star" + std::to_string(n) + ".bmp");
    }
    DEBUGMESSAGE("Loading Player Sprites");
    PLAYER1SPRITES[0][0] = KELLOADMASKEDGRAPHIC("data\\player1l.bmp");
    PLAYER1SPRITES[1][0] = KELLOADMASKEDGRAPHIC("data\\player1.bmp");
    PLAYER1SPRITES[2][0] = KELLOADMASKEDGRAPHIC("data\\player1r.bmp");
    PLAYER2SPRITES[0][0] = KELLOADMASKEDGRAPHIC("data\\player2.bmp");
    PLAYER3SPRITES[0][0] = KELLOADMASKEDGRAPHIC("data\\player3.bmp");
    PLAYER4SPRITES[0][0] = KELLOADMASKEDGRAPHIC("data\\player4.bmp");
    BULLETSPRITES[0][0] = KELLOADMASKEDGRAPHIC("data\\bullet1.bmp");
    BULLETSPRITES[1][0] = KELLOADMASKEDGRAPHIC("data\\bullet2.bmp");
    BULLETSPRITES[2][0] = KELLOADMASKEDGRAPHIC("data\\bullet3.bmp");
    DEBUGMESSAGE("Rotozooming player sprites");
    for (size_t r = 0; r < 3; ++r) TURNROW(PLAYER1SPRITES[r]);
    TURNROW(PLAYER2SPRITES[0]);
    TURNROW(PLAYER3SPRITES[0]);
    TURNROW(PLAYER4SPRITES[0]);
    for (size_t r = 0; r < 3; ++r) TURNROW(BULLETSPRITES[r]);
}
