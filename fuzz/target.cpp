// libFuzzer targets, built twice: vexil-fuzz-server feeds one client's whole
// byte stream into the server's admission and dispatcher; vexil-fuzz-client
// (VEXIL_FUZZCLIENT) feeds the server's whole byte stream, handshake answer
// first, into the client's handshake, dispatcher and prediction steps, with
// one drawn frame at the end (see harness.h). Beyond what the sanitizers
// catch, a run fails when a side keeps a connection whose peer has sent
// everything and closed, when either side sends bytes its peer cannot read,
// or when one player's stream costs another (the bystander) its place.
// Threads: libFuzzer's one thread.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "fuzz/harness.h"

namespace {
void CHECK(bool good, const char* fault, int passes) {
    if (good) return;
    std::fprintf(stderr, "vexil-fuzz: %s (%d passes)\n", fault, passes);
    std::abort();
}
}  // namespace

#ifdef VEXIL_FUZZCLIENT
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The client's failed handshakes each print a line for the player.
    std::cerr.setstate(std::ios::badbit);
    CHECK(FUZZCLIENTSTART(VEXIL_FUZZCLIENT), "cannot start video and sprites", 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FUZZCLIENTOUTCOME outcome = FUZZCLIENTSTREAM(data, size);
    CHECK(outcome.RELEASED, "the client kept a finished connection", outcome.PASSES);
    CHECK(outcome.SENTREADABLE, "the client sent bytes a server cannot read", outcome.PASSES);
    return 0;
}
#else
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FUZZSERVEROUTCOME outcome = FUZZSERVERSTREAM(data, size);
    CHECK(outcome.RELEASED, "the server kept a finished connection", outcome.PASSES);
    CHECK(outcome.READABLE, "the server sent bytes a client cannot read", outcome.PASSES);
    CHECK(outcome.BYSTANDERKEPT, "another player's stream cost the bystander its slot", outcome.PASSES);
    return 0;
}
#endif
