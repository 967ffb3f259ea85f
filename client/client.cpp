// The client loop: arena set-up, the wait for a hosting server, the network
// start and the frame loop with the chat row. Main thread only; it shares
// QUITLOOP and SERVERHOSTING with the server thread and nothing else.
#include "client/client.h"

#include <SDL.h>

#include "client/controls.h"
#include "client/demofile.h"
#include "client/network.h"
#include "client/recorder.h"
#include "client/render.h"
#include "main/spine.h"
#include "media/input.h"
#include "media/surface.h"
#include "media/text.h"
#include "media/video.h"
#include "shared/world.h"

BUTTONTYPE CLIENTCHATBUTTON;
INPUTBOXTYPE CLIENTCHATMONITOR;
std::string CLIENTCHATMESSAGE;

void CLIENTPLACEOBJECTS() {
    for (STARTYPE& star : CLIENTSTARFIELD) {
        star.X = FLOORINT(RANDOMVALUE() * 10000) - 5000;
        star.Y = FLOORINT(RANDOMVALUE() * 10000) - 5000;
        star.SPRITE = FLOORINT(RANDOMVALUE() * 10);
    }
    for (SHIPTYPE& ship : CLIENTPLAYERS) {
        ship.X = FLOORINT(RANDOMVALUE() * 10000) - 5000;
        ship.Y = FLOORINT(RANDOMVALUE() * 10000) - 5000;
        ship.SUBDIRECTION = FLOORINT(RANDOMVALUE() * 15);
        ship.DIRECTION = FLOORINT(RANDOMVALUE() * 15);
    }
    CLIENTPLAYERS[0].GRAPHIC = PLAYER1SPRITES[1][0];
    CLIENTPLAYERS[1].GRAPHIC = PLAYER2SPRITES[0][0];
    CLIENTPLAYERS[2].GRAPHIC = PLAYER3SPRITES[0][0];
    CLIENTPLAYERS[3].GRAPHIC = PLAYER4SPRITES[0][0];
    for (size_t slot = 0; slot <= 3; ++slot) {
        CLIENTPLAYERS[slot].HEALTH = 100;
        CLIENTPLAYERS[slot].MAXHEALTH = 100;
    }
}

void CLIENTSETCHATROW(int32_t W, int32_t H) {
    SETBUTTON(CLIENTCHATBUTTON, W - 144, H - 20, 100, 20, "Say");
    SETINPUTBOX(CLIENTCHATMONITOR, 2, H - 20, W - 148, 20, CLIENTCHATMESSAGE);
}

bool CLIENTCLOSEREQUESTED() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return false;
    SDL_PumpEvents();
    SDL_Event event;
    return SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_QUITMASK) > 0;
}

void CLIENTWAITFORSLOT() {
    // The close request first: reading the keys empties the event queue.
    if (CLIENTCLOSEREQUESTED() || KELMULTIKEY(CLIENTKEYLEAVE) != 0) QUITLOOP = 1;
    CLIENTDRAWEVERYTHING();
    if (KELSCREENSURFACE != nullptr) {
        const std::string line = "The server is full: waiting for a free slot (Escape leaves)";
        int32_t w = 0;
        int32_t h = 0;
        KELTEXTSIZE(line, w, h);
        KELPRINT((KELSCREENSURFACE->w - 148 - w) / 2, KELSCREENSURFACE->h / 2 - 20, KELCOLOUR(255, 255, 255), line);
    }
    KELPAGEFLIP();
}

CLIENTTHREADLOCAL void (*CLIENTSTEERING)() = nullptr;

void CLIENTFRAMEUPDATE() {
    if (CLIENTSTEERING != nullptr) {
        CLIENTSTEERING();
    } else {
        CLIENTCONTROLS();
    }
    CLIENTNETGETDATAPACKET();
    CLIENTPHYSICS();
    CLIENTBULLETPHYSICS();
    if (BUTTONPRESSED(CLIENTCHATBUTTON) != 0 && !CLIENTCHATMESSAGE.empty()) {
        CLIENTSENDCHAT(CLIENTCHATMESSAGE);
        CLIENTCHATMESSAGE.clear();
    }
    if (INPUTBOXPRESSED(CLIENTCHATMONITOR) != 0) {
        CLIENTSENDCHAT(CLIENTCHATMESSAGE);
        CLIENTCHATMESSAGE.clear();
    }
    // Everything this frame queued (the CONTROLS reply, chat) leaves in one go.
    CLIENTNETFLUSH();
}

void CLIENTFRAMEPICTURE() {
    CLIENTDRAWPICTURE();
    INPUTBOXRENDER(CLIENTCHATMONITOR);
    BUTTONRENDER(CLIENTCHATBUTTON);
}

void CLIENTFRAMEDRAW(bool picture) {
    CLIENTDRAWSTATE();
    if (picture) CLIENTFRAMEPICTURE();
}

void CLIENTFRAME() {
    RECORDERFRAMEBEGIN();
    CLIENTFRAMEUPDATE();
    RECORDERPHASE(DEMODRAW);
    CLIENTFRAMEDRAW(true);
    RECORDERPHASE(DEMOFLIP);
    KELPAGEFLIP();
    RECORDERFRAMEEND();
}

void GAMECLIENT(int32_t& /*CLIENTOPTION*/) {
    const uint32_t arenastate = RANDOMSTATENOW();
    CLIENTPLACEOBJECTS();

    DEBUGMESSAGE("Client::wait");
    if (!ISHOSTADDRESS(VX_HOSTNAME)) SERVERHOSTING = 1;
    // The hosting server sets the flag once its port is open and its first
    // connection pass runs; a server that gave up sets QUITLOOP instead.
    while (SERVERHOSTING == 0 && QUITLOOP == 0) SDL_Delay(0);

    DEBUGMESSAGE("Client:Apply");
    // A full server keeps the player waiting for a slot, on a screen that
    // says so, until a slot frees or the player leaves.
    CLIENTWAITINGFRAME = CLIENTWAITFORSLOT;
    if (QUITLOOP == 0) CLIENTSTARTNETWORK();
    CLIENTWAITINGFRAME = nullptr;
    CLIENTSENDREADY();

    int32_t W = 0;
    int32_t H = 0;
    KELGETSCREENDIMENSIONS(W, H);
    CLIENTSETCHATROW(W, H);

    // Without a host there is no game to show: the message is all.
    if (CLIENTNOHOST != 0) return;
    // Every other start runs at least one pass: after a failed connect or a
    // refusal that one pass is the last.
    // A game that has a connection is recorded; a refused join is not.
    if (!CLIENTRECORDDIR.empty() && CLIENTCONNECTED() && QUITLOOP == 0) {
        RECORDERSTART(CLIENTRECORDDIR, ISHOSTADDRESS(VX_HOSTNAME) ? "localhost" : TRIMSPACES(VX_HOSTNAME), arenastate,
                      VX_PLAYERNAME);
    }
    do {
        CLIENTFRAME();
    } while (QUITLOOP == 0);
    RECORDERSTOP();
}
