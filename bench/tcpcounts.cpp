// TCP_INFO counters of the server's accepted connections (see tcpcounts.h).
// Only the kernel's header is used here: it and the C library's
// <netinet/tcp.h> cannot share a file.
#include "bench/tcpcounts.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

TCPCOUNTS SERVERSIDECOUNTS(uint16_t port) {
    TCPCOUNTS counts;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const int last = limit.rlim_cur > 65536 ? 65536 : static_cast<int>(limit.rlim_cur);
    for (int fd = 0; fd < last; ++fd) {
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) continue;
        if (local.sin_family != AF_INET || ntohs(local.sin_port) != port) continue;
        sockaddr_in peer{};
        length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;  // the listener
        tcp_info info{};
        length = sizeof info;
        if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) continue;
        ++counts.SOCKETS;
        counts.SEGMENTS += info.tcpi_segs_out;
        counts.DATASEGMENTS += info.tcpi_data_segs_out;
        counts.BYTES += info.tcpi_bytes_sent;
    }
    return counts;
}
