#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support/peer.h"

namespace {

constexpr uint16_t GAMEPORTNUMBER = 7778;

int LISTENON(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct CHILD {
    pid_t PID = -1;
    int OUT = -1;
    int ERR = -1;
};

CHILD START() {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        execl(VEXILSERVERPATH, VEXILSERVERPATH, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    return {pid, out[0], err[0]};
}

std::string READLINE(int fd, int ms) {
    std::string text;
    for (int waited = 0; waited < ms && text.find('\n') == std::string::npos; waited += 10) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) continue;
        char chunk[256];
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    return text;
}

// Exit status, or -1 (child killed) after MS.
int WAITEXIT(pid_t pid, int ms) {
    int status = 0;
    for (int waited = 0; waited < ms; waited += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

}  // namespace

TEST(DedicatedServer, ServesAndStopsCleanlyOnSigtermAndSigint) {
    for (int signal : {SIGTERM, SIGINT}) {
        const int probe = LISTENON(GAMEPORTNUMBER);
        if (probe < 0) FAIL() << "TCP port 7778 is in use inside the test's own network namespace";
        close(probe);

        CHILD child = START();
        ASSERT_GT(child.PID, 0);
        EXPECT_EQ(READLINE(child.OUT, 10000), "Vexil! server listening on TCP port 7778\n");
        TESTCLIENT ann;
        ASSERT_TRUE(ann.JOIN(GAMEPORTNUMBER, "Ann"));
        // Port 7778 is shared with other suites, so slot 0 may be taken.
        EXPECT_TRUE(PROTOVALIDSLOT(ann.SLOT));
        EXPECT_TRUE(ann.RUNUNTIL([&] { return ann.UPDATES >= 3; }, 10000));

        kill(child.PID, signal);
        EXPECT_EQ(WAITEXIT(child.PID, 10000), 0) << "signal " << signal;
        EXPECT_TRUE(ann.RUNUNTIL([&] { return ann.GONE; }, 10000));
        EXPECT_EQ(READLINE(child.ERR, 100), "");
        close(child.OUT);
        close(child.ERR);
    }
}

TEST(DedicatedServer, PortInUseEndsWithOneLineAndStatusOne) {
    const int holder = LISTENON(GAMEPORTNUMBER);
    if (holder < 0) FAIL() << "TCP port 7778 is in use inside the test's own network namespace";
    CHILD child = START();
    ASSERT_GT(child.PID, 0);
    EXPECT_EQ(WAITEXIT(child.PID, 10000), 1);
    EXPECT_EQ(READLINE(child.ERR, 1000), "vexil: cannot listen on TCP port 7778: address already in use\n");
    EXPECT_EQ(READLINE(child.OUT, 100), "");
    close(holder);
    close(child.OUT);
    close(child.ERR);
}
