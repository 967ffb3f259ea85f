// World model tables, the per-thread random generator and the rounding
// helpers. The tables are zero-filled at start and live for the whole
// process; the server thread owns the SERVER* ones. The CLIENT* ones exist
// once per thread that runs a client (the game's main thread; each bot).
#include "shared/world.h"

#include <cmath>
#include <limits>

SHIPTABLE SERVERPLAYERS;
BULLETTABLE SERVERBULLETS;
STARTABLE SERVERSTARFIELD;
CHATBUFFER SERVERCHATBUFFER;

CLIENTTHREADLOCAL SHIPTABLE CLIENTPLAYERS;
CLIENTTHREADLOCAL BULLETTABLE CLIENTBULLETS;
CLIENTTHREADLOCAL STARTABLE CLIENTSTARFIELD;
CLIENTTHREADLOCAL CHATBUFFER CLIENTCHATBUFFER;
CLIENTTHREADLOCAL int32_t CLIENTCURRENTPLAYERSHIP = 0;
CLIENTTHREADLOCAL int32_t CLIENTPVPVARX = 0;
CLIENTTHREADLOCAL int32_t CLIENTPVPVARY = 0;

namespace {
// The classic portable C library generator (values 0..32767), with its state
// kept per thread so the server thread's draws never disturb the client's.
constexpr uint32_t RANDOMSTART = 1;
thread_local uint32_t RANDOMSTATE = RANDOMSTART;
}  // namespace

int32_t RANDOMINT() {
    RANDOMSTATE = RANDOMSTATE * 1103515245u + 12345u;
    return static_cast<int32_t>((RANDOMSTATE / 65536u) % 32768u);
}

double RANDOMVALUE() { return RANDOMINT() / 32768.0; }

int32_t RANDOMARENACOORDINATE() { return FLOORINT(RANDOMVALUE() * 10000.0) - 5000; }

void RESETRANDOM() { RANDOMSTATE = RANDOMSTART; }

uint32_t RANDOMSTATENOW() { return RANDOMSTATE; }

void SETRANDOMSTATE(uint32_t state) { RANDOMSTATE = state; }

namespace {
int32_t CLAMPTOINT(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}
}  // namespace

// Values outside the 32-bit range (only a faulty packet can bring them)
// saturate instead of invoking undefined behaviour.
int32_t ROUNDEVEN(double value) { return CLAMPTOINT(std::nearbyint(value)); }

int32_t FLOORINT(double value) { return CLAMPTOINT(std::floor(value)); }

void PUSHCHATLINE(CHATBUFFER& buffer, const std::string& line) {
    for (int i = CHATLINES - 1; i > 0; --i) buffer[i] = buffer[i - 1];
    buffer[0] = line;
}
