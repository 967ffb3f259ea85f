// Placeholder until the client is built.
#include "client/client.h"

void GAMECLIENT(int32_t& /*CLIENTOPTION*/) {}
