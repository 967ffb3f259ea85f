// The game's sprite generator: draws the four ships (player 1 in three bank
// variants), the three projectiles and the ten stars, and writes them as
// 24-bit BMP files with magenta (255, 0, 255) wherever they are transparent;
// with --icon SIZE FILE.png it writes the desktop icon instead, the level
// player 1 ship on a transparent square (the build makes it, see dist/).
// Single-threaded command-line tool; it shares nothing with the game.
//
// To change a picture: edit its DRAW... function below (shapes are given in
// pixels of the picture, nose at the top, x measured from the centre line),
// then rebuild and regenerate from the top of the repository:
//     ninja -C build vexil-spritegen && build/tools/vexil-spritegen data
// look at the results, and commit the changed data/*.bmp together with this
// file. The output is deterministic: the same source gives the same bytes.
// Keep every picture's width and height odd, with the centre line at w / 2:
// the game draws the unturned picture centred on pixel (w / 2, h / 2) in
// integers and the turned ones about their exact middle, so an even size
// puts the level ship half a pixel off from its turned copies.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

// ------------------------------------------------------------ colours

struct COL {
    double r = 0, g = 0, b = 0;
};
COL operator*(COL c, double k) { return {c.r * k, c.g * k, c.b * k}; }
COL operator+(COL a, COL b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
COL MIX(COL a, COL b, double t) { return a * (1.0 - t) + b * t; }
double CLAMP01(double v) { return std::clamp(v, 0.0, 1.0); }
double SMOOTH(double e0, double e1, double v) {
    double t = CLAMP01((v - e0) / (e1 - e0));
    return t * t * (3.0 - 2.0 * t);
}

// ------------------------------------------------------------ shapes

struct PT {
    double x, y;
};

// A filled region: a polygon or an ellipse, in picture pixels.
struct SHAPE {
    bool ELLIPSE = false;
    std::vector<PT> PTS;
    double CX = 0, CY = 0, RX = 0, RY = 0;
};

SHAPE POLY(std::vector<PT> pts) {
    SHAPE s;
    s.PTS = std::move(pts);
    return s;
}

SHAPE OVAL(double cx, double cy, double rx, double ry) {
    SHAPE s;
    s.ELLIPSE = true;
    s.CX = cx;
    s.CY = cy;
    s.RX = rx;
    s.RY = ry;
    return s;
}

// A polygon given by its right half (x >= 0 from the centre line CX, listed
// from top to bottom), mirrored to the left. SL and SR stretch the left and
// right halves (a banking ship shows one wing foreshortened).
SHAPE MIRRORED(double cx, const std::vector<PT>& half, double sl = 1.0, double sr = 1.0) {
    std::vector<PT> pts;
    for (const PT& p : half) pts.push_back({cx + p.x * sr, p.y});
    for (auto it = half.rbegin(); it != half.rend(); ++it) {
        if (it->x != 0.0) pts.push_back({cx - it->x * sl, it->y});
    }
    return POLY(pts);
}

// What a paint style gets to know about one sample inside a shape.
struct SAMPLE {
    double x, y;    // position in picture pixels
    double d;       // distance to the shape's edge (pixels, inside)
    double nx, ny;  // outward normal of the nearest edge
    double rho;     // ellipses: 0 at the centre, 1 at the edge
};

double SEGDIST(PT p, PT a, PT b, PT& normal) {
    double vx = b.x - a.x, vy = b.y - a.y;
    double len2 = vx * vx + vy * vy;
    double t = len2 > 0 ? CLAMP01(((p.x - a.x) * vx + (p.y - a.y) * vy) / len2) : 0.0;
    double qx = a.x + t * vx - p.x, qy = a.y + t * vy - p.y;
    double d = std::sqrt(qx * qx + qy * qy);
    if (d > 1e-9) {
        normal = {qx / d, qy / d};
    } else {
        normal = {0, -1};
    }
    return d;
}

// True when P is inside; fills the sample's edge distance and normal.
bool INSIDE(const SHAPE& s, double x, double y, SAMPLE& out) {
    out.x = x;
    out.y = y;
    if (s.ELLIPSE) {
        double ux = (x - s.CX) / s.RX, uy = (y - s.CY) / s.RY;
        double rho = std::sqrt(ux * ux + uy * uy);
        if (rho > 1.0) return false;
        out.rho = rho;
        out.d = (1.0 - rho) * std::min(s.RX, s.RY);
        double gx = (x - s.CX) / (s.RX * s.RX), gy = (y - s.CY) / (s.RY * s.RY);
        double gl = std::sqrt(gx * gx + gy * gy);
        if (gl > 1e-9) {
            out.nx = gx / gl;
            out.ny = gy / gl;
        } else {
            out.nx = 0;
            out.ny = -1;
        }
        return true;
    }
    bool in = false;
    const size_t n = s.PTS.size();
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        const PT& a = s.PTS[i];
        const PT& b = s.PTS[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    if (!in) return false;
    out.d = 1e9;
    out.rho = 0;
    for (size_t i = 0, j = n - 1; i < n; j = i++) {
        PT normal{};
        double d = SEGDIST({x, y}, s.PTS[j], s.PTS[i], normal);
        if (d < out.d) {
            out.d = d;
            // The nearest edge point lies outside-ward of the sample.
            out.nx = normal.x;
            out.ny = normal.y;
        }
    }
    return true;
}

using STYLE = std::function<COL(const SAMPLE&)>;

// ------------------------------------------------------------ canvas

constexpr int SS = 4;  // samples per pixel along each axis

struct CANVAS {
    int W, H;
    std::vector<COL> C;      // colour per sample
    std::vector<uint8_t> IN;  // 1 where something was painted
    std::vector<uint8_t> GLOW;  // 1 where light, not hull, was painted (no outline)
    CANVAS(int w, int h)
        : W(w), H(h), C(size_t(w * SS) * size_t(h * SS)), IN(C.size(), 0), GLOW(C.size(), 0) {}
};

// Paints SHAPE with STYLE over what is there. GLOW paints light: no outline.
void PAINT(CANVAS& cv, const SHAPE& shape, const STYLE& style, bool glow = false) {
    const int sw = cv.W * SS, sh = cv.H * SS;
    for (int sy = 0; sy < sh; ++sy) {
        for (int sx = 0; sx < sw; ++sx) {
            double x = (sx + 0.5) / SS, y = (sy + 0.5) / SS;
            SAMPLE s{};
            if (!INSIDE(shape, x, y, s)) continue;
            size_t i = size_t(sy) * size_t(sw) + size_t(sx);
            cv.C[i] = style(s);
            cv.IN[i] = 1;
            cv.GLOW[i] = glow ? 1 : 0;
        }
    }
}

// Light over the glowing parts: added to what is there, painted or not.
void ADDLIGHT(CANVAS& cv, const SHAPE& shape, const STYLE& style) {
    const int sw = cv.W * SS, sh = cv.H * SS;
    for (int sy = 0; sy < sh; ++sy) {
        for (int sx = 0; sx < sw; ++sx) {
            double x = (sx + 0.5) / SS, y = (sy + 0.5) / SS;
            SAMPLE s{};
            if (!INSIDE(shape, x, y, s)) continue;
            size_t i = size_t(sy) * size_t(sw) + size_t(sx);
            if (!cv.IN[i]) {
                cv.C[i] = COL{};
                cv.GLOW[i] = 1;
            }
            cv.C[i] = cv.C[i] + style(s);
            cv.IN[i] = 1;
        }
    }
}

// Darkens the hull's outer rim: every hull sample within WIDTH pixels of an
// unpainted sample (or the picture's border).
void OUTLINE(CANVAS& cv, double width, double keep) {
    const int sw = cv.W * SS, sh = cv.H * SS;
    const int r = int(std::ceil(width * SS));
    std::vector<COL> out = cv.C;
    for (int sy = 0; sy < sh; ++sy) {
        for (int sx = 0; sx < sw; ++sx) {
            size_t i = size_t(sy) * size_t(sw) + size_t(sx);
            if (!cv.IN[i] || cv.GLOW[i]) continue;
            double best = 1e9;
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx) {
                    int qx = sx + dx, qy = sy + dy;
                    bool outside = qx < 0 || qy < 0 || qx >= sw || qy >= sh ||
                                   !cv.IN[size_t(qy) * size_t(sw) + size_t(qx)];
                    if (outside) best = std::min(best, std::sqrt(double(dx * dx + dy * dy)) / SS);
                }
            }
            if (best <= width) out[i] = cv.C[i] * keep;
        }
    }
    cv.C = out;
}

