// Test support: child processes (see child.h).
#include "tests/support/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

static int64_t MSNOW() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waits up to MS for bytes on FD and appends one read of them to TEXT;
// closes FD at the end of the stream.
static void READSOME(int& fd, std::string& text, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (fd < 0 || poll(&p, 1, ms) <= 0) return;
    char chunk[4096];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) return text.append(chunk, static_cast<size_t>(n)), void();
    close(fd), fd = -1;
}

CHILDPROCESS STARTCHILD(const std::string& path, const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& env) {
    CHILDPROCESS child;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return child;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    child.PID = fork();
    if (child.PID == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (const auto& [name, value] : env) value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    child.OUT = out[0], child.ERR = err[0];
    return child;
}

bool READOUTUNTIL(CHILDPROCESS& child, const std::string& wanted, int ms) {
    const int64_t end = MSNOW() + ms;
    while (child.OUTTEXT.find(wanted) == std::string::npos && child.OUT >= 0 && MSNOW() < end) READSOME(child.OUT, child.OUTTEXT, 50);
    return child.OUTTEXT.find(wanted) != std::string::npos;
}

void READREST(CHILDPROCESS& child, int ms) {
    for (const int64_t end = MSNOW() + ms; (child.OUT >= 0 || child.ERR >= 0) && MSNOW() < end;) {
        READSOME(child.OUT, child.OUTTEXT, 10);
        READSOME(child.ERR, child.ERRTEXT, 10);
    }
}

bool CHILDALIVE(CHILDPROCESS& child, int* status) {
    int raw = 0;
    if (child.PID <= 0 || waitpid(child.PID, &raw, WNOHANG) == 0) return child.PID > 0;
    if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    child.PID = -1;
    return false;
}

int WAITEXIT(CHILDPROCESS& child, int ms) {
    int status = -1;
    // Both pipes are drained meanwhile so that a chatty child never blocks on them.
    for (const int64_t end = MSNOW() + ms; MSNOW() < end; READREST(child, 10), poll(nullptr, 0, 5))
        if (!CHILDALIVE(child, &status)) return status;
    ENDCHILD(child);
    return -1;
}

void ENDCHILD(CHILDPROCESS& child) {
    if (child.PID > 0 && kill(child.PID, SIGKILL) == 0) waitpid(child.PID, nullptr, 0);
    if (child.OUT >= 0) close(child.OUT);
    if (child.ERR >= 0) close(child.ERR);
    child.PID = child.OUT = child.ERR = -1;
}

long RESIDENTKIB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}
