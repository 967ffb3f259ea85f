// vexil-replaycheck [--shares] FILE...: replays each recording without a
// window, as fast as it goes, and prints per file its frames, duration,
// size per minute, replay speed and how it ended. With --shares it also
// encodes the file's frames again, as the recorder's writer thread does,
// and prints what that costs a frame and what each kind of server message
// adds to the compressed stream (the stream compressed again without that
// kind). Status 0 when every file replayed exactly to its end marker, 1
// otherwise. For checking recordings (golden files, bot games) and
// measuring them; no display, no network.
// Threads: main thread only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

#include "client/demofile.h"
#include "client/replay.h"

namespace {
const char* const KINDNAMES[] = {"GOODBYE", "FULLSTATE", "kind 2", "UPDATE", "SHOTFIRED",
                                 "SHOTGONE", "CHAT", "NAMEINFO", "KILLCOUNT", "other"};

// The file's records, its frames encoded again with the messages of kind
// DROP left out (-1: none, 10: all), compressed at level 9: that size.
// With TIMES, how long each frame's encoding took.
size_t REENCODED(const std::string& path, int drop, std::vector<double>* times) {
    DEMOREADER reader;
    DEMOHEADER header;
    if (!DEMOOPEN(reader, path, header)) return 0;
    DEMOCODEC in, out;
    DEMOSTART start;
    DEMOFRAME frame, kept;
    std::vector<uint8_t> body, stream, encoded;
    uint8_t kind = 0;
    while (DEMONEXT(reader, kind, body) == DEMORECORD) {
        if (kind == DEMOSTARTRECORD && DEMODECODESTART(body.data(), body.size(), start))
            DEMOCODECBEGIN(in, start), DEMOCODECBEGIN(out, start);
        if (kind == DEMOFRAMERECORD) {
            if (!DEMODECODEFRAME(in, body.data(), body.size(), frame)) break;
            kept = frame;
            kept.MESSAGEBYTES.clear(), kept.MESSAGELENGTHS.clear();
            size_t at = 0;
            for (uint32_t length : frame.MESSAGELENGTHS) {
                const uint8_t* m = frame.MESSAGEBYTES.data() + at;
                at += length;
                const uint32_t k = m[0] | m[1] << 8 | m[2] << 16 | static_cast<uint32_t>(m[3]) << 24;
                if (drop == 10 || static_cast<int>(std::min<uint32_t>(k, 9)) == drop) continue;
                kept.MESSAGEBYTES.insert(kept.MESSAGEBYTES.end(), m, m + length);
                kept.MESSAGELENGTHS.push_back(length);
            }
            encoded.clear();
            const auto begin = std::chrono::steady_clock::now();
            DEMOENCODEFRAME(out, kept, encoded);
            if (times != nullptr)
                times->push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
            body = encoded;
        }
        DEMOAPPENDRECORD(stream, kind, body);
    }
    uLongf size = compressBound(stream.size());
    std::vector<uint8_t> packed(size);
    compress2(packed.data(), &size, stream.data(), stream.size(), 9);
    return size;
}

void SHARES(const std::string& path) {
    std::vector<double> times;
    const size_t whole = REENCODED(path, -1, &times);
    if (times.empty()) return;
    std::sort(times.begin(), times.end());
    double total = 0;
    for (double t : times) total += t;
    std::printf("  encoding a frame: mean %.3f ms, 99th percentile %.3f ms, longest %.3f ms\n",
                total * 1000 / times.size(), times[times.size() * 99 / 100] * 1000, times.back() * 1000);
    std::printf("  compressed again: %zu bytes; frames without messages %zu\n", whole, REENCODED(path, 10, nullptr));
    for (int kind = 0; kind < 10; ++kind) {
        const size_t without = REENCODED(path, kind, nullptr);
        if (without < whole)
            std::printf("  %-9s %7zu bytes (%.0f%%)\n", KINDNAMES[kind], whole - without, 100.0 * (whole - without) / whole);
    }
}
}  // namespace

int main(int argc, char** argv) {
    const bool shares = argc > 1 && std::strcmp(argv[1], "--shares") == 0;
    if (argc < 2 + (shares ? 1 : 0)) {
        std::fprintf(stderr, "usage: vexil-replaycheck [--shares] FILE...\n");
        return 2;
    }
    int status = 0;
    for (int i = shares ? 2 : 1; i < argc; ++i) {
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
        if (shares) SHARES(path);
    }
    return status;
}