// ------------------------------------------------------------ paint styles

// Light falls from the upper left.
constexpr double LIGHTX = -0.55, LIGHTY = -0.83;

// Bevelled metal: edges facing the light are bright, the others dark, and a
// dark seam runs along the part's own edge where it meets other parts.
// SIDE(x) lets a banking ship shade one half.
STYLE METAL(COL base, double bevel, std::function<double(double)> side = nullptr) {
    return [=](const SAMPLE& s) {
        double edge = 1.0 - SMOOTH(0.0, bevel, s.d);
        double facing = s.nx * LIGHTX + s.ny * LIGHTY;
        double shade = 0.92 + 0.55 * edge * facing - 0.0035 * (s.y - 30.0);
        if (side) shade *= side(s.x);
        COL c = base * shade;
        if (s.d < 0.35) c = c * 0.55;
        return c;
    };
}

// Glass canopy: a dark tinted dome with a bright reflection at its upper left.
STYLE GLASS(COL dark, COL light, double hx, double hy, double hr) {
    return [=](const SAMPLE& s) {
        double dx = s.x - hx, dy = s.y - hy;
        double t = 1.0 - SMOOTH(0.0, hr, std::sqrt(dx * dx + dy * dy));
        COL c = MIX(dark, light, 0.15 + 0.75 * t);
        if (t > 0.8) c = MIX(c, COL{245, 250, 255}, (t - 0.8) * 4.0);
        if (s.d < 0.4) c = c * 0.5;
        return c;
    };
}

