// Test support: child processes (see child.h).
#include "tests/support/child.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace {
int64_t MSNOW() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// One read from FD into TEXT; false at the end of the stream.
bool READSOME(int& fd, std::string& text, int ms) {
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return true;
    char chunk[4096];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) {
        close(fd);
        fd = -1;
        return false;
    }
    text.append(chunk, static_cast<size_t>(n));
    return true;
}
}  // namespace

CHILDPROCESS STARTCHILD(const std::string& path, const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& env) {
    CHILDPROCESS child;
    int out[2], err[2];
    if (pipe(out) != 0) return child;
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return child;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // Never outlive a test that died: the child ends with its parent.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == 1) _exit(127);
        for (const auto& [name, value] : env) {
            if (value.empty()) unsetenv(name.c_str());
            else setenv(name.c_str(), value.c_str(), 1);
        }
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0) dup2(nothing, 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        close(out[0]);
        close(err[0]);
        return child;
    }
    child.PID = pid;
    child.OUT = out[0];
    child.ERR = err[0];
    return child;
}

bool READOUTUNTIL(CHILDPROCESS& child, const std::string& wanted, int ms) {
    const int64_t end = MSNOW() + ms;
    while (child.OUTTEXT.find(wanted) == std::string::npos) {
        const int64_t left = end - MSNOW();
        if (left <= 0 || !READSOME(child.OUT, child.OUTTEXT, static_cast<int>(std::min<int64_t>(left, 50)))) break;
    }
    return child.OUTTEXT.find(wanted) != std::string::npos;
}

void READREST(CHILDPROCESS& child, int ms) {
    const int64_t end = MSNOW() + ms;
    while ((child.OUT >= 0 || child.ERR >= 0) && MSNOW() < end) {
        READSOME(child.OUT, child.OUTTEXT, 10);
        READSOME(child.ERR, child.ERRTEXT, 10);
    }
}

bool CHILDALIVE(CHILDPROCESS& child, int* status) {
    if (child.PID <= 0) return false;
    int raw = 0;
    const pid_t done = waitpid(child.PID, &raw, WNOHANG);
    if (done == 0) return true;
    if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    child.PID = -1;
    return false;
}

int WAITEXIT(CHILDPROCESS& child, int ms) {
    if (child.PID <= 0) return -1;
    const int64_t end = MSNOW() + ms;
    while (MSNOW() < end) {
        int status = 0;
        if (!CHILDALIVE(child, &status)) return status;
        // Keep the pipes drained so a chatty child never blocks on them.
        READSOME(child.OUT, child.OUTTEXT, 0);
        READSOME(child.ERR, child.ERRTEXT, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child.PID, SIGKILL);
    int raw = 0;
    waitpid(child.PID, &raw, 0);
    child.PID = -1;
    return -1;
}

void ENDCHILD(CHILDPROCESS& child) {
    if (child.PID > 0) {
        kill(child.PID, SIGKILL);
        int raw = 0;
        waitpid(child.PID, &raw, 0);
        child.PID = -1;
    }
    if (child.OUT >= 0) close(child.OUT);
    if (child.ERR >= 0) close(child.ERR);
    child.OUT = child.ERR = -1;
}

bool PORTFREE(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 1) == 0;
    close(fd);
    return free;
}

long RESIDENTKIB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}
