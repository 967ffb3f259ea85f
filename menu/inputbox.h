// One-line text input boxes and key entry with its own repeat timing.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

struct INPUTBOXTYPE {
    int32_t X = 0, Y = 0, W = 0, H = 0;
    std::string* VALUE = nullptr;  // the owner's string, edited in place
    int32_t ACTIVE = 0;
};

extern std::string OLDVALUE;
// The box whose activation saved OLDVALUE. Ending some other box by a click
// outside it leaves OLDVALUE alone, so Escape still restores the text of the
// box being edited.
extern const INPUTBOXTYPE* OLDVALUEOWNER;
extern int32_t LASTKEY;
extern int32_t LASTTIME;

void SETINPUTBOX(INPUTBOXTYPE& box, int32_t x, int32_t y, int32_t w, int32_t h, std::string& text);
void INPUTBOXRENDER(INPUTBOXTYPE& box);
// 1 when the entry has just ended by Enter or by a click outside, else 0.
int32_t INPUTBOXPRESSED(INPUTBOXTYPE& box);
int32_t GETSINGLEKEY();
std::string GGETKEY();