// Radial light: CORE in the middle, through MID to EDGE at the rim.
STYLE RADIAL(COL core, COL mid, COL edge, double midAt = 0.45) {
    return [=](const SAMPLE& s) {
        double t = s.rho;
        if (t < midAt) return MIX(core, mid, SMOOTH(0.0, midAt, t));
        return MIX(mid, edge, SMOOTH(midAt, 1.0, t));
    };
}

// Flat paint with the seam.
STYLE FLAT(COL c) {
    return [=](const SAMPLE& s) { return s.d < 0.35 ? c * 0.55 : c; };
}

// Engine exhaust: a hot core fading down to a dim red tail.
void EXHAUST(CANVAS& cv, double cx, double top, double rx, double ry) {
    PAINT(cv, OVAL(cx, top + ry * 0.6, rx, ry),
          RADIAL(COL{255, 250, 225}, COL{255, 175, 60}, COL{120, 30, 10}, 0.35), true);
}

// ------------------------------------------------------------ output

struct IMAGE {
    int W = 0, H = 0;
    std::vector<uint8_t> RGB;  // top-down, 3 bytes per pixel
};

constexpr uint8_t KEYR = 255, KEYG = 0, KEYB = 255;

// Averages the samples of each pixel against black; pixels nothing was
// painted on become magenta.
IMAGE RESOLVE(const CANVAS& cv, double minCover = 0.0) {
    IMAGE img;
    img.W = cv.W;
    img.H = cv.H;
    img.RGB.resize(size_t(cv.W) * size_t(cv.H) * 3);
    const int sw = cv.W * SS;
    for (int y = 0; y < cv.H; ++y) {
        for (int x = 0; x < cv.W; ++x) {
            COL sum;
            int covered = 0;
            for (int j = 0; j < SS; ++j) {
                for (int i = 0; i < SS; ++i) {
                    size_t k = size_t(y * SS + j) * size_t(sw) + size_t(x * SS + i);
                    if (!cv.IN[k]) continue;
                    ++covered;
                    sum = sum + cv.C[k];
                }
            }
            uint8_t* p = &img.RGB[(size_t(y) * size_t(cv.W) + size_t(x)) * 3];
            double cover = double(covered) / (SS * SS);
            if (covered == 0 || cover < minCover) {
                p[0] = KEYR;
                p[1] = KEYG;
                p[2] = KEYB;
                continue;
            }
            COL c = sum * (1.0 / (SS * SS));
            p[0] = uint8_t(std::lround(std::clamp(c.r, 0.0, 255.0)));
            p[1] = uint8_t(std::lround(std::clamp(c.g, 0.0, 255.0)));
            p[2] = uint8_t(std::lround(std::clamp(c.b, 0.0, 255.0)));
        }
    }
    return img;
}

// A visible colour that a viewer could mistake for the transparent magenta:
// red and blue both well above green.
bool NEARMAGENTA(int r, int g, int b) { return r - g > 40 && b - g > 40; }

