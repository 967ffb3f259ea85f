// Golden recordings' pictures (see golden.h).
#include "tools/goldenpictures.h"

#include <zlib.h>

#include <fstream>
#include <iterator>

#include "media/video.h"

size_t GOLDENBYTES() {
    size_t bytes = 0;
    for (const SDL_Rect& r : GOLDENAREAS) bytes += size_t{r.w} * r.h * 3;
    return bytes;
}

namespace {
void PUT32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t GET32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
}  // namespace

std::vector<uint8_t> GOLDENGRAB() {
    std::vector<uint8_t> out;
    const SDL_Surface* s = KELSCREENSURFACE;
    if (s == nullptr || s->format->BytesPerPixel != 4) return out;
    for (const SDL_Rect& r : GOLDENAREAS) {
        for (int y = r.y; y < r.y + r.h; ++y) {
            for (int x = r.x; x < r.x + r.w; ++x) {
                Uint8 c[3];
                SDL_GetRGB(static_cast<const Uint32*>(s->pixels)[y * s->pitch / 4 + x], s->format, &c[0], &c[1], &c[2]);
                out.insert(out.end(), c, c + 3);
            }
        }
    }
    return out;
}

bool GOLDENWRITEPICTURES(const std::string& path, const std::vector<GOLDENPICTURE>& pictures) {
    std::vector<uint8_t> raw;
    PUT32(raw, static_cast<uint32_t>(pictures.size()));
    for (const GOLDENPICTURE& p : pictures) {
        if (p.RGB.size() != GOLDENBYTES()) return false;
        PUT32(raw, static_cast<uint32_t>(p.FRAME));
        raw.insert(raw.end(), p.RGB.begin(), p.RGB.end());
    }
    uLongf size = compressBound(raw.size());
    std::vector<uint8_t> packed(size);
    if (compress2(packed.data(), &size, raw.data(), raw.size(), 9) != Z_OK) return false;
    std::ofstream out(path, std::ios::binary);
    return static_cast<bool>(out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(size)));
}

bool GOLDENREADPICTURES(const std::string& path, std::vector<GOLDENPICTURE>& pictures) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> packed((std::istreambuf_iterator<char>(in)), {});
    const size_t each = 4 + GOLDENBYTES();
    std::vector<uint8_t> raw(4 + 16 * each);
    uLongf size = raw.size();
    if (packed.empty() || uncompress(raw.data(), &size, packed.data(), packed.size()) != Z_OK || size < 4) return false;
    const uint32_t count = GET32(raw.data());
    if (size != 4 + count * each) return false;
    pictures.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = raw.data() + 4 + i * each;
        pictures.push_back({GET32(p), std::vector<uint8_t>(p + 4, p + each)});
    }
    return true;
}
