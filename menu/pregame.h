// The pre-game screen: player name, host address, and the choice to start a
// server, join one or quit. Main thread only.
#pragma once

void PREGAME();
