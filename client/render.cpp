// Drawing of the game screen and the read-out number format.
// Main thread only: it reads the client's tables and the sprite tables and
// writes the camera, the wrapped headings of slots 0 to 3 and CURRENTGRAPHIC.
#include "client/render.h"

#include <cmath>
#include <cstdio>

#include "client/network.h"
#include "main/spine.h"
#include "media/surface.h"
#include "media/text.h"
#include "media/video.h"
#include "shared/physics.h"
#include "shared/world.h"

namespace {
constexpr int32_t VIEWTOP = 30;
constexpr int32_t PANELWIDTH = 148;

// A sprite entry, or null when the indices lie outside the table (only a
// faulty packet can bring such indices for the slots the network fills).
template <size_t ROWS>
SDL_Surface* SPRITEAT(const std::array<std::array<SDL_Surface*, 65>, ROWS>& table, int64_t row, int64_t column) {
    if (row < 0 || row >= static_cast<int64_t>(ROWS) || column < 0 || column > 64) return nullptr;
    return table[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

// Top-left corner of an image centred on the screen point (x, y).
void BLITCENTRED(double x, double y, SDL_Surface* image) {
    if (image == nullptr) return;
    KELBLITIMAGE(ROUNDEVEN(x - image->w / 2.0), ROUNDEVEN(y - image->h / 2.0), image);
}

void PRINTBLACK(int32_t x, int32_t y, const std::string& text) { KELPRINT(x, y, KELCOLOUR(0, 0, 0), text); }

// Score line of one slot: "% " after the health for slots 0 and 1, "%" for
// the others.
std::string SCORELINE(int slot) {
    const SHIPTYPE& ship = CLIENTPLAYERS[static_cast<size_t>(slot)];
    const char* percent = slot <= 1 ? "% " : "%";
    return ship.PLAYERNAME + ":" + FORMATINTEGER(ship.HEALTH) + percent + FORMATINTEGER(ship.KILLS) + " kills";
}

int CHATCODE(const std::string& line, size_t i) {
    return i < line.size() ? static_cast<unsigned char>(line[i]) : 0;
}
}  // namespace

std::string FORMATINTEGER(int64_t value) { return std::to_string(value); }

std::string FORMATREAL(double value) {
    if (std::isnan(value)) return "not a number";
    if (std::isinf(value)) return value > 0 ? "infinite" : "-infinite";
    if (value == 0) value = 0;  // no "-0"
    char text[40];
    std::snprintf(text, sizeof text, "%.16g", value);
    return text;
}

std::string FRAMERATETEXT(double measuredFrameRate) {
    double perSecond = 1000.0 * measuredFrameRate;
    // A frame measured at 0 ms has no finite rate: it was faster than the
    // clock can tell.
    if (!std::isfinite(perSecond)) return "Frame rate is:over 1000";
    return "Frame rate is:" + FORMATREAL(perSecond);
}

std::string ENFORCEDRATETEXT(int32_t framePeriod) {
    // A period of 0 or less never waits (P and O move it without bounds).
    if (framePeriod <= 0) return "Enforced rate is:unlimited";
    return "Enforced rate is:" + FORMATREAL(1.0 / (framePeriod / 1000.0));
}

std::string RECEPTIONTIMETEXT(double roundTripTime1, double roundTripTime2) {
    return "Reception time is :" + FORMATREAL(roundTripTime2 - roundTripTime1) + "ms";
}

void CLIENTDRAWSTATE() {
    if (KELSCREENSURFACE == nullptr) return;
    CLIENTDRAWSTATEFOR(KELSCREENSURFACE->w, KELSCREENSURFACE->h);
}

void CLIENTDRAWSTATEFOR(int32_t W, int32_t H) {
    int32_t own = CLIENTCURRENTPLAYERSHIP;
    if (own < 0 || own >= MAXPLAYERS) own = 0;
    const SHIPTYPE& local = CLIENTPLAYERS[static_cast<size_t>(own)];

    // Camera: the own ship's centre at the centre of the world view.
    CLIENTPVPVARX = ROUNDEVEN((local.X - 2) - (W - PANELWIDTH) / 2.0);
    CLIENTPVPVARY = ROUNDEVEN((local.Y - VIEWTOP) - (H - 50) / 2.0);
    // Stars and projectiles do not depend on the headings, so wrapping them
    // before anything is drawn shows the same picture.
    for (size_t slot = 0; slot <= 3; ++slot) {
        SHIPTYPE& ship = CLIENTPLAYERS[slot];
        SHIPWRAPHEADING(ship.SUBDIRECTION);
        ship.DIRECTION = SHIPWHOLEHEADING(ship.SUBDIRECTION);
    }
    for (SHIPTYPE& ship : CLIENTPLAYERS) ship.CURRENTGRAPHIC = SPRITEAT(PLAYER2SPRITES, ship.FRAME, ship.DIRECTION);
}

void CLIENTDRAWEVERYTHING() {
    CLIENTDRAWSTATE();
    CLIENTDRAWPICTURE();
}

void CLIENTDRAWPICTURE() {
    if (KELSCREENSURFACE == nullptr) return;
    const int32_t W = KELSCREENSURFACE->w;
    const int32_t H = KELSCREENSURFACE->h;
    int32_t own = CLIENTCURRENTPLAYERSHIP;
    if (own < 0 || own >= MAXPLAYERS) own = 0;
    const SHIPTYPE& local = CLIENTPLAYERS[static_cast<size_t>(own)];
    const double CAMX = CLIENTPVPVARX;
    const double CAMY = CLIENTPVPVARY;

    KELRESETCLIP();
    KELFILLRECT(0, 0, W, H, 221, 221, 221);

    // World view.
    KELSETCLIP(2, VIEWTOP, W - PANELWIDTH, H - 50);
    KELFILLRECT(2, VIEWTOP, W - PANELWIDTH, H - 50, 0, 0, 0);

    for (const STARTYPE& star : CLIENTSTARFIELD) {
        if (star.SPRITE <= 0 || star.SPRITE > 9) continue;
        KELBLITIMAGE(ROUNDEVEN(star.X - CAMX), ROUNDEVEN(star.Y - CAMY), STARSPRITES[static_cast<size_t>(star.SPRITE)]);
    }

    for (const BULLETTYPE& bullet : CLIENTBULLETS) {
        if (bullet.SPRITE == 0) continue;
        SDL_Surface* image = SPRITEAT(BULLETSPRITES, static_cast<int64_t>(bullet.SPRITE) + 1, bullet.DIRECTION);
        if (image == nullptr) continue;
        int32_t x = ROUNDEVEN(bullet.X - CAMX - image->w / 2.0);
        int32_t y = ROUNDEVEN(ROUNDEVEN(bullet.Y - CAMY) - image->h / 2.0);
        KELBLITIMAGE(x, y, image);
    }

    // Slots 1 to 3 show their own set beneath the common image.
    const SPRITESET* const OWNSETS[3] = {&PLAYER2SPRITES, &PLAYER3SPRITES, &PLAYER4SPRITES};
    for (size_t slot = 1; slot <= 3; ++slot) {
        const SHIPTYPE& ship = CLIENTPLAYERS[slot];
        if (ship.CONNECTED == 0) continue;
        BLITCENTRED(ship.X - CAMX, ship.Y - CAMY, SPRITEAT(*OWNSETS[slot - 1], ship.FRAME, ship.DIRECTION));
    }
    for (const SHIPTYPE& ship : CLIENTPLAYERS) {
        if (ship.CONNECTED != 0) BLITCENTRED(ship.X - CAMX, ship.Y - CAMY, ship.CURRENTGRAPHIC);
    }

    // Side panel: the map square, cut by the panel's right edge; the area
    // actually filled sets the map's scale.
    KELSETCLIP(W - PANELWIDTH, VIEWTOP, 146, H - 50);
    SDL_Rect map = KELFILLRECT(W - 144, VIEWTOP, 144, 146, 0, 0, 0);
    const int32_t STARTX = map.x;
    const int32_t STARTY = map.y;
    const int32_t WIDTHX = map.w;
    const int32_t WIDTHY = map.h;
    auto MAPX = [&](double x) { return ROUNDEVEN(STARTX + (x + 5000) * WIDTHX / 10000.0); };
    auto MAPY = [&](double y) { return ROUNDEVEN(STARTY + (y + 5000) * WIDTHY / 10000.0); };

    for (int slot = 0; slot < MAXPLAYERS; ++slot) {
        const SHIPTYPE& ship = CLIENTPLAYERS[static_cast<size_t>(slot)];
        if (ship.CONNECTED != 0) KELFILLRECT(MAPX(ship.X), MAPY(ship.Y), 1, 1, 255, 0, 0);
        if (slot == own) KELFILLRECT(MAPX(ship.X), MAPY(ship.Y), 1, 1, 255, 255, 255);
    }
    for (const BULLETTYPE& bullet : CLIENTBULLETS) {
        if (bullet.SPRITE != 0) KELFILLRECT(MAPX(bullet.X), MAPY(bullet.Y), 1, 1, 128, 64, 64);
    }

    // Health bar: a black frame, red rising from its bottom.
    const int32_t BARTOP = STARTY + WIDTHY + 2;
    KELFILLRECT(STARTX, BARTOP, 10, 100, 0, 0, 0);
    if (local.MAXHEALTH != 0) {
        double p = 100.0 * local.HEALTH / local.MAXHEALTH;
        // Negative health draws no red; above whole health the bar rises past
        // its frame, limited so the rectangle stays representable.
        if (p > 0) {
            if (p > 1000) p = 1000;
            KELFILLRECT(STARTX, ROUNDEVEN(BARTOP + 100 - p), 10, ROUNDEVEN(p), 255, 0, 0);
        }
    }

    const int32_t TEXTX = STARTX + 15;
    for (int slot = 0; slot <= 4; ++slot) PRINTBLACK(TEXTX, BARTOP + 15 * slot, SCORELINE(slot));
    PRINTBLACK(TEXTX, BARTOP + 75, FRAMERATETEXT(KELMEASUREDFRAMERATE));
    PRINTBLACK(TEXTX, BARTOP + 90, ENFORCEDRATETEXT(KELFRAMEPERIOD));
    PRINTBLACK(TEXTX, BARTOP + 105, RECEPTIONTIMETEXT(CLIENTROUNDTRIPTIME1, CLIENTROUNDTRIPTIME2));

    // Chat lines, newest lowest, darker with age.
    KELRESETCLIP();
    for (int k = 0; k < CHATLINES; ++k) {
        const std::string& line = CLIENTCHATBUFFER[static_cast<size_t>(k)];
        // One exact product and one division, so halves round to even.
        auto FADE = [&](size_t i) { return ROUNDEVEN(CHATCODE(line, i) * (12 - k) / 12.0); };
        SDL_Color colour = KELCOLOUR(FADE(0), FADE(1), FADE(2));
        std::string text = line.size() > 3 ? line.substr(3) : std::string();
        if (text.empty()) text = " ";
        KELPRINT(10, H - 40 - 12 * k, colour, text);
    }
}
