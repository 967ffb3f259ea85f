// SERVERNETGETDATAPACKET and SERVERNETSENDDATAPACKET.
// Threads: server thread only.
#include "server/exchange.h"

#include <algorithm>
#include <array>
#include <string>

#include "main/spine.h"
#include "server/announce.h"
#include "server/connections.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {
const std::string PLAYERCHATCOLOUR = "\xFE\xFE\xFE";

// A slot still in its handshake (or being refused) holds no player yet:
// other players are shown it as not connected, so a connector that never
// finishes (a port scan, a wrong code) never appears as a nameless ship in
// their views. Its own record keeps CONNECTED 1 throughout.
template <typename WRITE>
void WRITEHIDINGHANDSHAKES(WRITE write) {
    std::array<int32_t, SERVERSLOTS> shown{};
    for (size_t b = 0; b < SERVERSLOTS; ++b) {
        shown[b] = SERVERPLAYERS[b].CONNECTED;
        const int32_t stage = SERVERSLOTSTATES[b].STAGE;
        if (stage == SLOTAWAITCODE || stage == SLOTAWAITNAME || stage == SLOTREFUSING) SERVERPLAYERS[b].CONNECTED = 0;
    }
    write();
    for (size_t b = 0; b < SERVERSLOTS; ++b) SERVERPLAYERS[b].CONNECTED = shown[b];
}
}  // namespace

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
            WRITEHIDINGHANDSHAKES([&] { PROTOWRITEFULLSTATE(*conn, SERVERPLAYERS); });
            break;
        case UPDATE:
            WRITEHIDINGHANDSHAKES([&] { PROTOWRITEUPDATE(*conn, SERVERPLAYERS, A); });
            break;
        default:
            break;
    }
}
