#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "media/video.h"
#include "tests/support/screen.h"

namespace {
std::vector<std::string> TOKENSOF(const std::string& text) {
    WRITEFILE("tokens.txt", text);
    KELTOKENFILE file;
    EXPECT_TRUE(KELOPENTOKENFILE(file, "tokens.txt"));
    std::vector<std::string> tokens;
    while (!KELTOKENEOF(file) && tokens.size() < 100) tokens.push_back(KELREADTOKEN(file));
    KELCLOSETOKENFILE(file);
    return tokens;
}

using TOKENS = std::vector<std::string>;

TEST(TokenReader, CutsAtCommasAndEveryKindOfLineEnd) {
    SCRATCHDIR dir;
    EXPECT_EQ(TOKENS({"a", "b", "c", "d", "e"}), TOKENSOF("a,b\nc\r\nd\re"));
    EXPECT_EQ(TOKENS({"a", "", "b"}), TOKENSOF("a,,b"));
    EXPECT_EQ(TOKENS({"a", "b"}), TOKENSOF("a\n\n\r\n  \t\nb"));
    EXPECT_EQ(TOKENS({"x y  ", "ab\"c"}), TOKENSOF("   \tx y  ,ab\"c"));
}

TEST(TokenReader, QuotedTokensKeepCommasAndEndAtTheQuoteOrLine) {
    SCRATCHDIR dir;
    EXPECT_EQ(TOKENS({"hello, world", "next", "third"}), TOKENSOF("\"hello, world\"  ,next\r\nthird"));
    EXPECT_EQ(TOKENS({"open, still", "next"}), TOKENSOF("\"open, still\nnext"));
    EXPECT_EQ(TOKENS({"open", "next"}), TOKENSOF("\"open\r\nnext"));
    EXPECT_EQ(TOKENS({"q", "x", "y"}), TOKENSOF("\"q\"x,y"));
    EXPECT_EQ(TOKENS({"q", "", "y"}), TOKENSOF("\"q\",,y"));
    EXPECT_EQ(TOKENS({"q", "y"}), TOKENSOF("\"q\" \ny"));
    EXPECT_EQ(TOKENS({""}), TOKENSOF("\"\""));
}

TEST(TokenReader, ATokenEndsAfter1024Characters) {
    SCRATCHDIR dir;
    const std::string longer(1030, 'x');
    EXPECT_EQ(TOKENS({std::string(1024, 'x'), "xxxxxx", "tail"}), TOKENSOF(longer + "\ntail"));
    EXPECT_EQ(TOKENS({std::string(1024, 'q'), "qq\"", "tail"}),
              TOKENSOF("\"" + std::string(1026, 'q') + "\"\ntail"));
    EXPECT_EQ(TOKENS({std::string(1024, 'y'), "z"}), TOKENSOF(std::string(1024, 'y') + "\nz"));
}

TEST(TokenReader, EndOfFileIsReportedOnlyAfterAReadRunsIntoIt) {
    SCRATCHDIR dir;
    EXPECT_EQ(TOKENS({"a", ""}), TOKENSOF("a\n"));
    EXPECT_EQ(TOKENS({"a"}), TOKENSOF("a"));
    EXPECT_EQ(TOKENS({""}), TOKENSOF(""));
    EXPECT_EQ(TOKENS({"a", "b"}), TOKENSOF("a,\"b\""));
    EXPECT_EQ(TOKENS({"b"}), TOKENSOF("\"b\"  \t"));
    EXPECT_EQ(TOKENS({"b", ""}), TOKENSOF("\"b\"\n"));
    EXPECT_EQ(TOKENS({"b", ""}), TOKENSOF("\"b\","));
    KELTOKENFILE missing;
    EXPECT_FALSE(KELOPENTOKENFILE(missing, "no-such-file.txt"));
    EXPECT_TRUE(KELTOKENEOF(missing));
    EXPECT_EQ("", KELREADTOKEN(missing));
}

TEST(ConfigFile, ValuesAreRoundedHalfToEvenOrReadInAnotherBase) {
    EXPECT_EQ(800, KELCONFIGNUMBER("800.5"));
    EXPECT_EQ(802, KELCONFIGNUMBER("801.5"));
    EXPECT_EQ(-8, KELCONFIGNUMBER(" -7.5 "));
    EXPECT_EQ(1000, KELCONFIGNUMBER("1e3"));
    EXPECT_EQ(12, KELCONFIGNUMBER("12px"));
    EXPECT_EQ(800, KELCONFIGNUMBER("&h320"));
    EXPECT_EQ(800, KELCONFIGNUMBER("&o1440"));
    EXPECT_EQ(800, KELCONFIGNUMBER("&b1100100000"));
    EXPECT_EQ(5, KELCONFIGNUMBER("&b1012"));  // stops at the first digit outside the base
    EXPECT_EQ(0, KELCONFIGNUMBER("&h"));
    EXPECT_EQ(0, KELCONFIGNUMBER("wide"));
}

struct MODEREQUEST {
    int WIDTH = -1;
    int HEIGHT = -1;
    int DEPTH = -1;
    uint32_t FLAGS = 0;
    int CALLS = 0;
};
MODEREQUEST LASTREQUEST;

SDL_Surface* RECORDINGMODE(int width, int height, int depth, uint32_t flags) {
    LASTREQUEST = MODEREQUEST{width, height, depth, flags, LASTREQUEST.CALLS + 1};
    return SDL_SetVideoMode(64, 48, 32, SDL_SWSURFACE);
}

MODEREQUEST REQUESTFOR(const char* config) {
    std::remove("config.cfg");
    if (config != nullptr) WRITEFILE("config.cfg", config);
    LASTREQUEST = MODEREQUEST{};
    if (KELFONT != nullptr) {
        TTF_CloseFont(KELFONT);
        KELFONT = nullptr;
    }
    auto* const realMode = KELSETVIDEOMODE;
    KELSETVIDEOMODE = RECORDINGMODE;
    KELSDL_INIT();
    KELSETVIDEOMODE = realMode;
    EXPECT_EQ(1, LASTREQUEST.CALLS);
    return LASTREQUEST;
}

#define EXPECT_MODE(request, w, h, d, flags)         \
    do {                                              \
        MODEREQUEST r_ = (request);                   \
        EXPECT_EQ((w), r_.WIDTH);                     \
        EXPECT_EQ((h), r_.HEIGHT);                    \
        EXPECT_EQ((d), r_.DEPTH);                     \
        EXPECT_EQ(uint32_t(flags), r_.FLAGS) << std::hex << r_.FLAGS; \
    } while (0)

TEST(ConfigFile, TheVideoRequestFollowsTheFile) {
    SCRATCHDIR dir;
    EXPECT_MODE(REQUESTFOR("xres\n1024\nyres\n768\ndepth\n16\nsdl_fullscreen\n"), 1024, 768, 16, 0x80006004u);
    EXPECT_EQ(33, KELFRAMEPERIOD);
    EXPECT_NE(nullptr, KELFONT);
    EXPECT_MODE(REQUESTFOR("xres, 1024, yres, 768, depth, 16, sdl_fullscreen"), 1024, 768, 16, 0x80006004u);
    EXPECT_MODE(REQUESTFOR("xres\r\n1024\r\nyres\r\n768\r\ndepth\r\n32\r\n"), 1024, 768, 32, 0x6004u);
    EXPECT_MODE(REQUESTFOR("  XRes  ,800.5\n YRES ,801.5\nDepth,&h20\n"), 800, 802, 32, 0x6004u);
    EXPECT_MODE(REQUESTFOR("xres,640,yres,480,depth,32,sdl_hwsurface,17,sdl_doublebuf,bogus,sdl_hwaccel,"
                           "sdl_hwpalette,sdl_swsurface"),
                640, 480, 32, 0x60006105u);
}

TEST(ConfigFile, DefaultsApplyOnlyWhenBothSizesAreMissing) {
    SCRATCHDIR dir;
    EXPECT_MODE(REQUESTFOR(nullptr), 640, 480, 32, 0x6004u);
    EXPECT_MODE(REQUESTFOR("sdl_fullscreen\n"), 640, 480, 32, 0x6004u);
    EXPECT_MODE(REQUESTFOR("xres, 0, yres, 0, sdl_fullscreen"), 640, 480, 32, 0x6004u);
    EXPECT_MODE(REQUESTFOR("xres, 800\n"), 800, 0, 0, 0x6004u);
    EXPECT_MODE(REQUESTFOR("yres, 600\nxres"), 0, 600, 0, 0x6004u);
    EXPECT_MODE(REQUESTFOR("xres, sdl_hwsurface, yres, 600, depth, 32"), 0, 600, 32, 0x6004u);
}

SDL_Surface* REFUSINGMODE(int, int, int, uint32_t) { return nullptr; }

TEST(StartupFailureDeathTest, AVideoModeThatCannotBeSetEndsWithStatus1) {
    SCRATCHDIR dir;
    WRITEFILE("config.cfg", "xres, 1024, yres, 768, depth, 16, sdl_fullscreen");
    EXPECT_EXIT(
        {
            std::freopen("/dev/null", "r", stdin);  // the console key wait must not hold the test
            KELSETVIDEOMODE = REFUSINGMODE;
            KELSDL_INIT();
        },
        testing::ExitedWithCode(1), "^vexil: cannot open a 1024 x 768 x 16 video mode[^\n]*\n$");
}

TEST(StartupFailureDeathTest, AMissingFontEndsWithStatus1) {
    SCRATCHDIR dir;
    MAKEDATAFOLDER({"vera.ttf"});
    EXPECT_EXIT(
        {
            std::freopen("/dev/null", "r", stdin);
            STARTTESTVIDEO(320, 200);
        },
        testing::ExitedWithCode(1), "^vexil: cannot open the font data/vera.ttf[^\n]*\n$");
}

}  // namespace
