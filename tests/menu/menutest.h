// Shared set-up of the menu tests: one dummy display per test process and a
// clean slate of widget, key, mouse and clock state before every test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "tests/support/testsupport.h"

// Opens the 800 x 600 dummy display once per process, in a scratch folder
// that lives as long as the process.
void MENUTESTVIDEO();

// Sets the mouse globals the way a page flip would have sampled them.
void MOUSE(int32_t x, int32_t y, int32_t buttons);
// Fills the whole screen with one colour, to see what a widget leaves alone.
void PAINTSCREEN(int r, int g, int b);
// Finds the bounding box of dark pixels (every component below 100), the
// anti-aliased ink of black text, inside a rectangle; false when none.
bool FINDINKBOX(int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom);
// Finds the bounding box of pixels of exactly one colour inside a rectangle;
// false when there are none.
bool FINDCOLOURBOX(RGB colour, int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom);

// Readable colours in failure messages.
void PrintTo(const RGB& colour, std::ostream* os);

class MENUTEST : public ::testing::Test {
protected:
    void SetUp() override;
};

constexpr RGB BLACK{0, 0, 0};
constexpr RGB WHITE{255, 255, 255};
constexpr RGB GREY{128, 128, 128};
constexpr RGB BUTTONFACE{212, 206, 201};
constexpr RGB BACKGROUND{212, 208, 200};
constexpr RGB MARKER{10, 200, 30};
