// libFuzzer target: one client's whole byte stream into the server's
// admission and dispatcher (see harness.h). Beyond what the sanitizers
// catch, a run fails when the server keeps a connection whose peer has
// sent everything and closed, when it sends anything a client cannot read
// (to that peer or to the bystander), or when one player's stream costs
// another player (the bystander) its place.
// Threads: libFuzzer's one thread.
#include <cstdio>
#include <cstdlib>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    if (!FUZZSERVERSTART(31100, 31149)) {
        std::fprintf(stderr, "vexil-fuzz-server: cannot listen on any port in 31100-31149\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FUZZSERVEROUTCOME outcome = FUZZSERVERSTREAM(data, size);
    if (!outcome.RELEASED) {
        std::fprintf(stderr, "vexil-fuzz-server: the server kept a finished connection (%d passes)\n", outcome.PASSES);
        std::abort();
    }
    if (!outcome.READABLE) {
        std::fprintf(stderr, "vexil-fuzz-server: the server sent bytes a client cannot read\n");
        std::abort();
    }
    if (!outcome.BYSTANDERKEPT) {
        std::fprintf(stderr, "vexil-fuzz-server: another player's stream cost the bystander its slot\n");
        std::abort();
    }
    return 0;
}
