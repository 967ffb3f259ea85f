// Bevelled push buttons polled once per frame against the mouse state the
// page flip samples. Main thread only.
#pragma once

#include <cstdint>
#include <string>

struct BUTTONTYPE {
    std::string TEXT;
    int32_t X = 0, Y = 0, W = 0, H = 0;
    int32_t OUTERR = 0, OUTERG = 0, OUTERB = 0;
    int32_t INNERR = 0, INNERG = 0, INNERB = 0;
    int32_t TEXTR = 0, TEXTG = 0, TEXTB = 0;
    // 1 while this record shows its shades swapped because it is armed.
    int32_t ARMED = 0;
};

// Press tracking shared by every button.
extern std::string ALMOSTPRESSED;
extern int32_t MOUSENOTRELEASED;
extern std::string MOUSENOTRELEASEDSTRING;

void SETBUTTON(BUTTONTYPE& button, int32_t x, int32_t y, int32_t w, int32_t h, const std::string& text);
void BUTTONRENDER(BUTTONTYPE& button);
// 1 when a click has just completed, 2 while held after arming with the
// pointer off the button, 0 otherwise.
int32_t BUTTONPRESSED(BUTTONTYPE& button);

// Fills a rectangle of the display surface with a colour given as whole
// numbers (only their low bytes count); a rectangle whose width or height
// is not positive fills nothing instead of wrapping to a huge one.
void MENUFILL(int32_t x, int32_t y, int32_t w, int32_t h, int32_t r, int32_t g, int32_t b);
