// Test support: the real executables (vexil, vexil-server, vexil-bots) as
// child processes with piped output, deadlines on every wait, signals, exit
// statuses and resident size. Used from the test's main thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct CHILDPROCESS {
    pid_t PID = -1;
    int OUT = -1;  // the child's standard output (read end)
    int ERR = -1;  // the child's standard error (read end)
    std::string OUTTEXT;  // everything read from OUT so far
    std::string ERRTEXT;  // everything read from ERR so far
};

// Starts PATH with ARGS. ENV entries are set in the child before the exec;
// an entry with an empty value is removed instead. Standard input is
// /dev/null; the child is killed when the calling thread's process ends.
// PID stays -1 when the start failed.
CHILDPROCESS STARTCHILD(const std::string& path, const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& env = {});
// Reads standard output until it contains WANTED, the stream ends, or MS
// pass; true when WANTED was seen.
bool READOUTUNTIL(CHILDPROCESS& child, const std::string& wanted, int ms);
// Reads whatever both streams deliver for at most MS (or until both end).
void READREST(CHILDPROCESS& child, int ms);
// The exit status (128 + signal for a killed child), or -1 when it has not
// ended within MS; it is then killed with SIGKILL and reaped.
int WAITEXIT(CHILDPROCESS& child, int ms);
// True while the child runs (it is reaped, with its status kept, once it has ended).
bool CHILDALIVE(CHILDPROCESS& child, int* status = nullptr);
// Kills (SIGKILL) and reaps a child that still runs, and closes the pipes.
void ENDCHILD(CHILDPROCESS& child);
// True when nothing listens on TCP PORT of any local address.
bool PORTFREE(uint16_t port);
// VmRSS of a process in KiB, or -1 when it cannot be read.
long RESIDENTKIB(pid_t pid);
