// Feeding one peer's whole byte stream to the game's own wire readers
// through a memory connection (no sockets, no waits), for the fuzz targets
// and for the regression test that replays their inputs.
// Server side: a bystander player, admitted once, holds slot 0 and only
// listens; the stream is accepted into slot 1 and server ticks run on a
// hand-moved clock until the server lets it go. Client side: the stream is
// the server's answer from the slot number on; the client's handshake and
// frame steps run until it finds the connection closed.
// Threads: everything runs in the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>

// Runs one stream; returns null when every check holds, else what failed:
// the side kept a finished connection, sent bytes its peer cannot read, or
// (server) the stream cost the bystander its slot.
const char* FUZZSTREAM(bool client, const uint8_t* data, size_t size);
