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

CHILDPROCESS STARTCHILD(const std::string& path, const std::vector<std::string>& args,
                        const std::vector<std::pair<std::string, std::string>>& env = {});
bool READOUTUNTIL(CHILDPROCESS& child, const std::string& wanted, int ms);
void READREST(CHILDPROCESS& child, int ms);
int WAITEXIT(CHILDPROCESS& child, int ms);
bool CHILDALIVE(CHILDPROCESS& child, int* status = nullptr);
void ENDCHILD(CHILDPROCESS& child);
bool PORTFREE(uint16_t port);
long RESIDENTKIB(pid_t pid);
