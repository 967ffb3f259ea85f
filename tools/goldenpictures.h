// Golden recordings' pictures: the areas of the game screen they keep and
// the pictures file that goes with each recording (the chosen frames'
// pixels of those areas, zlib-compressed). Written by vexil-make-golden,
// read by the suite's golden test. The calling thread only.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

// The parts of the 800 x 600 game screen that hold no text: the world view
// above the oldest chat line, the map and the health bar. (Text may come
// out a little differently with another FreeType; the test says how the
// areas are compared.)
constexpr SDL_Rect GOLDENAREAS[] = {{2, 30, 652, 385}, {656, 30, 142, 146}, {656, 178, 10, 100}};
// Bytes of one picture: the areas in order, row by row, 3 bytes a pixel.
size_t GOLDENBYTES();

struct GOLDENPICTURE {
    int64_t FRAME = 0;          // frames applied when it was taken (1 is the first)
    std::vector<uint8_t> RGB;   // the areas in order, row by row, 3 bytes a pixel
};

// The areas of the (32-bit) display as they are now.
std::vector<uint8_t> GOLDENGRAB();
// The pictures file: u32 count, then per picture u32 frame and the areas'
// bytes, the whole compressed with zlib. False when unreadable or damaged.
bool GOLDENWRITEPICTURES(const std::string& path, const std::vector<GOLDENPICTURE>& pictures);
bool GOLDENREADPICTURES(const std::string& path, std::vector<GOLDENPICTURE>& pictures);
