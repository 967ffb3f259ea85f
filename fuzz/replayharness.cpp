// Feeds arbitrary bytes to the recording reader and the replay engine as a
// file (no window, no sockets): FUZZREPLAY, for the fuzz target and for the
// regression test that replays its kept inputs, and (built with
// VEXIL_FUZZREPLAY) the libFuzzer target vexil-fuzz-replay, for which a
// failed check ends the run like a crash.
// Threads: everything runs in the caller's thread.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "client/replay.h"
#include "main/spine.h"
#include "shared/world.h"

// Frames one input may replay: a small file can inflate to many frames, and
// each runs the client's whole frame.
static constexpr int64_t FUZZREPLAYFRAMES = 3000;

// Opens the bytes as a recording, replays its frames, jumps back to the
// start and ahead once; null when it ended as the reader says it must (a
// refusal with a reason, or a final state with one), else what failed.
const char* FUZZREPLAY(const uint8_t* data, size_t size) {
    RESETRANDOM();
    if (!REPLAYOPENBYTES(std::vector<uint8_t>(data, data + size))) {
        const bool said = !REPLAYMESSAGE().empty();
        REPLAYCLOSE();
        return said ? nullptr : "a refused file without a reason";
    }
    const int64_t frames = REPLAYFRAMECOUNT();
    while (REPLAYFRAMEINDEX() < FUZZREPLAYFRAMES && REPLAYSTEP(false)) {
    }
    const bool ended = REPLAYFRAMEINDEX() >= FUZZREPLAYFRAMES || REPLAYSTATUS() != REPLAYPLAYING;
    const bool counted = REPLAYFRAMEINDEX() <= frames;
    if (frames > 0 && frames < FUZZREPLAYFRAMES / 2) {
        REPLAYSEEK(0);
        REPLAYSEEK(REPLAYDURATION());
    }
    const bool said = REPLAYSTATUS() == REPLAYPLAYING || !REPLAYMESSAGE().empty();
    REPLAYCLOSE();
    if (!ended) return "the replay stopped while frames were left";
    if (!counted) return "the replay applied more frames than the file holds";
    return said ? nullptr : "the replay ended without saying why";
}

#ifdef VEXIL_FUZZREPLAY
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const char* fault = FUZZREPLAY(data, size)) std::fprintf(stderr, "vexil-fuzz: %s\n", fault), std::abort();
    return 0;
}
#endif
