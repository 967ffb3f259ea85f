// Foundation test helpers (see foundationtest.h).
#include "tests/foundation/foundationtest.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "media/video.h"
#include "tests/support/testsupport.h"

namespace fs = std::filesystem;

void WRITEFILE(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string READFILE(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> SPLITLINES(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

namespace {
int SAVEDSTDOUT = -1;
const char* CAPTUREFILE = "captured-stdout.txt";
}  // namespace

void BEGINCAPTURE() {
    std::fflush(stdout);
    SAVEDSTDOUT = dup(STDOUT_FILENO);
    int fd = open(CAPTUREFILE, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (SAVEDSTDOUT < 0 || fd < 0) throw std::runtime_error("cannot capture standard output");
    dup2(fd, STDOUT_FILENO);
    close(fd);
}

std::string ENDCAPTURE() {
    std::fflush(stdout);
    dup2(SAVEDSTDOUT, STDOUT_FILENO);
    close(SAVEDSTDOUT);
    SAVEDSTDOUT = -1;
    return READFILE(CAPTUREFILE);
}

void RESTARTTESTVIDEO(int width, int height) {
    if (KELFONT != nullptr) {
        TTF_CloseFont(KELFONT);
        KELFONT = nullptr;
    }
    STARTTESTVIDEO(width, height);
}

void MAKEDATAFOLDER(const std::vector<std::string>& leaveOut) {
    fs::remove("data");
    fs::create_directory("data");
    for (const auto& entry : fs::directory_iterator(SOURCEPATH("data"))) {
        std::string name = entry.path().filename().string();
        if (std::find(leaveOut.begin(), leaveOut.end(), name) != leaveOut.end()) continue;
        fs::copy_file(entry.path(), fs::path("data") / name);
    }
}