bool CHECKIMAGE(const std::string& name, const IMAGE& img) {
    if (img.W % 2 == 0 || img.H % 2 == 0) {
        std::fprintf(stderr, "%s: %d x %d; make both sizes odd so the picture has a middle pixel\n",
                     name.c_str(), img.W, img.H);
        return false;
    }
    for (size_t i = 0; i < img.RGB.size(); i += 3) {
        int r = img.RGB[i], g = img.RGB[i + 1], b = img.RGB[i + 2];
        if (r == KEYR && g == KEYG && b == KEYB) continue;
        if (NEARMAGENTA(r, g, b)) {
            std::fprintf(stderr, "%s: pixel %zu (%d, %d, %d) is too close to the transparent magenta\n",
                         name.c_str(), i / 3, r, g, b);
            return false;
        }
    }
    return true;
}

void PUT16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void PUT32(std::vector<uint8_t>& v, uint32_t x) {
    PUT16(v, x & 0xFFFF);
    PUT16(v, x >> 16);
}

bool WRITEFILE(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

// 24-bit uncompressed BMP, rows bottom-up and padded to four bytes.
bool WRITEBMP(const std::string& path, const IMAGE& img) {
    const uint32_t rowBytes = (uint32_t(img.W) * 3 + 3) & ~3u;
    const uint32_t dataSize = rowBytes * uint32_t(img.H);
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    PUT32(out, 54 + dataSize);
    PUT32(out, 0);
    PUT32(out, 54);
    PUT32(out, 40);
    PUT32(out, uint32_t(img.W));
    PUT32(out, uint32_t(img.H));
    PUT16(out, 1);
    PUT16(out, 24);
    PUT32(out, 0);
    PUT32(out, dataSize);
    PUT32(out, 2835);
    PUT32(out, 2835);
    PUT32(out, 0);
    PUT32(out, 0);
    for (int y = img.H - 1; y >= 0; --y) {
        for (int x = 0; x < img.W; ++x) {
            const uint8_t* p = &img.RGB[(size_t(y) * size_t(img.W) + size_t(x)) * 3];
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        for (uint32_t pad = uint32_t(img.W) * 3; pad < rowBytes; ++pad) out.push_back(0);
    }
    return WRITEFILE(path, out);
}

// ------------------------------------------------------------ ships

// Player 1, the "Arrow": a slim blue fighter with swept delta wings, twin
// tail planes and one big engine. BANK is -1 (banking left: the left wing
// dips away, foreshortened and in shadow), 0 (level) or +1 (banking right).
// The canvas is kept for the icon, which is drawn from its samples.
CANVAS PAINTPLAYER1(int bank) {
    CANVAS cv(55, 63);
    const double cx = 27.5;
    const double sl = bank < 0 ? 0.70 : 1.0;
    const double sr = bank > 0 ? 0.70 : 1.0;
    auto side = [=](double x) {
        double t = SMOOTH(-2.0, 2.0, x - cx);  // 0 on the left, 1 on the right
        double left = bank < 0 ? 0.55 : (bank > 0 ? 1.15 : 1.0);
        double right = bank > 0 ? 0.55 : (bank < 0 ? 1.15 : 1.0);
        return left + (right - left) * t;
    };
    const COL hull{72, 128, 205}, wing{52, 96, 170}, trim{215, 228, 240}, metal{110, 118, 130};
    // Wings first, the fuselage over them.
    PAINT(cv, MIRRORED(cx, {{0, 22}, {6, 24}, {26, 45}, {26, 50}, {6, 48}, {0, 48}}, sl, sr),
          METAL(wing, 2.5, side));
    // White stripe along each wing's leading edge.
    PAINT(cv, POLY({{cx + 9 * sr, 29}, {cx + 24 * sr, 43}, {cx + 24 * sr, 45.5}, {cx + 9 * sr, 32}}),
          METAL(trim, 1.0, side));
    PAINT(cv, POLY({{cx - 9 * sl, 29}, {cx - 24 * sl, 43}, {cx - 24 * sl, 45.5}, {cx - 9 * sl, 32}}),
          METAL(trim, 1.0, side));
    // Tail planes.
    PAINT(cv, MIRRORED(cx, {{0, 44}, {5, 44}, {14, 53}, {14, 57}, {5, 55}, {0, 55}}, sl, sr),
          METAL(wing, 1.5, side));
    // Fuselage: a long needle nose widening to the engine.
    PAINT(cv, MIRRORED(cx, {{0, 1}, {2.5, 7}, {4.5, 16}, {5.5, 30}, {6, 46}, {5, 56}, {0, 56}}, sl, sr),
          METAL(hull, 3.0, side));
    // Dark spine panel behind the canopy.
    PAINT(cv, MIRRORED(cx, {{0, 26}, {1.6, 27}, {2.2, 44}, {0, 46}}, sl, sr), METAL(hull * 0.7, 1.0, side));
    // Canopy.
    const double ox = -0.8 * bank;
    PAINT(cv, OVAL(cx + ox, 16, 3.2, 6.5), GLASS(COL{10, 45, 80}, COL{120, 225, 255}, cx + ox - 1.2, 13, 4.5));
    // Engine nozzle and exhaust.
    PAINT(cv, MIRRORED(cx, {{0, 53}, {4.5, 53}, {4, 58}, {0, 58}}, sl, sr), METAL(metal, 1.0));
    EXHAUST(cv, cx, 56.0, 3.6, 4.0);
    OUTLINE(cv, 0.9, 0.28);
    return cv;
}

IMAGE DRAWPLAYER1(int bank) { return RESOLVE(PAINTPLAYER1(bank)); }

// Player 2, the "Hammer": a red twin-boom gunship. A short central pod with
// an amber canopy, two long gun booms joined by a broad rear wing and a tail
// plane, an engine at the end of each boom.
IMAGE DRAWPLAYER2() {
    CANVAS cv(61, 57);
    const double cx = 30.5;
    const COL red{196, 48, 36}, dark{120, 30, 24}, grey{128, 128, 134}, gun{80, 82, 88};
    // Rear wing between and beyond the booms.
    PAINT(cv, MIRRORED(cx, {{0, 30}, {27, 35}, {29, 40}, {29, 46}, {0, 44}}), METAL(red, 2.5));
    // Tail plane joining the boom ends.
    PAINT(cv, MIRRORED(cx, {{0, 47}, {18, 47}, {18, 51}, {0, 51}}), METAL(dark, 1.2));
    // Booms with gun barrels in front.
    for (double s : {-1.0, 1.0}) {
        double bx = cx + s * 18.0;
        PAINT(cv, POLY({{bx - 1, 7}, {bx + 1, 7}, {bx + 1, 16}, {bx - 1, 16}}), METAL(gun, 0.8));
        PAINT(cv, POLY({{bx - 3, 18}, {bx - 1.5, 14}, {bx + 1.5, 14}, {bx + 3, 18}, {bx + 3.5, 50},
                        {bx + 2.5, 53}, {bx - 2.5, 53}, {bx - 3.5, 50}}),
              METAL(grey, 2.0));
        PAINT(cv, POLY({{bx - 3.4, 24}, {bx + 3.4, 24}, {bx + 3.4, 27}, {bx - 3.4, 27}}), METAL(red, 1.0));
        EXHAUST(cv, bx, 51.5, 2.8, 3.2);
    }
    // Central pod.
    PAINT(cv, MIRRORED(cx, {{0, 4}, {3, 6}, {6, 13}, {7, 24}, {7, 40}, {5, 47}, {0, 48}}), METAL(red, 3.0));
    PAINT(cv, OVAL(cx, 15, 3.5, 5.0), GLASS(COL{70, 40, 10}, COL{255, 205, 90}, cx - 1.3, 12.5, 4.0));
    PAINT(cv, MIRRORED(cx, {{0, 25}, {3, 26}, {3, 38}, {0, 39}}), METAL(dark, 1.0));
    OUTLINE(cv, 0.9, 0.28);
    return RESOLVE(cv);
}

// Player 3, the "Manta": a green flying wing, a broad chevron whose tips
// sweep far back, with a short teardrop body, a bubble canopy and two
// engines in the wing's notch.
IMAGE DRAWPLAYER3() {
    CANVAS cv(61, 49);
    const double cx = 30.5;
    const COL green{54, 164, 74}, light{150, 222, 140}, dark{32, 104, 48};
    // The wing: leading edge from the body back to the tips, trailing edge
    // cut in towards the centre.
    PAINT(cv, MIRRORED(cx, {{0, 10}, {8, 15}, {18, 25}, {26, 36}, {30, 47}, {26, 47}, {18, 42}, {9, 39}, {0, 38}}),
          METAL(green, 3.0));
    // Light stripes near the wing tips.
    for (double s : {-1.0, 1.0}) {
        PAINT(cv, POLY({{cx + s * 20, 28}, {cx + s * 23.5, 33}, {cx + s * 21.5, 35}, {cx + s * 18, 31}}),
              METAL(light, 1.0));
        PAINT(cv, POLY({{cx + s * 6, 36}, {cx + s * 11, 36}, {cx + s * 11, 41}, {cx + s * 6, 41}}),
              METAL(COL{95, 100, 104}, 1.0));
        EXHAUST(cv, cx + s * 8.5, 40.5, 2.4, 3.4);
    }
    // Body.
    PAINT(cv, MIRRORED(cx, {{0, 1}, {2.5, 5}, {4.5, 13}, {5, 25}, {4, 34}, {0, 37}}), METAL(dark, 2.0));
    PAINT(cv, OVAL(cx, 13, 3.0, 4.5), GLASS(COL{10, 50, 40}, COL{170, 255, 220}, cx - 1.1, 11, 3.5));
    OUTLINE(cv, 0.9, 0.28);
    return RESOLVE(cv);
}

// Player 4, the "Scarab": a round golden beetle with two mandible cannons
// reaching forward, armour plates on its flanks and one wide engine.
IMAGE DRAWPLAYER4() {
    CANVAS cv(51, 63);
    const double cx = 25.5;
    const COL gold{226, 182, 44}, bronze{150, 104, 30}, metal{96, 90, 80};
    // Flank plates.
    PAINT(cv, MIRRORED(cx, {{0, 28}, {13, 28}, {24, 40}, {24, 51}, {14, 50}, {0, 50}}), METAL(bronze, 2.0));
    // Mandibles: pincers curving in towards each other.
    for (double s : {-1.0, 1.0}) {
        PAINT(cv, POLY({{cx + s * 5.5, 23}, {cx + s * 10.5, 15}, {cx + s * 12, 9}, {cx + s * 11, 4},
                        {cx + s * 7.5, 0.5}, {cx + s * 6.5, 4}, {cx + s * 7.5, 8}, {cx + s * 6.5, 13},
                        {cx + s * 2.5, 20}}),
              METAL(bronze, 1.5));
    }
    // Engine housing and exhaust.
    PAINT(cv, MIRRORED(cx, {{0, 50}, {9, 50}, {8, 58}, {0, 58}}), METAL(metal, 1.5));
    EXHAUST(cv, cx, 56.0, 6.5, 4.0);
    // Shell.
    PAINT(cv, OVAL(cx, 35, 15, 19), METAL(gold, 4.0));
    // Dark seam down the middle of the shell and two bands across it.
    PAINT(cv, POLY({{cx - 0.8, 29}, {cx + 0.8, 29}, {cx + 0.8, 53}, {cx - 0.8, 53}}), FLAT(bronze * 0.8));
    PAINT(cv, OVAL(cx, 27, 6, 6), METAL(bronze, 1.5));
    PAINT(cv, OVAL(cx, 26.5, 4.3, 4.3), GLASS(COL{10, 50, 60}, COL{140, 240, 255}, cx - 1.5, 25, 3.5));
    OUTLINE(cv, 0.9, 0.28);
    return RESOLVE(cv);
}

// ------------------------------------------------------------ projectiles

// Blue bolt: a round white-hot head with a tapering blue tail.
IMAGE DRAWBULLET1() {
    CANVAS cv(9, 19);
    const double cx = 4.5;
    ADDLIGHT(cv, POLY({{cx - 2.6, 5}, {cx + 2.6, 5}, {cx, 18.5}}), [=](const SAMPLE& s) {
        double t = SMOOTH(5.0, 18.5, s.y);
        return MIX(COL{60, 170, 255}, COL{10, 30, 110}, t);
    });
    ADDLIGHT(cv, OVAL(cx, 5, 4.2, 4.6), RADIAL(COL{255, 255, 255}, COL{120, 220, 255}, COL{20, 70, 170}, 0.4));
    return RESOLVE(cv, 0.2);
}

// Orange fireball: a big burning head and a short ragged flame.
IMAGE DRAWBULLET2() {
    CANVAS cv(11, 17);
    const double cx = 5.5;
    ADDLIGHT(cv, POLY({{cx - 4, 6}, {cx + 4, 6}, {cx + 2.5, 11}, {cx + 1.5, 16.5}, {cx, 13}, {cx - 1.5, 16.5},
                       {cx - 2.5, 11}}),
             [=](const SAMPLE& s) {
                 double t = SMOOTH(6.0, 16.5, s.y);
                 return MIX(COL{255, 140, 30}, COL{110, 25, 5}, t);
             });
    ADDLIGHT(cv, OVAL(cx, 5.5, 5.0, 5.0), RADIAL(COL{255, 255, 210}, COL{255, 200, 60}, COL{200, 70, 10}, 0.45));
    return RESOLVE(cv, 0.2);
}

// Green lance: a bright diamond head on a long thin trail.
IMAGE DRAWBULLET3() {
    CANVAS cv(7, 17);
    const double cx = 3.5;
    ADDLIGHT(cv, POLY({{cx - 1.1, 6}, {cx + 1.1, 6}, {cx + 0.5, 16.5}, {cx - 0.5, 16.5}}), [=](const SAMPLE& s) {
        double t = SMOOTH(6.0, 16.5, s.y);
        return MIX(COL{120, 255, 110}, COL{10, 70, 20}, t);
    });
    ADDLIGHT(cv, POLY({{cx, 0}, {cx + 3.4, 5}, {cx, 9.5}, {cx - 3.4, 5}}), [=](const SAMPLE& s) {
        double c = SMOOTH(0.0, 1.6, s.d);
        return MIX(COL{40, 190, 60}, COL{235, 255, 225}, c);
    });
    return RESOLVE(cv, 0.2);
}

// ------------------------------------------------------------ stars

// Star N (0 to 9): faint and tiny at 0, bright and large at 9, the larger
// ones with four rays. Tints vary a little between white, blue and yellow.
IMAGE DRAWSTAR(int n) {
    static const int SIZE[10] = {1, 1, 3, 3, 3, 5, 5, 7, 9, 11};
    static const double PEAK[10] = {80, 105, 125, 150, 170, 190, 210, 230, 245, 255};
    static const double RADIUS[10] = {0.5, 0.5, 0.9, 1.0, 1.2, 1.5, 1.7, 2.0, 2.3, 2.7};
    static const double RAYS[10] = {0, 0, 0, 0, 0, 0, 0.5, 0.8, 1.0, 1.0};
    static const COL TINT[10] = {{1.0, 1.0, 1.0},   {0.85, 0.92, 1.0}, {1.0, 1.0, 0.9},  {0.9, 0.95, 1.0},
                                 {1.0, 0.97, 0.85}, {0.85, 0.92, 1.0}, {1.0, 1.0, 1.0},  {1.0, 0.95, 0.8},
                                 {0.88, 0.94, 1.0}, {1.0, 1.0, 1.0}};
    const int size = SIZE[n];
    IMAGE img;
    img.W = size;
    img.H = size;
    img.RGB.resize(size_t(size * size) * 3);
    const double c = (size - 1) / 2.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double dx = x - c, dy = y - c;
            double r2 = dx * dx + dy * dy;
            double glow = std::exp(-r2 / (2.0 * RADIUS[n] * RADIUS[n]));
            // Rays along the axes, fading with distance.
            double along = std::max(std::exp(-dx * dx / 0.18) * std::exp(-std::fabs(dy) / (0.35 * size)),
                                    std::exp(-dy * dy / 0.18) * std::exp(-std::fabs(dx) / (0.35 * size)));
            double v = PEAK[n] * std::min(1.0, glow + RAYS[n] * 0.7 * along);
            uint8_t* p = &img.RGB[(size_t(y) * size_t(size) + size_t(x)) * 3];
            if (v < 14.0) {
                p[0] = KEYR;
                p[1] = KEYG;
                p[2] = KEYB;
                continue;
            }
            p[0] = uint8_t(std::lround(std::min(255.0, v * TINT[n].r)));
            p[1] = uint8_t(std::lround(std::min(255.0, v * TINT[n].g)));
            p[2] = uint8_t(std::lround(std::min(255.0, v * TINT[n].b)));
        }
    }
    return img;
}

