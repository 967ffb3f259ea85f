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

TEST(Rounding, StoresRoundHalfToEvenAndFloorRoundsDown) {
    EXPECT_EQ(0, ROUNDEVEN(0.5));
    EXPECT_EQ(2, ROUNDEVEN(1.5));
    EXPECT_EQ(2, ROUNDEVEN(2.5));
    EXPECT_EQ(0, ROUNDEVEN(-0.5));
    EXPECT_EQ(-2, ROUNDEVEN(-1.5));
    EXPECT_EQ(-1, FLOORINT(-0.5));
    EXPECT_EQ(4999, FLOORINT(4999.999));
    EXPECT_EQ(std::numeric_limits<int32_t>::max(), ROUNDEVEN(1e12));
    EXPECT_EQ(std::numeric_limits<int32_t>::min(), FLOORINT(-1e12));
    EXPECT_EQ(0, ROUNDEVEN(std::nan("")));
}

TEST(ChatBuffer, NewLinesEnterAtTheTopAndTheOldestDropsOut) {
    CHATBUFFER buffer{};
    for (int i = 0; i <= 13; ++i) PUSHCHATLINE(buffer, "line" + std::to_string(i));
    EXPECT_EQ("line13", buffer[0]);
    EXPECT_EQ("line12", buffer[1]);
    EXPECT_EQ("line1", buffer[12]);  // line0 has dropped out
}

}  // namespace

std::vector<int32_t> DRAWS(int count) {
    std::vector<int32_t> values;
    for (int i = 0; i < count; ++i) values.push_back(RANDOMINT());
    return values;
}

TEST(Random, EveryThreadDrawsTheSameSequenceUndisturbed) {
    RESETRANDOM();
    const std::vector<int32_t> reference = DRAWS(20000);
    RESETRANDOM();
    // Two threads drawing at the same time as this one each see the whole
    // sequence from its start: the server thread's draws never shift the
    // star field of the client thread.
    std::vector<int32_t> first, second;
    std::thread a([&] { first = DRAWS(20000); });
    std::thread b([&] { second = DRAWS(20000); });
    const std::vector<int32_t> mine = DRAWS(20000);
    a.join();
    b.join();
    EXPECT_EQ(reference, first);
    EXPECT_EQ(reference, second);
    EXPECT_EQ(reference, mine);
    // A sequence worth the name: many different values.
    std::vector<int32_t> sorted = reference;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_GT(std::unique(sorted.begin(), sorted.end()) - sorted.begin(), 10000);
}
