// SERVERNETGETDATAPACKET and the players' chat budgets.
// Threads: server thread only.
#include "server/exchange.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "main/spine.h"
#include "media/clock.h"
#include "server/announce.h"
#include "server/slots.h"
#include "shared/net.h"
#include "shared/physics.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {
const std::string PLAYERCHATCOLOUR = "\xFE\xFE\xFE";

// Each player's chat budget; a line costs one use.
std::array<SERVERBUDGET, SERVERSLOTS> CHATBUDGETS{};

// Takes one line from slot A's budget; false (logged at most once a second) when it is spent.
bool SPENDCHAT(int32_t A) {
    return SERVERSPEND(CHATBUDGETS[static_cast<size_t>(A)], SERVERCHATBURST.load(), SERVERCHATREFILLMS.load(), [A] {
        return "chat held back: slot " + std::to_string(A) + " " +
               SERVERLOGNAME(SERVERPLAYERS[static_cast<size_t>(A)].PLAYERNAME) + " is over its chat budget";
    });
}

// The controls as a real client can send them: thrust within +-300, the
// fire key 0 or 1, the heading within [0, 64]. A heading outside takes the
// physics' own wrap (one that is not a finite number becomes 64), so it is
// never relayed raw to players served before the physics runs. Every value
// a real client sends passes unchanged.
void BOUNDCONTROLS(SHIPTYPE& ship) {
    ship.CURRENTACCELERATION = std::clamp(ship.CURRENTACCELERATION, -SERVERMAXTHRUST, SERVERMAXTHRUST);
    ship.SHOOTING = ship.SHOOTING != 0 ? 1 : 0;
    if (!(ship.SUBDIRECTION >= 0 && ship.SUBDIRECTION <= HEADINGTURN)) SHIPWRAPHEADING(ship.SUBDIRECTION);
}

void LOGDEPARTURE(int32_t A, const char* how) {
    SERVERLOG(std::string(how) + ": slot " + std::to_string(A) + " " + SERVERLOGNAME(SERVERPLAYERS[static_cast<size_t>(A)].PLAYERNAME));
}
}  // namespace

void SERVERRESETCHATBUDGET(int32_t A) {
    if (A >= 0 && A < SERVERSLOTS) CHATBUDGETS[static_cast<size_t>(A)] = SERVERBUDGET{};
}

void SERVERNETGETDATAPACKET(int32_t A) {
    NETCONNECTION* conn = SERVERCONNECTION(A);
    if (conn == nullptr || SERVERTCPSOCKS[static_cast<size_t>(A)] == nullptr) return;
    // A slot still being admitted or disconnected is no player's yet (or any more).
    if (SERVERSLOTSTATES[static_cast<size_t>(A)].STAGE != SLOTSETTLED) return;
    NETPUMP(*conn);

    int32_t kind = GOODBYE;
    const char* departure = "leave";
    const int64_t whole = conn->FAILED ? -1 : PROTOTOSERVERLENGTH(*conn);
    if (whole > 0) {
        NETTAKEINT(*conn, kind);
    } else if (conn->FAILED) {
        departure = "drop (stopped reading)";  // its output could not be delivered
    } else if (whole < 0) {
        departure = "drop (broken bytes)";
    } else if (!conn->CLOSED) {
        // Nothing whole yet. A peer with nothing pending may stay quiet up
        // to the silence limit; one that stopped inside a message only for
        // as long as any wait inside a message body may last.
        uint32_t limit = SERVERSILENCELIMITMS.load();
        if (NETUNREAD(*conn) > 0) limit = std::min(limit, NETWAITLIMITMS);
        if (NETNOW() - conn->LASTHEARD < limit) return;  // come back next pass
        departure = "drop (silent)";
    } else if (NETUNREAD(*conn) > 0) {
        departure = "drop (broken bytes)";  // closed inside a message
    }
    // Otherwise kind stays GOODBYE: closed, broken, failed, silent, or
    // stopped mid-message.

    if (kind != GOODBYE) DEBUGMESSAGE("server::ProcPacket");
    SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(A)];
    switch (kind) {
        case GOODBYE:
            LOGDEPARTURE(A, departure);
            SERVERNETDISCONNECTREMOTE(A);
            break;
        case CONTROLS:
            PROTOREADCONTROLS(*conn, ship);
            BOUNDCONTROLS(ship);
            ship.DELTATHETA = 0;
            SERVERNETSENDDATAPACKET(A, UPDATE);
            break;
        case CHAT: {
            std::string text;
            PROTOREADCHAT(*conn, text);
            // Beyond the budget a line is neither relayed nor kept.
            if (!SPENDCHAT(A)) break;
            if (text.size() > SERVERMAXCHATTEXT) text.resize(SERVERMAXCHATTEXT);
            std::string line = PLAYERCHATCOLOUR;
            line.append(ship.PLAYERNAME).append(":").append(text);
            PUSHCHATLINE(SERVERCHATBUFFER, line);
            SERVERBROADCASTCHAT(line);
            break;
        }
        default:
            break;  // READY and every other kind: its 4 bytes are all there is
    }
}
