// Drawing of the game screen: the view centred on the own ship, the arena
// map, the health bar, the read-outs and the fading chat lines, plus the
// number format the read-outs use. Main thread only.
#pragma once

#include <cstdint>
#include <string>

// Draws the whole frame except the chat row into KELSCREENSURFACE and leaves
// the clip rectangle at the whole screen. Also writes the camera
// (CLIENTPVPVARX/Y), the wrapped headings of slots 0 to 3 and every ship's
// CURRENTGRAPHIC.
void CLIENTDRAWEVERYTHING();
// The two halves of it: the state it writes (camera, headings,
// CURRENTGRAPHIC), which a replay's fast re-apply keeps, and the drawing
// from that state, which it skips.
void CLIENTDRAWSTATE();
// The same for a W x H screen that is not there (a replay without a window
// of a game that had one).
void CLIENTDRAWSTATEFOR(int32_t W, int32_t H);
void CLIENTDRAWPICTURE();

// An integer in plain decimal.
std::string FORMATINTEGER(int64_t value);
// A real with at most 16 significant digits, without exponent where it fits
// and without a trailing decimal point (62.5 -> "62.5", 60 -> "60").
std::string FORMATREAL(double value);

// The texts of read-out lines 6, 7 and 8.
std::string FRAMERATETEXT(double measuredFrameRate);
std::string ENFORCEDRATETEXT(int32_t framePeriod);
std::string RECEPTIONTIMETEXT(double roundTripTime1, double roundTripTime2);
