// The game client loop and the client's arena set-up. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "menu/button.h"
#include "menu/inputbox.h"
#include "shared/world.h"

// The chat row: the "Say" button and the chat entry box, which edits
// CLIENTCHATMESSAGE in place.
extern BUTTONTYPE CLIENTCHATBUTTON;
extern INPUTBOXTYPE CLIENTCHATMONITOR;
extern std::string CLIENTCHATMESSAGE;

// Sets up the arena, waits for the local server when hosting, connects and
// runs one frame per pass until QUITLOOP is set. CLIENTOPTION is not used.
void GAMECLIENT(int32_t& CLIENTOPTION);
// Places the client's stars and resting ships from the client thread's own
// random sequence, so every client process draws the same star field.
void CLIENTPLACEOBJECTS();
// True when the window's close was asked for since the last look (the
// request is taken off the event queue).
bool CLIENTCLOSEREQUESTED();
// One frame of the wait for a free slot on a full server: the arena with no
// ship yet, a line saying what the game waits for, the page flip; Escape or
// closing the window sets QUITLOOP.
void CLIENTWAITFORSLOT();
// Puts the chat row along the bottom of a W x H screen.
void CLIENTSETCHATROW(int32_t W, int32_t H);
// One frame: controls, the server messages that have arrived, prediction,
// chat sending, drawing, the chat row and the page flip; a recording marks
// the three phases.
void CLIENTFRAME();
// Its phases: everything up to the flush of what the frame sends, and the
// drawing (PICTURE false keeps only the state the drawing writes: camera,
// headings, ship images). The third phase is KELPAGEFLIP.
void CLIENTFRAMEUPDATE();
// What sets the own ship's controls at the start of a frame: CLIENTCONTROLS
// (the keys) unless this thread's client is steered otherwise (a replay of
// a bot's game). Per thread.
extern CLIENTTHREADLOCAL void (*CLIENTSTEERING)();
void CLIENTFRAMEDRAW(bool picture);
// The drawing alone, from the state CLIENTDRAWSTATE left: the game screen
// and the chat row.
void CLIENTFRAMEPICTURE();
