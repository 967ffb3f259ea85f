// vexil-bench-startup: from process start to the first pre-game frame.
//
// The program starts itself again as a child (fork, then exec of this same
// executable, which links the same libraries as the game) in a scratch run
// folder, on SDL's dummy video driver. The child runs the game's start-up
// in the game's order: KELSDL_INIT, LOADGRAPHICS (19 bitmaps and 576 turned
// copies), the defaults file, then PREGAME; after PREGAME's first page flip
// its frame hook sends the monotonic clock readings to the parent through
// a pipe and the child ends. The time counts from just before the fork, so
// the exec, the dynamic loading and the C++ start-up are all included.
// Five runs after one to warm the file cache; the median is reported.
// Prints ROW lines (see benchsupport.h).
// Threads: one in each process.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/benchsupport.h"
#include "main/spine.h"
#include "media/video.h"
#include "menu/pregame.h"

namespace {

constexpr int RUNS = 5;

// Readings the child sends: main entered, video up, sprites loaded, first
// frame shown, and the number of turned copies it found.
struct READINGS {
    double MAINENTERED = 0;
    double VIDEOUP = 0;
    double SPRITESLOADED = 0;
    double FIRSTFRAME = 0;
    double TURNEDCOPIES = 0;
};

READINGS CHILDREADINGS;
int CHILDPIPE = -1;

int COUNTTURNEDCOPIES() {
    int count = 0;
    for (int column = 1; column <= 64; ++column) {
        const size_t c = static_cast<size_t>(column);
        for (size_t row = 0; row < 3; ++row) count += PLAYER1SPRITES[row][c] != nullptr ? 1 : 0;
        count += PLAYER2SPRITES[0][c] != nullptr ? 1 : 0;
        count += PLAYER3SPRITES[0][c] != nullptr ? 1 : 0;
        count += PLAYER4SPRITES[0][c] != nullptr ? 1 : 0;
        for (size_t row = 0; row < 3; ++row) count += BULLETSPRITES[row][c] != nullptr ? 1 : 0;
    }
    return count;
}

void FIRSTFRAMESHOWN() {
    CHILDREADINGS.FIRSTFRAME = WALLNOW();
    const ssize_t written = write(CHILDPIPE, &CHILDREADINGS, sizeof CHILDREADINGS);
    std::_Exit(written == static_cast<ssize_t>(sizeof CHILDREADINGS) ? 0 : 1);
}

int CHILD(int fd) {
    CHILDREADINGS.MAINENTERED = WALLNOW();
    CHILDPIPE = fd;
    alarm(30);  // a start-up that never shows a frame ends here, not never
    KELSDL_INIT();
    CHILDREADINGS.VIDEOUP = WALLNOW();
    LOADGRAPHICS();
    CHILDREADINGS.SPRITESLOADED = WALLNOW();
    CHILDREADINGS.TURNEDCOPIES = COUNTTURNEDCOPIES();
    READDEFAULTS("defaults.cfg", VX_HOSTNAME, VX_PLAYERNAME);
    PREGAMEFRAMEHOOK = FIRSTFRAMESHOWN;
    PREGAME();
    return 1;  // PREGAME returned without showing a frame
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0) return CHILD(std::atoi(argv[2]));

    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return 1;
    self[length] = 0;
    const std::string folder = MAKESCRATCHRUNFOLDER();
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    std::vector<double> total, video, sprites, frame;
    int turned = 0;
    bool failed = false;
    for (int run = 0; run <= RUNS; ++run) {
        int channel[2];
        if (pipe(channel) != 0) return 1;
        std::fflush(stdout);
        const double started = WALLNOW();
        const pid_t child = fork();
        if (child < 0) return 1;
        if (child == 0) {
            close(channel[0]);
            const int null = open("/dev/null", O_WRONLY);  // the sprite loading trace
            if (null >= 0) dup2(null, STDOUT_FILENO);
            const std::string fd = std::to_string(channel[1]);
            execl(self, "vexil-bench-startup", "--child", fd.c_str(), static_cast<char*>(nullptr));
            std::_Exit(127);
        }
        close(channel[1]);
        READINGS readings;
        size_t got = 0;
        while (got < sizeof readings) {
            const ssize_t n = read(channel[0], reinterpret_cast<char*>(&readings) + got, sizeof readings - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        close(channel[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (got != sizeof readings || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            failed = true;
            continue;
        }
        if (run == 0) continue;  // the file cache's warm-up
        total.push_back(readings.FIRSTFRAME - started);
        video.push_back(readings.VIDEOUP - readings.MAINENTERED);
        sprites.push_back(readings.SPRITESLOADED - readings.VIDEOUP);
        frame.push_back(readings.FIRSTFRAME - readings.SPRITESLOADED);
        turned = static_cast<int>(readings.TURNEDCOPIES);
    }
    REMOVESCRATCHRUNFOLDER(folder);

    const STATS whole = SUMMARISE(total);
    const double beforemain = SUMMARISE(total).MEDIAN - SUMMARISE(video).MEDIAN - SUMMARISE(sprites).MEDIAN -
                              SUMMARISE(frame).MEDIAN;
    ROW("Start-up: process start to the first pre-game frame, " + std::to_string(turned) + " turned copies",
        FIXED(whole.MEDIAN * 1e3, 1) + " ms median of " + std::to_string(whole.COUNT) + " (exec to main " +
            FIXED(beforemain * 1e3, 1) + ", video " + FIXED(SUMMARISE(video).MEDIAN * 1e3, 1) + ", sprites " +
            FIXED(SUMMARISE(sprites).MEDIAN * 1e3, 1) + ", pre-game frame " + FIXED(SUMMARISE(frame).MEDIAN * 1e3, 1) + ")",
        "", "", "< 250 ms", VERDICT(!failed && whole.COUNT == RUNS && turned == 576 && whole.MEDIAN < 0.25));
    return 0;
}
