// libFuzzer target: the server's whole byte stream, handshake answer first,
// into the client's handshake and dispatcher, with the frame's prediction
// steps after every message and one drawn frame at the end (see harness.h).
// Beyond what the sanitizers catch, a run fails when the client keeps a
// connection whose peer has sent everything and closed, or when what the
// client sent back would not read as a client's stream.
// Threads: libFuzzer's thread, and the harness's far-end thread.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The client's failed handshakes each print a line for the player.
    std::cerr.setstate(std::ios::badbit);
    if (!FUZZCLIENTSTART(31150, 31199, std::string(VEXIL_SOURCE_DIR) + "/data")) {
        std::fprintf(stderr, "vexil-fuzz-client: cannot start (video, sprites or a port in 31150-31199)\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FUZZCLIENTOUTCOME outcome = FUZZCLIENTSTREAM(data, size);
    if (!outcome.RELEASED) {
        std::fprintf(stderr, "vexil-fuzz-client: the client kept a finished connection (%d passes)\n", outcome.PASSES);
        std::abort();
    }
    if (!outcome.SENTREADABLE) {
        std::fprintf(stderr, "vexil-fuzz-client: the client sent bytes a server cannot read (joined %d, %d passes):",
                     outcome.JOINED ? 1 : 0, outcome.PASSES);
        for (uint8_t byte : outcome.SENT) std::fprintf(stderr, " %02x", byte);
        std::fprintf(stderr, "\n");
        std::abort();
    }
    return 0;
}
