// The game client loop. Main thread only.
#pragma once

#include <cstdint>

void GAMECLIENT(int32_t& CLIENTOPTION);
