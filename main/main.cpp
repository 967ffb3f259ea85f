// Entry point: video, sprites, the remembered defaults, the pre-game screen,
// then the server thread (which serves only when this process hosts) and
// the client loop in the main thread, and the shutdown.
#include <thread>

#include "client/client.h"
#include "main/spine.h"
#include "media/video.h"
#include "menu/pregame.h"
#include "server/server.h"

namespace {
std::thread GAMESERVERTHREAD;
}

int main(int /*argc*/, char** /*argv*/) {
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
    GAMECLIENT(CLIENTOPTION);
    QUITLOOP = 1;

    DEBUGMESSAGE("Waiting for Server Thread to terminate");
    // When this process does not host, the thread has long returned and the
    // join is immediate.
    if (GAMESERVERTHREAD.joinable()) GAMESERVERTHREAD.join();
    KELQUIT();
}
