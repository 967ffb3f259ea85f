// vexil-replaycheck FILE...: replays each recording without a window, as
// fast as it goes, and prints per file its frames, duration, size per
// minute, replay speed and how it ended. Status 0 when every file replayed
// exactly to its end marker, 1 otherwise. For checking recordings (golden
// files, bot games) and measuring them; no display, no network.
// Threads: main thread only.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "client/replay.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vexil-replaycheck FILE...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        if (!REPLAYOPEN(path)) {
            std::printf("%s: %s\n", path.c_str(), REPLAYMESSAGE().c_str());
            status = 1;
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        while (REPLAYSTEP(false)) {
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::error_code error;
        const double bytes = static_cast<double>(std::filesystem::file_size(path, error));
        const double minutes = REPLAYDURATION() / 60000.0;
        std::printf("%s: %lld frames, %.1f s, %.0f bytes (%.0f bytes a minute), replayed at %.0fx real time: %s\n",
                    path.c_str(), static_cast<long long>(REPLAYFRAMECOUNT()), REPLAYDURATION() / 1000.0, bytes,
                    minutes > 0 ? bytes / minutes : 0.0, seconds > 0 ? REPLAYDURATION() / 1000.0 / seconds : 0.0,
                    REPLAYMESSAGE().c_str());
        if (REPLAYSTATUS() != REPLAYFINISHED) status = 1;
        REPLAYCLOSE();
    }
    return status;
}
