// Scroll bars (a draggable thumb setting an integer from 0 to a maximum) and
// the integer and string read-outs. Records are owned by the caller and refer
// to the caller's variable. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "menu/button.h"

struct SCROLLBARTYPE {
    int32_t X = 0, Y = 0, W = 0, H = 0;  // the trough; horizontal when W > H
    int32_t OUTERR = 0, OUTERG = 0, OUTERB = 0;
    int32_t INNERR = 0, INNERG = 0, INNERB = 0;
    BUTTONTYPE SCROLLBUTTON;        // the thumb
    int32_t* VALUE = nullptr;       // the owner's variable
    int32_t MAXVALUE = 0;           // value at the right or bottom end
};

struct INTMONITORTYPE {
    int32_t* VALUE = nullptr;
    int32_t MAXLEN = 0;  // widest area cleared so far, pixels
    int32_t X = 0, Y = 0;
};

struct STRMONITORTYPE {
    std::string* VALUE = nullptr;
    int32_t MAXLEN = 0;  // unused by the string read-out
    int32_t X = 0, Y = 0;
};

// Grows by one space at every scroll bar set-up and labels the new thumb,
// so that every thumb has a label of its own.
extern std::string BARSET;

void SETSCROLLBAR(SCROLLBARTYPE& bar, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& value, int32_t maxvalue);
void SCROLLBARRENDER(SCROLLBARTYPE& bar);
// Polls the thumb; while it is dragged off its place the variable jumps to
// the pointer's fraction of the trough. Always moves the thumb to match.
void SCROLLBARPRESSED(SCROLLBARTYPE& bar);

void SETINTMONITOR(INTMONITORTYPE& monitor, int32_t x, int32_t y, int32_t& value);
void SETSTRMONITOR(STRMONITORTYPE& monitor, int32_t x, int32_t y, std::string& value);
void INTMONITORRENDER(INTMONITORTYPE& monitor);
void STRMONITORRENDER(STRMONITORTYPE& monitor);
