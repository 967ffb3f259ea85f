// Test support: the real executables (vexil-server, vexil-bots) as child
// processes with piped output, deadlines on every wait, exit statuses and
// resident size. Each CHILDPROCESS is used by the thread that started it.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

struct CHILDPROCESS {
    pid_t PID = -1;         // -1 when the start failed or once it is reaped
    int OUT = -1, ERR = -1; // read ends of its standard output and error
    std::string OUTTEXT, ERRTEXT;  // everything read from them so far
};

// Starts PATH with ARGS and ENV set (an empty value unsets) in the child;
// standard input is /dev/null and the child dies with the test process.
CHILDPROCESS STARTCHILD(const std::string& path, const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& env = {});
// Reads standard output until it holds WANTED (true), it ends or MS pass.
bool READOUTUNTIL(CHILDPROCESS& child, const std::string& wanted, int ms);
// Reads both streams for at most MS, or until both end.
void READREST(CHILDPROCESS& child, int ms);
// True while the child runs; once it has ended, reaps it and sets STATUS
// (128 + signal for a killed child).
bool CHILDALIVE(CHILDPROCESS& child, int* status = nullptr);
// The exit status, or -1 when it has not ended within MS (it is then killed).
int WAITEXIT(CHILDPROCESS& child, int ms);
// Kills and reaps a child that still runs, and closes the pipes.
void ENDCHILD(CHILDPROCESS& child);
// VmRSS of a process in KiB, or -1 when it cannot be read.
long RESIDENTKIB(pid_t pid);
