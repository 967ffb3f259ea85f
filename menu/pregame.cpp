// Placeholder until the pre-game screen is built.
#include "menu/pregame.h"

void PREGAME() {}
