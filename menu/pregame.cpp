// The pre-game screen: three buttons, two labelled input boxes editing the
// player name and the host address, the game list below them (gamelist.cpp),
// and its own frame loop. Its effect on the
// rest of the program is what it leaves in VX_HOSTNAME, VX_PLAYERNAME and
// QUITLOOP. Main thread only, before the server thread exists.
#include "menu/pregame.h"

#include <SDL.h>

#include "main/spine.h"
#include "media/surface.h"
#include "menu/gamelist.h"

BUTTONTYPE STARTUPNEWSERVERBUTTON;
BUTTONTYPE STARTUPJOINSERVERBUTTON;
BUTTONTYPE STARTUPQUITBUTTON;
std::string STARTUPSELECTEDLABEL;
STRMONITORTYPE STARTUPNAMELABEL;
INPUTBOXTYPE STARTUPNAMEMONITOR;
std::string STARTUPIPLABELSTRING;
STRMONITORTYPE STARTUPIPLABEL;
INPUTBOXTYPE STARTUPIPMONITOR;

void (*PREGAMEFRAMEHOOK)() = nullptr;

namespace {
constexpr int32_t BACKR = 212, BACKG = 208, BACKB = 200;

void DRAWPREGAME() {
    int32_t w = 0;
    int32_t h = 0;
    KELGETSCREENDIMENSIONS(w, h);
    MENUFILL(0, 0, w, h, BACKR, BACKG, BACKB);
    BUTTONRENDER(STARTUPNEWSERVERBUTTON);
    BUTTONRENDER(STARTUPJOINSERVERBUTTON);
    BUTTONRENDER(STARTUPQUITBUTTON);
    STRMONITORRENDER(STARTUPNAMELABEL);
    STRMONITORRENDER(STARTUPIPLABEL);
    INPUTBOXRENDER(STARTUPNAMEMONITOR);
    INPUTBOXRENDER(STARTUPIPMONITOR);
    GAMELISTRENDER();
}

// "Join a Server": the hosting address typed by hand joins a server already
// running on this machine instead of hosting.
void JOINTYPEDHOST() {
    if (VX_HOSTNAME == HOSTINGADDRESS) VX_HOSTNAME = "localhost";
}
}  // namespace

void PREGAME() {
    SETBUTTON(STARTUPNEWSERVERBUTTON, 10, 100, 200, 100, "Start New Server");
    SETBUTTON(STARTUPJOINSERVERBUTTON, 10, 210, 200, 100, "Join a Server");
    SETBUTTON(STARTUPQUITBUTTON, 10, 320, 200, 100, "Quit a Server");
    SDL_WM_SetCaption("Vexil!", nullptr);

    STARTUPSELECTEDLABEL = "Player Name";
    SETSTRMONITOR(STARTUPNAMELABEL, 220, 210, STARTUPSELECTEDLABEL);
    SETINPUTBOX(STARTUPNAMEMONITOR, 220, 230, 300, 20, VX_PLAYERNAME);

    STARTUPIPLABELSTRING = "IP Address";
    SETSTRMONITOR(STARTUPIPLABEL, 220, 255, STARTUPIPLABELSTRING);
    SETINPUTBOX(STARTUPIPMONITOR, 220, 270, 300, 20, VX_HOSTNAME);
    SETGAMELIST();

    // QUITLOOP set meanwhile (by a stop signal) leaves as Quit does.
    while (QUITLOOP == 0) {
        if (BUTTONPRESSED(STARTUPNEWSERVERBUTTON) != 0) {
            VX_HOSTNAME = HOSTINGADDRESS;
            break;
        }
        if (BUTTONPRESSED(STARTUPJOINSERVERBUTTON) != 0) {
            JOINTYPEDHOST();
            break;
        }
        if (BUTTONPRESSED(STARTUPQUITBUTTON) != 0) {
            QUITLOOP = 1;
            break;
        }
        INPUTBOXPRESSED(STARTUPNAMEMONITOR);
        INPUTBOXPRESSED(STARTUPIPMONITOR);
        // A double-clicked game joins as "Join a Server" would.
        if (GAMELISTPRESSED() != 0) {
            JOINTYPEDHOST();
            break;
        }
        DRAWPREGAME();
        KELPAGEFLIP();
        if (PREGAMEFRAMEHOOK != nullptr) PREGAMEFRAMEHOOK();
    }
    GAMELISTSTOP();
}
