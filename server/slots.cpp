// Slot stages, the slots in play, the state messages to one slot, the start
// of a disconnect, the budgets' settings and the log hook (see slots.h).
// Threads: server thread only.
#include "server/slots.h"

#include <algorithm>

#include "main/spine.h"
#include "media/clock.h"
#include "shared/protocol.h"

std::array<SLOTSTATE, SERVERSLOTS> SERVERSLOTSTATES{};
std::atomic<uint32_t> SERVERSILENCELIMITMS{NETSILENCELIMITMS};
std::atomic<int32_t> SERVERCHATBURST{5};
std::atomic<int32_t> SERVERCHATREFILLMS{1000};
std::atomic<int32_t> SERVERADMITBURST{16};
std::atomic<int32_t> SERVERADMITREFILLMS{500};
void (*SERVERLOGHOOK)(const std::string& LINE) = nullptr;

namespace {
constexpr uint32_t DISCONNECTPAUSEMS = 50;

SLOTSTATE& STATEOF(int32_t A) { return SERVERSLOTSTATES[static_cast<size_t>(A)]; }

uint32_t STAGECLOCK(int32_t stage) {
    return stage == SLOTAWAITCODE || stage == SLOTAWAITNAME ? NETNOW() : KELGETTICKS();
}

// Writes a state message with every slot that is not settled shown as not
// connected: a connector in its handshake, a refused one and a leaver in
// its closing pause are no ship in anyone's view. Their own records keep
// CONNECTED 1 throughout.
template <typename WRITE>
void WRITEHIDINGUNSETTLED(WRITE write) {
    std::array<int32_t, SERVERSLOTS> shown{};
    for (size_t b = 0; b < SERVERSLOTS; ++b) {
        shown[b] = SERVERPLAYERS[b].CONNECTED;
        if (SERVERSLOTSTATES[b].STAGE != SLOTSETTLED) SERVERPLAYERS[b].CONNECTED = 0;
    }
    write();
    for (size_t b = 0; b < SERVERSLOTS; ++b) SERVERPLAYERS[b].CONNECTED = shown[b];
}
}  // namespace

void SERVERLOG(const std::string& LINE) {
    if (SERVERLOGHOOK != nullptr) SERVERLOGHOOK(LINE);
}

std::string SERVERLOGNAME(const std::string& NAME) {
    std::string text = "\"";
    for (char c : NAME) text += c >= 32 && c < 127 && c != '"' ? c : '?';
    return text + "\"";
}

std::string SERVERADDRESSTEXT(uint32_t HOST) {
    const auto* b = reinterpret_cast<const uint8_t*>(&HOST);  // the library keeps it in network order
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

void SERVERENTERSTAGE(int32_t A, int32_t STAGE, uint32_t WAITMS) {
    STATEOF(A).STAGE = STAGE;
    STATEOF(A).DEADLINE = STAGECLOCK(STAGE) + WAITMS;
}

bool SERVERSTAGEDUE(int32_t A) { return static_cast<int32_t>(STAGECLOCK(STATEOF(A).STAGE) - STATEOF(A).DEADLINE) >= 0; }

bool SERVERSLOTINPLAY(int32_t A) {
    return A >= 0 && A < SERVERSLOTS && SERVERPLAYERS[static_cast<size_t>(A)].CONNECTED != 0 &&
           STATEOF(A).STAGE == SLOTSETTLED;
}

void SERVERNETSENDDATAPACKET(int32_t A, int32_t X) {
    DEBUGMESSAGE("server::SndProcPacket");
    NETCONNECTION* conn = SERVERCONNECTION(A);
    if (conn == nullptr) return;
    switch (X) {
        case GOODBYE:
            PROTOWRITEKIND(*conn, GOODBYE);
            SERVERNETDISCONNECTREMOTE(A);
            break;
        case FULLSTATE:
            WRITEHIDINGUNSETTLED([&] { PROTOWRITEFULLSTATE(*conn, SERVERPLAYERS); });
            break;
        case UPDATE:
            WRITEHIDINGUNSETTLED([&] { PROTOWRITEUPDATE(*conn, SERVERPLAYERS, A); });
            break;
        default:
            break;
    }
}

void SERVERNETDISCONNECTREMOTE(int32_t A) {
    if (A < 0 || A >= SERVERSLOTS || SERVERTCPSOCKS[static_cast<size_t>(A)] == nullptr) return;
    if (STATEOF(A).STAGE == SLOTCLOSING) return;
    // Nothing more is read from a leaving peer; what is queued still goes out.
    SERVERCONNECTIONS[static_cast<size_t>(A)].CLOSED = true;
    SERVERENTERSTAGE(A, SLOTCLOSING, DISCONNECTPAUSEMS);
}

bool SERVERSPENDQUIET(SERVERBUDGET& BUDGET, int32_t BURST, int32_t REFILLMS, bool& LOGNOW) {
    constexpr uint32_t LOGPAUSEMS = 1000;
    const int64_t period = std::max(1, REFILLMS);
    const int64_t most = period * std::max(1, BURST);
    const uint32_t now = KELGETTICKS();
    if (!BUDGET.STARTED) BUDGET = SERVERBUDGET{.STARTED = true, .CREDIT = most, .REFILLEDAT = now};
    BUDGET.CREDIT = std::min(most, BUDGET.CREDIT + static_cast<int64_t>(now - BUDGET.REFILLEDAT));
    BUDGET.REFILLEDAT = now;
    if (BUDGET.CREDIT >= period) {
        BUDGET.CREDIT -= period;
        return true;
    }
    LOGNOW = !BUDGET.LOGGED || now - BUDGET.LOGGEDAT >= LOGPAUSEMS;
    if (LOGNOW) BUDGET.LOGGED = true, BUDGET.LOGGEDAT = now;
    return false;
}

SERVERBUDGET& SERVERBUDGETOF(SERVERADDRESSBUDGET* TABLE, size_t COUNT, uint32_t HOST) {
    const uint32_t now = KELGETTICKS();
    SERVERADDRESSBUDGET* pick = &TABLE[0];
    for (size_t i = 0; i < COUNT; ++i) {
        SERVERADDRESSBUDGET& entry = TABLE[i];
        if (entry.USED && entry.HOST == HOST) return entry.BUDGET;
        if (pick->USED && (!entry.USED || now - entry.BUDGET.REFILLEDAT > now - pick->BUDGET.REFILLEDAT)) pick = &entry;
    }
    *pick = SERVERADDRESSBUDGET{HOST, true, {}};
    return pick->BUDGET;
}
