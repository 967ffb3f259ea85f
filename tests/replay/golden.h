// Golden recordings: the picture areas compared exactly, and the pictures
// file that goes with each recording (the chosen frames' pixels of those
// areas, zlib-compressed). Used by the golden test and by the program that
// makes the golden files. Test code only; the calling thread only.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <vector>

// The parts of the 800 x 600 game screen that hold no text: the world view
// above the oldest chat line, the map and the health bar. Text is left out:
// FreeType 2.12 (Debian 12) and 2.13 (Debian 13) may place a glyph's pixels
// differently, and the text has tests of its own. The map and the bar are
// rectangle fills, alike everywhere, and compared exactly. The world view
// holds the turned sprites, which classic SDL 1.2 and sdl12-compat turn
// slightly differently (a pixel's shift, colours a few steps apart): there a
// pixel matches when the other picture has one within a pixel of it whose
// channels are each within GOLDENTOLERANCE, both ways. A sprite drawn two or
// more pixels off, missing or extra still shows.
constexpr SDL_Rect GOLDENAREAS[] = {{2, 30, 652, 385}, {656, 30, 142, 146}, {656, 178, 10, 100}};
constexpr int GOLDENTOLERANCE = 32;

struct GOLDENPICTURE {
    int64_t FRAME = 0;          // frames applied when it was taken (1 is the first)
    std::vector<uint8_t> RGB;   // the areas in order, row by row, 3 bytes a pixel
};

// The areas of the (32-bit) display as they are now.
std::vector<uint8_t> GOLDENGRAB();
// How many pixels of A and B do not match, as above (a missing picture
// counts as all).
size_t GOLDENMISMATCHED(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
// The pictures file: u32 count, then per picture u32 frame and the areas'
// bytes, the whole compressed with zlib. False when unreadable or damaged.
bool GOLDENWRITEPICTURES(const std::string& path, const std::vector<GOLDENPICTURE>& pictures);
bool GOLDENREADPICTURES(const std::string& path, std::vector<GOLDENPICTURE>& pictures);
