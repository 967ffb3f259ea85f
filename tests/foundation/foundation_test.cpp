// The start-up layer: the config token reader, config numbers and the video
// request, defaults.cfg, the frame pacing, and the ways start-up fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "main/spine.h"
#include "media/clock.h"
#include "media/surface.h"
#include "media/video.h"
#include "tests/support/screen.h"

namespace {
using TOKENS = std::vector<std::string>;

TOKENS TOKENSOF(const std::string& text) {
    WRITEFILE("tokens.txt", text);
    KELTOKENFILE file;
    EXPECT_TRUE(KELOPENTOKENFILE(file, "tokens.txt"));
    TOKENS tokens;
    while (!KELTOKENEOF(file) && tokens.size() < 100) tokens.push_back(KELREADTOKEN(file));
    KELCLOSETOKENFILE(file);
    return tokens;
}

TEST(TokenReader, CutsTokensAsTheConfigFilesNeed) {
    SCRATCHDIR dir;
    const std::string X1024(1024, 'x');
    const std::pair<std::string, TOKENS> ROWS[] = {
        {"a,b\nc\r\nd\re", {"a", "b", "c", "d", "e"}},
        {"a,,b", {"a", "", "b"}},
        {"a\n\n\r\n  \t\nb", {"a", "b"}},
        {"   \tx y  ,ab\"c", {"x y  ", "ab\"c"}},
        {"\"hello, world\"  ,next\r\nthird", {"hello, world", "next", "third"}},
        {"\"open, still\nnext", {"open, still", "next"}},
        {"\"q\"x,y", {"q", "x", "y"}},
        {"\"q\" \ny", {"q", "y"}},
        {X1024 + "xxxxxx\ntail", {X1024, "xxxxxx", "tail"}},
        {"a\n", {"a", ""}},
        {"a", {"a"}},
        {"", {""}},
        {"a,\"b\"", {"a", "b"}},  // a closing quote at the very end is the end
        {"\"b\",", {"b", ""}},
    };
    for (const auto& [text, tokens] : ROWS) EXPECT_EQ(TOKENSOF(text), tokens) << text.substr(0, 40);
    KELTOKENFILE missing;
    EXPECT_FALSE(KELOPENTOKENFILE(missing, "no-such-file.txt"));
    EXPECT_TRUE(KELTOKENEOF(missing));
}

TEST(ConfigFile, NumbersRoundHalfToEvenOrReadInAnotherBase) {
    const std::pair<const char*, int32_t> ROWS[] = {
        {"800.5", 800}, {"801.5", 802}, {" -7.5 ", -8},   {"1e3", 1000},      {"12px", 12}, {"&h320", 800},
        {"&o1440", 800}, {"&b1100100000", 800}, {"&b1012", 5}, {"&h", 0}, {"wide", 0}};
    for (auto [text, value] : ROWS) EXPECT_EQ(KELCONFIGNUMBER(text), value) << text;
}

struct MODE {
    int W = -1, H = -1, D = -1;
    uint32_t FLAGS = 0;
    bool operator==(const MODE&) const = default;
};
MODE ASKED;
SDL_Surface* RECORDINGMODE(int w, int h, int d, uint32_t flags) {
    ASKED = MODE{w, h, d, flags};
    return SDL_SetVideoMode(64, 48, 32, SDL_SWSURFACE);
}
SDL_Surface* REFUSINGMODE(int, int, int, uint32_t) { return nullptr; }

TEST(ConfigFile, TheVideoRequestFollowsTheFile) {
    SCRATCHDIR dir;
    const std::pair<const char*, MODE> ROWS[] = {
        {"xres\n1024\nyres\n768\ndepth\n16\nsdl_fullscreen\n", {1024, 768, 16, 0x80006004u}},
        {"  XRes  ,800.5\n YRES ,801.5\nDepth,&h20\n", {800, 802, 32, 0x6004u}},
        {"xres,640,yres,480,depth,32,sdl_hwsurface,17,sdl_doublebuf,bogus,sdl_hwaccel,sdl_hwpalette,sdl_swsurface",
         {640, 480, 32, 0x60006105u}},
        {nullptr, {640, 480, 32, 0x6004u}},
        {"xres, 0, yres, 0, sdl_fullscreen", {640, 480, 32, 0x6004u}},
        {"xres, 800\n", {800, 0, 0, 0x6004u}},
        {"xres, sdl_hwsurface, yres, 600, depth, 32", {0, 600, 32, 0x6004u}},
    };
    for (const auto& [config, mode] : ROWS) {
        std::remove("config.cfg");
        if (config != nullptr) WRITEFILE("config.cfg", config);
        if (KELFONT != nullptr) TTF_CloseFont(KELFONT);
        KELFONT = nullptr;
        ASKED = MODE{};
        auto* const real = KELSETVIDEOMODE;
        KELSETVIDEOMODE = RECORDINGMODE;
        KELSDL_INIT();
        KELSETVIDEOMODE = real;
        EXPECT_EQ(ASKED, mode) << (config ? config : "no config.cfg") << " flags " << std::hex << ASKED.FLAGS;
    }
}

// Each missing piece ends start-up with status 1 after one line naming it.
TEST(StartupFailureDeathTest, MissingPiecesEndWithStatus1AndOneLine) {
    SCRATCHDIR dir;
    MAKEDATAFOLDER({"vera.ttf", "bullet2.bmp"});
    EXPECT_EXIT(
        {
            std::freopen("/dev/null", "r", stdin);  // the console key wait must not hold the test
            STARTTESTVIDEO(320, 200);
        },
        testing::ExitedWithCode(1), "^vexil: cannot open the font data/vera.ttf[^\n]*\n$");
    WRITEFILE("config.cfg", "xres, 1024, yres, 768, depth, 16, sdl_fullscreen");
    EXPECT_EXIT(
        {
            std::freopen("/dev/null", "r", stdin);
            KELSETVIDEOMODE = REFUSINGMODE;
            KELSDL_INIT();
        },
        testing::ExitedWithCode(1), "^vexil: cannot open a 1024 x 768 x 16 video mode[^\n]*\n$");
    MAKEDATAFOLDER({"bullet2.bmp"});
    EXPECT_EXIT(
        {
            std::freopen("trace.txt", "w", stdout);
            STARTTESTVIDEO(320, 240);
            LOADGRAPHICS();
        },
        testing::ExitedWithCode(1), "^vexil: cannot load the bitmap data/bullet2.bmp[^\n]*\n$");
    const std::string TRACE = READFILE("trace.txt");
    EXPECT_EQ(std::count(TRACE.begin(), TRACE.end(), '\n'), 17 * 6 + 3);
    EXPECT_TRUE(TRACE.ends_with("Loaded file\ndata\\bullet2.bmp.bmp failed to load!\n")) << TRACE;
}

TEST(DefaultsFile, ValuesComeBackAsTheTokenReaderCutsThem) {
    SCRATCHDIR dir;
    std::string host = "old", name = "old";
    READDEFAULTS("defaults.cfg", host, name);
    EXPECT_EQ(host + "|" + name, "|");
    const std::array<std::string, 4> ROWS[] = {{"127.0.0.1", "Player One", "127.0.0.1", "Player One"},
                                               {"", "Bob", "Bob", ""},
                                               {"host,x", "Bob", "host", "x"},
                                               {"\"quoted, yes\"", "name  ", "quoted, yes", "name  "}};
    for (const auto& row : ROWS) {
        WRITEDEFAULTS("defaults.cfg", row[0], row[1]);
        READDEFAULTS("defaults.cfg", host, name);
        EXPECT_EQ(host + "|" + name, row[2] + "|" + row[3]) << row[0];
    }
}

// Each flip sleeps the rest of the period; a period of 0 or less never
// sleeps; pacing carries on across the tick count's signed limit.
TEST(Pacing, FlipsSleepTheRestOfThePeriod) {
    SCRATCHDIR dir;
    STARTTESTVIDEO(320, 200);
    const struct { uint32_t start; int32_t period; uint32_t delays, last; } ROWS[] = {
        {1000, 33, 20, 23}, {0x7FFFFF00u, 33, 20, 23}, {1000, 0, 0, 0}, {1000, -5, 0, 0}};
    for (const auto& row : ROWS) {
        USEFAKECLOCK(row.start);
        KELFRAMEPERIOD = row.period;
        KELOLDERTIMER = static_cast<int32_t>(FAKENOW);
        KELOLDTIMER = static_cast<int32_t>(FAKENOW + static_cast<uint32_t>(row.period));
        FAKELASTDELAY = 0;
        for (int frame = 0; frame < 20; ++frame) {
            FAKENOW += 10;
            KELPAGEFLIP();
        }
        EXPECT_EQ(FAKEDELAYCOUNT, row.delays) << row.start << " " << row.period;
        EXPECT_EQ(FAKELASTDELAY, row.last) << row.start << " " << row.period;
    }
    KELUSEREALCLOCK();
}
}  // namespace
