#include <vector>
#include <thread>
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "main/spine.h"
#include "shared/world.h"
#include "tests/support/screen.h"

namespace {
struct PAIR {
    std::string HOST;
    std::string NAME;
};

PAIR ROUNDTRIP(const std::string& host, const std::string& name) {
    WRITEDEFAULTS("defaults.cfg", host, name);
    PAIR back{"stale", "stale"};
    READDEFAULTS("defaults.cfg", back.HOST, back.NAME);
    return back;
}

#define EXPECT_PAIR(pair, host, name) \
    do {                              \
        PAIR p_ = (pair);             \
        EXPECT_EQ(host, p_.HOST);     \
        EXPECT_EQ(name, p_.NAME);     \
    } while (0)

TEST(DefaultsFile, ValuesComeBackAsTheTokenReaderCutsThem) {
    SCRATCHDIR dir;
    WRITEDEFAULTS("defaults.cfg", " 10.0.0.1", "Ace, \"the\" pilot ");
    EXPECT_EQ(" 10.0.0.1\nAce, \"the\" pilot \n", READFILE("defaults.cfg"));
    EXPECT_PAIR(ROUNDTRIP("127.0.0.1", "Player One"), "127.0.0.1", "Player One");
    EXPECT_PAIR(ROUNDTRIP("", "Bob"), "Bob", "");
    EXPECT_PAIR(ROUNDTRIP("1.2.3.4", "Bo,b"), "1.2.3.4", "Bo");
    EXPECT_PAIR(ROUNDTRIP("host,x", "Bob"), "host", "x");
    EXPECT_PAIR(ROUNDTRIP("  spaced", "name  "), "spaced", "name  ");
    EXPECT_PAIR(ROUNDTRIP("\"quoted, yes\"", "p"), "quoted, yes", "p");
}

TEST(DefaultsFile, AMissingFileGivesTwoEmptyValues) {
    SCRATCHDIR dir;
    PAIR read{"old", "old"};
    READDEFAULTS("defaults.cfg", read.HOST, read.NAME);
    EXPECT_PAIR(read, "", "");
}

}  // namespace

std::vector<int32_t> DRAWS(int count) {
    std::vector<int32_t> values;
    for (int i = 0; i < count; ++i) values.push_back(RANDOMINT());
    return values;
}
