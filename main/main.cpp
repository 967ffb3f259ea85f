// Entry point: video, sprites, the remembered defaults, the pre-game screen,
// then the server thread (which serves only when this process hosts) and
// the client loop in the main thread, and the shutdown.
// Threads: main thread; GAMESERVERTHREAD is started, stopped and joined here.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "client/client.h"
#include "client/recorder.h"
#include "main/spine.h"
#include "main/viewer.h"
#include "media/video.h"
#include "menu/pregame.h"
#include "server/server.h"

namespace {
std::thread GAMESERVERTHREAD;

// Stops the server thread and waits for it, so that joined players see the
// host leave as after Escape. Runs when the display is lost, and on any
// exit() a library makes on its own (a thread still joinable at exit would
// abort the process instead of ending it).
void STOPSERVERTHREAD() {
    QUITLOOP = 1;
    if (!GAMESERVERTHREAD.joinable()) return;
    if (GAMESERVERTHREAD.get_id() == std::this_thread::get_id()) {
        GAMESERVERTHREAD.detach();
    } else {
        GAMESERVERTHREAD.join();
    }
}

// Ctrl-C, kill and the end of a desktop session end the game as Quit or
// Escape would (a hosting game stops its server first). Installed before
// SDL starts, so SDL leaves these signals to us instead of turning them into
// window-close requests, which the game ignores.
void ONSTOPSIGNAL(int /*signal*/) { QUITLOOP = 1; }
}  // namespace

int main(int argc, char** argv) {
    // The one option: "--replay FILE" watches a recording instead of playing.
    if (argc > 1) {
        const std::string option = argv[1];
        if (argc != 3 || option != "--replay") {
            std::cerr << "usage: vexil [--replay FILE]" << std::endl;
            return 2;
        }
        KELEXITSTATUS = REPLAYVIEWER(argv[2]);
        KELQUIT();
    }
    KELDISPLAYLOSTHOOK = STOPSERVERTHREAD;
    std::atexit(STOPSERVERTHREAD);
    struct sigaction action {};
    action.sa_handler = ONSTOPSIGNAL;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    KELSDL_INIT();
    LOADGRAPHICS();
    READDEFAULTS("defaults.cfg", VX_HOSTNAME, VX_PLAYERNAME);
    PREGAME();
    WRITEDEFAULTS("defaults.cfg", VX_HOSTNAME, VX_PLAYERNAME);
    if (QUITLOOP == 1) KELQUIT();

    DEBUGMESSAGE("Spawning Server Thread");
    GAMESERVERTHREAD = std::thread([] { GAMESERVER(0); });

    DEBUGMESSAGE("Spawning Client Thread");
    int32_t CLIENTOPTION = 0;
    // Every game played is recorded into demos/ of the player's folder.
    CLIENTRECORDDIR = "demos";
    GAMECLIENT(CLIENTOPTION);
    QUITLOOP = 1;

    DEBUGMESSAGE("Waiting for Server Thread to terminate");
    // When this process does not host, the thread has long returned and the
    // join is immediate.
    STOPSERVERTHREAD();
    KELQUIT();
}
