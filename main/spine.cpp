// Shared flags, start-up strings, the trace hook and the defaults file.
// See spine.h for which thread touches what.
#include "main/spine.h"

#include <cstdio>

#include "media/video.h"

std::atomic<int32_t> QUITLOOP{0};
std::atomic<int32_t> SERVERHOSTING{0};
std::string VX_HOSTNAME;
std::string VX_PLAYERNAME;
int32_t GAMEPORT = 7778;

void DEBUGMESSAGE(const char* /*x*/) {}

std::string TRIMSPACES(const std::string& text) {
    size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(' ');
    return text.substr(start, end - start + 1);
}

bool ISHOSTADDRESS(const std::string& hostname) { return TRIMSPACES(hostname) == HOSTINGADDRESS; }

void READDEFAULTS(const char* path, std::string& hostname, std::string& playername) {
    KELTOKENFILE file;
    KELOPENTOKENFILE(file, path);
    hostname = KELREADTOKEN(file);
    playername = KELREADTOKEN(file);
    KELCLOSETOKENFILE(file);
}

void WRITEDEFAULTS(const char* path, const std::string& hostname, const std::string& playername) {
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr) return;
    std::fwrite(hostname.data(), 1, hostname.size(), file);
    std::fputc('\n', file);
    std::fwrite(playername.data(), 1, playername.size(), file);
    std::fputc('\n', file);
    std::fclose(file);
}
