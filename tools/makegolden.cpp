// vexil-make-golden DIR: makes the golden recordings of the suite into DIR
// (tools/make-golden.sh runs it in a private network namespace, as it hosts
// on the game port); the suite's golden test replays them.
// A hosted game on SDL's dummy driver at 800 x 600 x 32 with three
// vexil-bots players. The host's client is played by key presses ("gg"
// typed into the chat box, then turns, thrust, reverse and fire toward the
// nearest ship) and recorded as the game records; the first bot records its
// own game (a recording without a display) and leaves after 12 s. The game
// runs in real time for at least 10 s and until the host has been hit and
// has seen other ships and shots, at most 30 s (then it fails: status 1).
// Each recording is then replayed to choose frames worth a picture (most
// projectiles in view, the first hit on the own ship, most ships in view)
// and replayed again to take them.
// Files: hosted.vxdemo, hosted.pictures, bot.vxdemo, bot.pictures.
// Threads: main (the host's client) and the server thread.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <SDL.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bots/bot.h"
#include "client/client.h"
#include "client/network.h"
#include "client/recorder.h"
#include "client/replay.h"
#include "main/spine.h"
#include "media/clock.h"
#include "server/server.h"
#include "media/video.h"
#include "shared/protocol.h"
#include "tools/goldenpictures.h"

namespace fs = std::filesystem;
extern char** environ;

