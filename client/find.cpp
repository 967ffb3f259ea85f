// vexil-find: the game finder for terminals and scripts. Searches the local
// networks the way the pre-game screen does, or asks only the hosts named,
// prints one line per game (address, players, name) and ends with status 0
// when a game answered, 1 when none did (saying where it looked on standard
// error) and 2 on a usage error.
// Threads: one.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/finder.h"

namespace {
constexpr double LONGESTSEARCHSECONDS = 60.0;

int USAGE(const char* why) {
    if (why != nullptr) std::fprintf(stderr, "vexil-find: %s\n", why);
    std::fprintf(stderr, "usage: vexil-find [--seconds S] [HOST...]\n");
    return 2;
}

// S seconds as a whole number of milliseconds, or 0 when S is no number
// from 0.1 to 60.
uint32_t SEARCHLENGTH(const char* text) {
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds >= 0.1 && seconds <= LONGESTSEARCHSECONDS)) return 0;
    return static_cast<uint32_t>(std::lrint(seconds * 1000.0));
}
}  // namespace

int main(int argc, char** argv) {
    uint32_t lengthms = FINDERSEARCHMS;
    std::vector<std::string> hosts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds") {
            if (i + 1 == argc) return USAGE("--seconds needs a number of seconds");
            lengthms = SEARCHLENGTH(argv[++i]);
            if (lengthms == 0) return USAGE("--seconds takes a number from 0.1 to 60");
        } else if (arg == "--help" || arg == "-h") {
            std::printf("usage: vexil-find [--seconds S] [HOST...]\n"
                        "Lists the Vexil! games that answer on UDP port 7778: on every local network,\n"
                        "or only on the HOSTs named. Status 0 when a game answered, 1 when none did.\n");
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            return USAGE(("unknown option " + FINDERPRINTABLE(arg)).c_str());
        } else {
            hosts.push_back(arg);
        }
    }

    std::vector<std::string> failed;
    const std::vector<FINDERPLACE> places = hosts.empty() ? FINDERLOCALPLACES() : FINDERHOSTPLACES(hosts, failed);
    for (const std::string& host : failed)
        std::fprintf(stderr, "vexil-find: cannot resolve %s\n", FINDERPRINTABLE(host).c_str());
    FINDERTYPE finder;
    if (!places.empty()) {
        // Named hosts are done as soon as each has answered.
        finder.ENDWHENALLANSWER = hosts.empty() ? 0 : 1;
        if (!FINDERSTART(finder, places, FINDERNOWMS(), lengthms)) {
            std::fprintf(stderr, "vexil-find: cannot search: %s\n", finder.ERROR.c_str());
            return 1;
        }
        while (FINDERWAIT(finder, 100) != 0) {
        }
    }

    const std::vector<FINDERGAME>& games = FINDERRESULTS(finder);
    if (games.empty()) {
        std::fprintf(stderr, "vexil-find: no game answered (UDP port %d): looked on %s%s%s\n",
                     static_cast<int>(FINDERPORT), places.empty() ? "no host" : FINDERWHERE(finder).c_str(),
                     finder.ERROR.empty() ? "" : "; sending failed: ", finder.ERROR.c_str());
        return 1;
    }
    size_t addresswidth = 0, playerswidth = 0;
    std::vector<std::string> counts;
    for (const FINDERGAME& game : games) {
        counts.push_back(std::to_string(game.PLAYERS) + "/" + std::to_string(game.SLOTS));
        addresswidth = std::max(addresswidth, game.SHOWN.size());
        playerswidth = std::max(playerswidth, counts.back().size());
    }
    for (size_t i = 0; i < games.size(); ++i)
        std::printf("%-*s  %*s  %s\n", static_cast<int>(addresswidth), games[i].SHOWN.c_str(),
                    static_cast<int>(playerswidth), counts[i].c_str(), FINDERPRINTABLE(games[i].NAME).c_str());
    return 0;
}