// ------------------------------------------------------------ icon

// A square RGBA picture, top-down, 4 bytes per pixel, alpha not premultiplied.
struct RGBAIMAGE {
    int SIZE = 0;
    std::vector<uint8_t> RGBA;
};

// The level Arrow, fitted into SIZE x SIZE with a one-pixel margin, resampled
// from the canvas's samples: each pixel's colour is the mean of the painted
// samples falling in it, its alpha the share of them that were painted.
RGBAIMAGE DRAWICON(int size) {
    const CANVAS cv = PAINTPLAYER1(0);
    const int sw = cv.W * SS, sh = cv.H * SS;
    const double scale = (size - 2.0) / std::max(sw, sh);
    const double ox = (size - sw * scale) / 2.0, oy = (size - sh * scale) / 2.0;
    const size_t n = size_t(size) * size_t(size);
    std::vector<COL> sum(n);
    std::vector<int> total(n, 0), covered(n, 0);
    for (int sy = 0; sy < sh; ++sy) {
        for (int sx = 0; sx < sw; ++sx) {
            int x = int(std::floor(ox + (sx + 0.5) * scale)), y = int(std::floor(oy + (sy + 0.5) * scale));
            size_t i = size_t(y) * size_t(size) + size_t(x), k = size_t(sy) * size_t(sw) + size_t(sx);
            ++total[i];
            if (!cv.IN[k]) continue;
            ++covered[i];
            sum[i] = sum[i] + cv.C[k];
        }
    }
    RGBAIMAGE img;
    img.SIZE = size;
    img.RGBA.assign(n * 4, 0);
    for (size_t i = 0; i < n; ++i) {
        if (covered[i] == 0) continue;
        COL c = sum[i] * (1.0 / covered[i]);
        uint8_t* p = &img.RGBA[i * 4];
        p[0] = uint8_t(std::lround(std::clamp(c.r, 0.0, 255.0)));
        p[1] = uint8_t(std::lround(std::clamp(c.g, 0.0, 255.0)));
        p[2] = uint8_t(std::lround(std::clamp(c.b, 0.0, 255.0)));
        p[3] = uint8_t(std::lround(255.0 * covered[i] / total[i]));
    }
    return img;
}

