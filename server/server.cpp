// Placeholder until the server is built.
#include "server/server.h"

void GAMESERVER(int32_t /*SERVEROPTION*/) {}
