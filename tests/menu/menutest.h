#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "tests/support/testsupport.h"

void MENUTESTVIDEO();

void MOUSE(int32_t x, int32_t y, int32_t buttons);
void PAINTSCREEN(int r, int g, int b);
bool FINDCOLOURBOX(RGB colour, int x0, int y0, int x1, int y1, int& left, int& top, int& right, int& bottom);

void PrintTo(const RGB& colour, std::ostream* os);

class MENUTEST : public ::testing::Test {
protected:
    void SetUp() override;
};

constexpr RGB BLACK{0, 0, 0};
constexpr RGB WHITE{255, 255, 255};
constexpr RGB GREY{128, 128, 128};
constexpr RGB BUTTONFACE{212, 206, 201};
constexpr RGB MARKER{10, 200, 30};
