// The kernel's own counters (TCP_INFO) of the server's accepted connections,
// found among this process's descriptors by their local port.
// Threads: none of their own; safe from any thread.
#pragma once

#include <cstdint>

struct TCPCOUNTS {
    int SOCKETS = 0;           // connections found
    uint64_t SEGMENTS = 0;     // segments sent, pure acknowledgements included
    uint64_t DATASEGMENTS = 0; // segments sent that carried data
    uint64_t BYTES = 0;        // data bytes sent (retransmissions included)
};

// Sums the counters over every connected TCP socket of this process whose
// local port is PORT: on a server those are exactly its accepted players.
TCPCOUNTS SERVERSIDECOUNTS(uint16_t port);