void PUTBE32(std::vector<uint8_t>& v, uint32_t x) {
    for (int shift = 24; shift >= 0; shift -= 8) v.push_back(uint8_t(x >> shift));
}

uint32_t CRC32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// One PNG chunk: length, type, data, CRC of type and data.
void PUTCHUNK(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PUTBE32(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PUTBE32(out, CRC32(&out[start], out.size() - start));
}

// 8-bit RGBA PNG. The image data is a zlib stream of stored (uncompressed)
// deflate blocks: an icon is small, and this needs no compressor.
bool WRITEPNG(const std::string& path, const RGBAIMAGE& img) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < img.SIZE; ++y) {
        raw.push_back(0);  // filter type None
        auto row = img.RGBA.begin() + std::ptrdiff_t(y) * img.SIZE * 4;
        raw.insert(raw.end(), row, row + img.SIZE * 4);
    }
    std::vector<uint8_t> z{0x78, 0x01};
    for (size_t at = 0; at < raw.size(); at += 65535) {
        const size_t len = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + len == raw.size() ? 1 : 0);
        PUT16(z, uint32_t(len));
        PUT16(z, uint32_t(~len & 0xFFFF));
        z.insert(z.end(), raw.begin() + std::ptrdiff_t(at), raw.begin() + std::ptrdiff_t(at + len));
    }
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    PUTBE32(z, (b << 16) | a);
    std::vector<uint8_t> header;
    PUTBE32(header, uint32_t(img.SIZE));
    PUTBE32(header, uint32_t(img.SIZE));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter choice, no interlace
    std::vector<uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PUTCHUNK(out, "IHDR", header);
    PUTCHUNK(out, "IDAT", z);
    PUTCHUNK(out, "IEND", {});
    return WRITEFILE(path, out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--icon") {
        const int size = std::atoi(argv[2]);
        if (size < 16 || size > 1024) {
            std::fprintf(stderr, "icon size %s: give 16 to 1024 pixels\n", argv[2]);
            return 2;
        }
        if (WRITEPNG(argv[3], DRAWICON(size))) return 0;
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n       %s --icon SIZE FILE.png\n", argv[0], argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::pair<std::string, IMAGE>> images;
    for (int n = 0; n <= 9; ++n) images.emplace_back("star" + std::to_string(n) + ".bmp", DRAWSTAR(n));
    images.emplace_back("player1l.bmp", DRAWPLAYER1(-1));
    images.emplace_back("player1.bmp", DRAWPLAYER1(0));
    images.emplace_back("player1r.bmp", DRAWPLAYER1(+1));
    images.emplace_back("player2.bmp", DRAWPLAYER2());
    images.emplace_back("player3.bmp", DRAWPLAYER3());
    images.emplace_back("player4.bmp", DRAWPLAYER4());
    images.emplace_back("bullet1.bmp", DRAWBULLET1());
    images.emplace_back("bullet2.bmp", DRAWBULLET2());
    images.emplace_back("bullet3.bmp", DRAWBULLET3());
    int status = 0;
    for (const auto& [name, img] : images) {
        if (!CHECKIMAGE(name, img)) status = 1;
        if (!WRITEBMP(folder + "/" + name, img)) {
            std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name.c_str());
            status = 1;
        }
    }
    return status;
}
