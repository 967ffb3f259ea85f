// Memory connections (see memnet.h).
// Threads: the pending connection is thread_local; a record belongs to the
// thread that attached it.
#include "shared/memnet.h"

#include <algorithm>

#include "shared/net.h"

namespace {
// The memory connection the next accept or open hands out (per thread).
struct PENDINGMEMORY {
    bool QUEUED = false;
    const uint8_t* DATA = nullptr;
    size_t SIZE = 0;
    bool ENDS = true;
    std::vector<uint8_t>* OUT = nullptr;
    uint32_t HOST = NETMEMORYLOOPBACK;
};
thread_local PENDINGMEMORY PENDING;
char MEMORYTAG;
}  // namespace

const TCPsocket NETMEMORYSOCKET = reinterpret_cast<TCPsocket>(&MEMORYTAG);

void NETQUEUEMEMORY(const uint8_t* data, size_t size, bool ends, std::vector<uint8_t>* out, uint32_t host) {
    PENDING = PENDINGMEMORY{true, data, size, ends, out, host};
}

bool NETMEMORYQUEUED() { return PENDING.QUEUED; }

TCPsocket NETACCEPT(TCPsocket listener) {
    if (PENDING.QUEUED) return NETMEMORYSOCKET;
    return listener != nullptr ? SDLNet_TCP_Accept(listener) : nullptr;
}

TCPsocket NETOPEN(IPaddress* address) { return PENDING.QUEUED ? NETMEMORYSOCKET : SDLNet_TCP_Open(address); }

void NETMEMORYATTACH(NETCONNECTION& conn) {
    conn.MEMORY = true;
    conn.MEMIN = PENDING.DATA;
    conn.MEMINSIZE = PENDING.QUEUED ? PENDING.SIZE : 0;
    conn.MEMINENDS = PENDING.ENDS || !PENDING.QUEUED;
    conn.MEMOUT = PENDING.OUT;
    conn.PEERHOST = PENDING.HOST;
    conn.NONBLOCKING = true;
    PENDING = PENDINGMEMORY{};
}

// Whatever input is left (up to the unread limit), or the close once it is used up.
int32_t NETMEMORYPUMP(NETCONNECTION& conn) {
    if (conn.CLOSED) return 0;
    const size_t unread = NETUNREAD(conn);
    if (unread >= NETMAXUNREAD) return 0;
    const size_t count = std::min(conn.MEMINSIZE - conn.MEMINPOS, NETMAXUNREAD - unread);
    ++conn.RECVCALLS;
    if (count == 0) {
        conn.CLOSED = conn.MEMINENDS;
        return 0;
    }
    NETRECEIVED(conn, conn.MEMIN + conn.MEMINPOS, count);
    conn.MEMINPOS += count;
    return static_cast<int32_t>(count);
}

void NETMEMORYDELIVER(NETCONNECTION& conn, const uint8_t* bytes, size_t count) {
    if (conn.MEMOUT != nullptr) conn.MEMOUT->insert(conn.MEMOUT->end(), bytes, bytes + count);
}

void NETMEMORYFEED(NETCONNECTION& conn, const uint8_t* data, size_t size, bool ends) {
    if (!conn.MEMORY) return;
    conn.MEMIN = data;
    conn.MEMINSIZE = size;
    conn.MEMINPOS = 0;
    conn.MEMINENDS = ends;
}
