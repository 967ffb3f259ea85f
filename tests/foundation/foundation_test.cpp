// The start-up layer: the config token reader, config numbers and the video
// request, defaults.cfg, the frame pacing, and the ways start-up fails.
#include "main/spine.h"
#include "media/clock.h"
#include "media/surface.h"
#include "media/video.h"
#include "tests/support/screen.h"

namespace {
// Each test in a scratch folder of its own.
struct FOUNDATION : ::testing::Test { SCRATCHDIR DIR; };

TEST_F(FOUNDATION, TheConfigReaderCutsTokensAndReadsNumbersAsTheFilesNeed) {
    using TOKENS = std::vector<std::string>;
    const std::string X1024(1024, 'x');
    const std::pair<std::string, TOKENS> ROWS[] = {
        {"a,b\nc\r\nd\re", {"a", "b", "c", "d", "e"}}, {"a,,b", {"a", "", "b"}}, {"a\n\n\r\n  \t\nb", {"a", "b"}},
        {"   \tx y  ,ab\"c", {"x y  ", "ab\"c"}}, {"\"hello, world\"  ,next\r\nthird", {"hello, world", "next", "third"}},
        {"\"open, still\nnext", {"open, still", "next"}}, {"\"q\"x,y", {"q", "x", "y"}}, {"\"q\" \ny", {"q", "y"}},
        {X1024 + "xxxxxx\ntail", {X1024, "xxxxxx", "tail"}}, {"a\n", {"a", ""}}, {"a", {"a"}}, {"", {""}},
        {"a,\"b\"", {"a", "b"}}, {"\"b\",", {"b", ""}},  // a closing quote at the very end is the end
    };
    for (const auto& [text, tokens] : ROWS) {
        WRITEFILE("tokens.txt", text);
        KELTOKENFILE file;
        ASSERT_TRUE(KELOPENTOKENFILE(file, "tokens.txt"));
        TOKENS got;
        while (!KELTOKENEOF(file) && got.size() < 100) got.push_back(KELREADTOKEN(file));
        KELCLOSETOKENFILE(file);
        EXPECT_EQ(got, tokens) << text.substr(0, 40);
    }
    KELTOKENFILE missing;
    EXPECT_TRUE(!KELOPENTOKENFILE(missing, "no-such-file.txt") && KELTOKENEOF(missing));
    // Numbers round half to even or read in another base.
    const std::pair<const char*, int32_t> NUMBERS[] = {{"800.5", 800}, {"801.5", 802}, {" -7.5 ", -8}, {"1e3", 1000},
        {"12px", 12}, {"&h320", 800}, {"&o1440", 800}, {"&b1100100000", 800}, {"&b1012", 5}, {"&h", 0}, {"wide", 0}};
    for (auto [text, value] : NUMBERS) EXPECT_EQ(KELCONFIGNUMBER(text), value) << text;
}

// The mode start-up asks for: width, height, depth and flags.
using MODE = std::tuple<int, int, int, uint32_t>;
MODE ASKED;  // written by the recording stand-in for SDL_SetVideoMode

TEST_F(FOUNDATION, TheVideoRequestFollowsConfigCfg) {
    const std::pair<const char*, MODE> ROWS[] = {
        {"xres\n1024\nyres\n768\ndepth\n16\nsdl_fullscreen\n", {1024, 768, 16, 0x80006004u}},
        {"  XRes  ,800.5\n YRES ,801.5\nDepth,&h20\n", {800, 802, 32, 0x6004u}},
        {"xres,640,yres,480,depth,32,sdl_hwsurface,17,sdl_doublebuf,bogus,sdl_hwaccel,sdl_hwpalette,sdl_swsurface",
         {640, 480, 32, 0x60006105u}},
        {nullptr, {640, 480, 32, 0x6004u}}, {"xres, 0, yres, 0, sdl_fullscreen", {640, 480, 32, 0x6004u}},
        {"xres, 800\n", {800, 0, 0, 0x6004u}}, {"xres, sdl_hwsurface, yres, 600, depth, 32", {0, 600, 32, 0x6004u}},
    };
    auto* const real = KELSETVIDEOMODE;
    KELSETVIDEOMODE = [](int w, int h, int d, uint32_t f) { return ASKED = {w, h, d, f}, SDL_SetVideoMode(64, 48, 32, 0); };
    for (const auto& [config, mode] : ROWS) {
        STARTTESTVIDEO(config);
        EXPECT_EQ(ASKED, mode) << (config ? config : "no config.cfg") << " flags " << std::hex << std::get<3>(ASKED);
    }
    KELSETVIDEOMODE = real;
}

// Each missing piece ends start-up with status 1 after one line naming it.
TEST(StartupFailureDeathTest, MissingPiecesEndWithStatus1AndOneLine) {
    SCRATCHDIR dir;
    const struct { const char* leaveout; bool refuse; std::string line; } ROWS[] = {
        {"vera.ttf", false, "cannot open the font data/vera.ttf"}, {"", true, "cannot open a 320 x 200 x 32 video mode"},
        {"bullet2.bmp", false, "cannot load the bitmap data/bullet2.bmp"}};
    for (const auto& row : ROWS) {
        MAKEDATAFOLDER(row.leaveout);
        auto start = [&] {
            std::freopen("/dev/null", "r", stdin);  // the console key wait must not hold the test
            std::freopen("/dev/null", "w", stdout);
            if (row.refuse) KELSETVIDEOMODE = [](int, int, int, uint32_t) -> SDL_Surface* { return nullptr; };
            STARTTESTVIDEO("xres, 320, yres, 200, depth, 32"), LOADGRAPHICS();
        };
        EXPECT_EXIT(start(), testing::ExitedWithCode(1), "^vexil: " + row.line + "[^\n]*\n$");
    }
}

// What WRITEDEFAULTS writes comes back cut as the token reader cuts it; no
// file reads as two empty values.
TEST_F(FOUNDATION, DefaultsComeBackAsTheTokenReaderCutsThem) {
    const std::array<std::string, 4> ROWS[] = {{"", "", "", ""}, {"127.0.0.1", "Player One", "127.0.0.1", "Player One"},
        {"", "Bob", "Bob", ""}, {"host,x", "Bob", "host", "x"}, {"\"quoted, yes\"", "name  ", "quoted, yes", "name  "}};
    for (const auto& row : ROWS) {
        std::string host = "old", name = "old";
        if (&row != ROWS) WRITEDEFAULTS("defaults.cfg", row[0], row[1]);
        READDEFAULTS("defaults.cfg", host, name);
        EXPECT_EQ(host + "|" + name, row[2] + "|" + row[3]) << row[0];
    }
}

// Each flip sleeps the rest of the period; a period of 0 or less never
// sleeps; pacing carries on across the tick count's signed limit.
TEST_F(FOUNDATION, FlipsSleepTheRestOfThePeriod) {
    STARTTESTVIDEO("xres, 320, yres, 200, depth, 32");
    const struct { uint32_t start; int32_t period; uint32_t delays, last; double rate; } ROWS[] = {
        {1000, 33, 20, 23, 1 / 33.0}, {0x7FFFFF00u, 33, 20, 23, 1 / 33.0}, {1000, 0, 0, 0, 0.1}, {1000, -5, 0, 0, 0.1}};
    for (const auto& row : ROWS) {
        USEFAKECLOCK(row.start), KELFRAMEPERIOD = row.period;
        KELOLDERTIMER = int32_t(FAKENOW), KELOLDTIMER = int32_t(FAKENOW + uint32_t(row.period));
        for (int frame = 0; frame < 20; ++frame) FAKENOW += 10, KELPAGEFLIP();
        EXPECT_EQ(std::tuple(FAKEDELAYCOUNT, FAKELASTDELAY, KELMEASUREDFRAMERATE), std::tuple(row.delays, row.last, row.rate))
            << row.start << " " << row.period;
    }
    KELUSEREALCLOCK();
}
}  // namespace
