// SERVERNETGETDATAPACKET and SERVERNETSENDDATAPACKET.
// Threads: server thread only.
#include "server/exchange.h"

#include <algorithm>
#include <string>

#include "main/spine.h"
#include "server/announce.h"
#include "server/connections.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {
const std::string PLAYERCHATCOLOUR = "\xFE\xFE\xFE";
}

void SERVERNETGETDATAPACKET(int32_t A) {
    NETCONNECTION* conn = SERVERCONNECTION(A);
    if (conn == nullptr || SERVERTCPSOCKS[static_cast<size_t>(A)] == nullptr) return;
    // A slot still being admitted or disconnected is no player's yet (or
    // any more): its bytes are the handshake's, its deadlines the pauses'.
    if (SERVERSLOTSTATES[static_cast<size_t>(A)].STAGE != SLOTSETTLED) {
        SERVERADMISSIONSTEP(A);
        return;
    }
    NETPUMP(*conn);

    int32_t kind = GOODBYE;
    const int64_t whole = conn->FAILED ? -1 : PROTOTOSERVERLENGTH(*conn);
    if (whole > 0) {
        NETTAKEINT(*conn, kind);
    } else if (whole == 0 && !conn->CLOSED) {
        // Nothing whole yet. A peer with nothing pending may stay quiet up
        // to the silence limit; one that stopped inside a message only for
        // as long as any wait inside a message body may last.
        uint32_t limit = SERVERSILENCELIMITMS.load();
        if (NETUNREAD(*conn) > 0) limit = std::min(limit, NETWAITLIMITMS);
        if (NETNOW() - conn->LASTHEARD < limit) return;  // come back next pass
    }
    // Otherwise kind stays GOODBYE: closed, broken, failed, silent, or
    // stopped mid-message.

    if (kind != GOODBYE) DEBUGMESSAGE("server::ProcPacket");
    SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(A)];
    switch (kind) {
        case GOODBYE:
            SERVERNETDISCONNECTREMOTE(A);
            break;
        case CONTROLS:
            PROTOREADCONTROLS(*conn, ship);
            ship.DELTATHETA = 0;
            SERVERNETSENDDATAPACKET(A, UPDATE);
            break;
        case CHAT: {
            std::string text;
            PROTOREADCHAT(*conn, text);
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
            PROTOWRITEFULLSTATE(*conn, SERVERPLAYERS);
            break;
        case UPDATE:
            PROTOWRITEUPDATE(*conn, SERVERPLAYERS, A);
            break;
        default:
            break;
    }
}
