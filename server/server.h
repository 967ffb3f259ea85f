// The game server thread's body. Server thread only.
#pragma once

#include <cstdint>

void GAMESERVER(int32_t SERVEROPTION);
