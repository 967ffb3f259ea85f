// The pre-game screen: player name, host address, and the choice to start a
// server, join one or quit. Main thread only.
#pragma once

#include <string>

#include "menu/button.h"
#include "menu/inputbox.h"
#include "menu/scrollbar.h"

extern BUTTONTYPE STARTUPNEWSERVERBUTTON;
extern BUTTONTYPE STARTUPJOINSERVERBUTTON;
extern BUTTONTYPE STARTUPQUITBUTTON;
extern std::string STARTUPSELECTEDLABEL;
extern STRMONITORTYPE STARTUPNAMELABEL;
extern INPUTBOXTYPE STARTUPNAMEMONITOR;
extern std::string STARTUPIPLABELSTRING;
extern STRMONITORTYPE STARTUPIPLABEL;
extern INPUTBOXTYPE STARTUPIPMONITOR;

// Runs the screen's frame loop until one of its buttons is chosen. Leaves
// VX_HOSTNAME and VX_PLAYERNAME as edited and chosen, and QUITLOOP at 1 when
// the user chose to quit (or a stop signal set it meanwhile).
void PREGAME();

// Called once per frame right after the page flip, when set; null in the
// game. Tests use it to move the mouse and press keys between frames.
extern void (*PREGAMEFRAMEHOOK)();