namespace {
constexpr int SHORTEST = 300;  // frames of the hosted game, at least
constexpr int LONGEST = 900;
constexpr int BOTSJOIN = 16;  // once the chat has been typed

int32_t OWNSLOT() { return PROTOVALIDSLOT(CLIENTCURRENTPLAYERSHIP) ? CLIENTCURRENTPLAYERSHIP : 0; }

void PUSHKEY(SDLKey key, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

// vexil-bots with ARGS; its pid, or -1.
pid_t BOTS(std::vector<std::string> args) {
    args.insert(args.begin(), VEXILBOTSPATH);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, VEXILBOTSPATH, nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Its exit status, or -1 when it has not ended within MS (it is then killed).
int ENDED(pid_t pid, uint32_t ms) {
    if (pid <= 0) return -1;
    int status = 0;
    for (const uint32_t start = SDL_GetTicks(); SDL_GetTicks() - start < ms; SDL_Delay(20))
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// The host's play, as key presses: "gg" and Return into the open chat box
// first, then it turns toward the nearest other ship, closes in, backs off
// when near and holds fire while aimed.
std::array<bool, SDLK_LAST> HELD{};
void HOLD(SDLKey key, bool down) {
    if (HELD[key] != down) PUSHKEY(key, down), HELD[key] = down;
}
void KEYS(int frame) {
    if (frame < 14) {
        const SDLKey typed[] = {SDLK_g, SDLK_g, SDLK_RETURN};
        if (frame >= 8 && frame % 2 == 0) PUSHKEY(typed[(frame - 8) / 2 % 3], true);
        if (frame >= 8 && frame % 2 == 1) PUSHKEY(typed[(frame - 8) / 2 % 3], false);
        return;
    }
    const int32_t own = OWNSLOT();
    const int32_t target = BOTNEARESTSHIP(CLIENTPLAYERS, own);
    const SHIPTYPE& me = CLIENTPLAYERS[static_cast<size_t>(own)];
    double turn = 0, distance = 0;
    if (target >= 0) {
        const SHIPTYPE& other = CLIENTPLAYERS[static_cast<size_t>(target)];
        turn = BOTTURNBY(me.SUBDIRECTION, BOTHEADINGTO(other.X - me.X, other.Y - me.Y));
        distance = std::hypot(other.X - me.X, other.Y - me.Y);
    }
    HOLD(SDLK_RIGHT, turn > 1);
    HOLD(SDLK_LEFT, turn < -1);
    HOLD(SDLK_UP, target >= 0 && distance > 250);
    HOLD(SDLK_DOWN, target >= 0 && distance < 80);
    HOLD(SDLK_SPACE, target >= 0 && std::fabs(turn) < 4);
}


bool INVIEW(double x, double y) {
    const SHIPTYPE& own = CLIENTPLAYERS[static_cast<size_t>(OWNSLOT())];
    // The world view is 652 x 550 around the own ship.
    return std::fabs(x - own.X) < 320 && std::fabs(y - own.Y) < 270;
}

// Replays PATH to choose its picture frames, then again to take them.
bool PICTURES(const std::string& path, const std::string& out) {
    if (!REPLAYOPEN(path)) return std::fprintf(stderr, "%s: %s\n", path.c_str(), REPLAYMESSAGE().c_str()), false;
    int64_t mostshots = 0, hit = 0, mostships = 0;
    int bestshots = -1, bestships = -1;
    int32_t health = CLIENTPLAYERS[static_cast<size_t>(OWNSLOT())].HEALTH;
    while (REPLAYSTEP(false)) {
        int shots = 0, ships = 0;
        for (const BULLETTYPE& b : CLIENTBULLETS) shots += b.SPRITE != 0 && INVIEW(b.X, b.Y);
        for (const SHIPTYPE& s : CLIENTPLAYERS) ships += s.CONNECTED != 0 && INVIEW(s.X, s.Y);
        const int64_t frame = REPLAYFRAMEINDEX();
        // Ties go to the later frame: the first frame (where a jump back to
        // the start lands) can never be drawn on its own, and a bot alone
        // sees only itself from the start.
        if (shots >= bestshots) bestshots = shots, mostshots = frame;
        if (ships >= bestships) bestships = ships, mostships = frame;
        const int32_t now = CLIENTPLAYERS[static_cast<size_t>(OWNSLOT())].HEALTH;
        if (hit == 0 && now < health) hit = frame;
        health = now;
    }
    if (REPLAYSTATUS() != REPLAYFINISHED) return std::fprintf(stderr, "%s: %s\n", path.c_str(), REPLAYMESSAGE().c_str()), false;
    std::vector<int64_t> frames{mostshots, hit != 0 ? hit : REPLAYFRAMECOUNT() / 2, mostships};
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    std::fprintf(stderr, "%s: %lld frames; pictures of frames", path.c_str(), static_cast<long long>(REPLAYFRAMECOUNT()));
    for (int64_t f : frames) std::fprintf(stderr, " %lld", static_cast<long long>(f));
    std::fprintf(stderr, " (%d projectiles, first hit at %lld, %d ships in view)\n", bestshots, static_cast<long long>(hit), bestships);

    REPLAYOPEN(path);
    std::vector<GOLDENPICTURE> pictures;
    for (int64_t f : frames) {
        while (REPLAYFRAMEINDEX() + 1 < f && REPLAYSTEP(false)) {}
        if (!REPLAYSTEP(true)) return false;
        pictures.push_back({f, GOLDENGRAB()});
    }
    REPLAYCLOSE();
    return GOLDENWRITEPICTURES(out, pictures);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: vexil-make-golden DIR\n"), 2;
    // Everything is made in a folder beside DIR's files and moved in only
    // once the whole set is made, so a failed run leaves the old set.
    const fs::path target = fs::absolute(argv[1]);
    const fs::path dir = target / ".new";
    const fs::path botdir = dir / "bot";
    fs::remove_all(dir);
    fs::create_directories(botdir);
    // A scratch run folder (the data, an 800 x 600 x 32 configuration) on
    // SDL's dummy driver.
    std::string scratch = (fs::temp_directory_path() / "vexil-golden-XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr) return std::fprintf(stderr, "vexil-make-golden: no scratch folder\n"), 1;
    fs::create_directory_symlink(fs::path(VEXIL_SOURCE_DIR) / "data", fs::path(scratch) / "data");
    fs::current_path(scratch);
    std::FILE* config = std::fopen("config.cfg", "w");
    if (config != nullptr) std::fputs("xres, 800, yres, 600, depth, 32", config), std::fclose(config);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    KELSDL_INIT();
    LOADGRAPHICS();
    VX_HOSTNAME = HOSTINGADDRESS;
    VX_PLAYERNAME = "Ann";
    std::thread server([] { GAMESERVER(0); });

    // GAMECLIENT's set-up, with the chat box open from the start.
    const uint32_t arenastate = RANDOMSTATENOW();
    CLIENTPLACEOBJECTS();
    for (const uint32_t start = SDL_GetTicks(); SERVERHOSTING == 0 && SDL_GetTicks() - start < 10000;) SDL_Delay(1);
    CLIENTSTARTNETWORK();
    CLIENTSENDREADY();
    CLIENTSETCHATROW(800, 600);
    CLIENTCHATMONITOR.ACTIVE = 1;
    bool ok = CLIENTCONNECTED() && RECORDERSTART(dir.string(), "localhost", arenastate, VX_PLAYERNAME);
    const std::string hosted = RECORDERPATH();

    int frame = 0;
    for (; ok && frame < BOTSJOIN; ++frame) KEYS(frame), CLIENTFRAME();
    // The bots in processes of their own, as vexil-bots runs them: the first
    // records its game and leaves after 12 s, the other two stay.
    const pid_t recording = BOTS({"--name", "Bea", "--seconds", "12", "--record", botdir.string(), "127.0.0.1"});
    const pid_t others2 = BOTS({"--count", "2", "--name", "bot", "127.0.0.1"});
    ok = ok && recording > 0 && others2 > 0;
    bool hit = false, shots = false, others = false;
    for (; ok && QUITLOOP == 0 && frame < LONGEST && (frame < SHORTEST || !(hit && shots && others)); ++frame) {
        KEYS(frame);
        CLIENTFRAME();
        const SHIPTYPE& own = CLIENTPLAYERS[static_cast<size_t>(OWNSLOT())];
        hit = hit || own.HEALTH < 100;
        for (const BULLETTYPE& b : CLIENTBULLETS) shots = shots || (b.SPRITE != 0 && INVIEW(b.X, b.Y));
        for (int32_t s = 0; s < MAXPLAYERS; ++s)
            others = others || (s != OWNSLOT() && CLIENTPLAYERS[static_cast<size_t>(s)].CONNECTED != 0 &&
                                INVIEW(CLIENTPLAYERS[static_cast<size_t>(s)].X, CLIENTPLAYERS[static_cast<size_t>(s)].Y));
    }
    RECORDERSTOP();
    if (others2 > 0) kill(others2, SIGTERM);
    const bool botsended = ENDED(recording, 15000) == 0;
    ok = ENDED(others2, 10000) == 0 && botsended && ok;
    QUITLOOP = 1;
    server.join();
    std::fprintf(stderr, "hosted game: %d frames, hit %d, shots in view %d, other ships in view %d, chat line 0 \"%s\"\n",
                 frame, hit, shots, others, CLIENTCHATBUFFER[0].size() > 3 ? CLIENTCHATBUFFER[0].c_str() + 3 : "");
    ok = ok && hit && shots && others;

    std::error_code error;
    fs::rename(hosted, dir / "hosted.vxdemo", error);
    ok = ok && !error;
    fs::directory_iterator recorded(botdir, error);
    ok = ok && !error && recorded != fs::directory_iterator();
    if (ok) fs::rename(recorded->path(), dir / "bot.vxdemo", error);
    ok = ok && !error && PICTURES((dir / "hosted.vxdemo").string(), (dir / "hosted.pictures").string()) &&
         PICTURES((dir / "bot.vxdemo").string(), (dir / "bot.pictures").string());
    for (const char* name : {"hosted.vxdemo", "hosted.pictures", "bot.vxdemo", "bot.pictures"})
        if (ok) fs::rename(dir / name, target / name, error), ok = !error;
    fs::current_path(target);
    fs::remove_all(scratch, error);
    fs::remove_all(dir, error);
    if (!ok) std::fprintf(stderr, "vexil-make-golden: the golden files were not made\n");
    return ok ? 0 : 1;
}
