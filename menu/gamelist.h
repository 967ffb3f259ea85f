// The pre-game screen's game list: the "Find Games" button, the games that
// answered (address, name, players), a status line and a scroll bar when
// more games answered than the list shows. It sits in the space below the
// IP Address box and never moves the screen's other widgets. Clicking a game
// puts its address into VX_HOSTNAME (so into the IP Address box); a double
// click chooses it at once. Nothing is sent before "Find Games" is clicked.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "client/finder.h"
#include "menu/button.h"
#include "menu/scrollbar.h"

// Where the list lies on the screen (pixels): fits a 640 x 480 window.
constexpr int32_t GAMELISTX = 220, GAMELISTY = 328, GAMELISTW = 400;
constexpr int32_t GAMELISTROWH = 16, GAMELISTROWS = 7;
constexpr uint32_t GAMELISTDOUBLECLICKMS = 400;

extern BUTTONTYPE STARTUPFINDBUTTON;
extern FINDERTYPE STARTUPFINDER;
extern SCROLLBARTYPE STARTUPGAMESBAR;
extern int32_t STARTUPFIRSTGAME;  // the game shown in the top row

// Once per pre-game screen: the button, the scroll bar, no search yet.
void SETGAMELIST();
// Once per frame, before drawing: the button (a click starts a search), the
// scroll bar, row clicks, and the running search. Returns 1 when a game was
// double-clicked (VX_HOSTNAME then holds its address), else 0.
int32_t GAMELISTPRESSED();
void GAMELISTRENDER();
// Ends a running search (the screen is left).
void GAMELISTSTOP();
// The status line for the finder's state.
std::string GAMELISTSTATUS(const FINDERTYPE& finder);
