// The server's connection management: the listening socket, the connection
// pass, the admission of new players as a per-slot stage, the budget of
// admissions per address, and the end of a slot's disconnect, none of which
// ever waits on a peer.
// Threads: server thread only; writes SERVERHOSTING (shared atomic).
#include "server/connections.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "server/announce.h"
#include "server/discovery.h"
#include "server/exchange.h"
#include "server/projectiles.h"
#include "server/shipphysics.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {

constexpr uint32_t REFUSALPAUSEMS = 50;
constexpr double PARKEDAT = -15000.0;
// Addresses whose admission budget is tracked at once; when all are in use
// the one that has been quiet longest is forgotten (its budget refills).
constexpr size_t BUDGETADDRESSES = 64;

std::array<SERVERADDRESSBUDGET, BUDGETADDRESSES> ADMITBUDGETS{};

// "Address already in use" -> "address already in use".
std::string REASON(int error) {
    std::string text = error != 0 ? std::strerror(error) : SDLNet_GetError();
    if (text.empty()) text = "unknown error";
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string PORTTEXT() { return "TCP port " + std::to_string(GAMEPORT); }

SLOTSTATE& STATEOF(int32_t A) { return SERVERSLOTSTATES[static_cast<size_t>(A)]; }
uint32_t HOSTOF(int32_t A) { return SERVERCONNECTIONS[static_cast<size_t>(A)].PEERHOST; }
std::string SLOTTEXT(int32_t A) { return "slot " + std::to_string(A); }

// Takes one admission from HOST's budget; false (logged at most once a
// second per address) when it is spent.
bool SPENDADMISSION(uint32_t host) {
    return SERVERSPEND(SERVERBUDGETOF(ADMITBUDGETS.data(), ADMITBUDGETS.size(), host), SERVERADMITBURST.load(), SERVERADMITREFILLMS.load(), [host] {
        return "closed: connections from " + SERVERADDRESSTEXT(host) + " are over the address budget";
    });
}

// Frees slot A with nothing announced: closed, ship parked, not connected.
void RELEASESLOT(int32_t A) {
    STATEOF(A) = SLOTSTATE{};
    if (NETDETACH(SERVERCONNECTIONS[static_cast<size_t>(A)]) == -1) DEBUGMESSAGE("server::SockDelFAIL");
    SERVERTCPSOCKS[static_cast<size_t>(A)] = nullptr;
    SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(A)];
    ship.X = PARKEDAT;
    ship.Y = PARKEDAT;
    ship.XVELOC = ship.YVELOC = ship.XACCEL = ship.YACCEL = 0;
    ship.CURRENTACCELERATION = 0;
    ship.DIRECTION = 0;
    ship.HEALTH = 100;
    ship.MAXHEALTH = 100;
    ship.CONNECTED = 0;
    ship.KILLS = 0;
}

void HANDSHAKE(int32_t A);

// CONN, slot A's record, holds the new connection (attached with no set).
void ACCEPT(int32_t A, NETCONNECTION& conn) {
    SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(A)];
    ship.X = RANDOMARENACOORDINATE();
    ship.Y = RANDOMARENACOORDINATE();
    ship.DIRECTION = FLOORINT(RANDOMVALUE() * 15);
    ship.XVELOC = ship.YVELOC = ship.XACCEL = ship.YACCEL = 0;
    ship.CURRENTACCELERATION = 0;
    ship.HEALTH = 100;
    ship.MAXHEALTH = 100;
    ship.CONNECTED = 1;
    DEBUGMESSAGE("server::ConnectOK");
    SERVERTCPSOCKS[static_cast<size_t>(A)] = conn.SOCKET;
    NETJOINSET(conn, SERVERTCPSOCKSETS[static_cast<size_t>(A)]);
    DEBUGMESSAGE("Server::RecievingMessage");
    SERVERENTERSTAGE(A, SLOTAWAITCODE, NETWAITLIMITMS);
    // One look without waiting: a client's code and name are usually here
    // already, and then it is admitted in this pass.
    HANDSHAKE(A);
}

// One look at a handshaking slot's buffered bytes; returns at once when what
// it waits for has not arrived and its deadline has not come.
void HANDSHAKE(int32_t A) {
    NETCONNECTION& conn = SERVERCONNECTIONS[static_cast<size_t>(A)];
    NETPUMP(conn);
    if (STATEOF(A).STAGE == SLOTAWAITCODE) {
        // A peer that closes or stays silent leaves the code at 0 and is refused.
        int32_t code = 0;
        if (!NETTAKEINT(conn, code) && !conn.CLOSED && !SERVERSTAGEDUE(A)) return;
        DEBUGMESSAGE("server::AuthCode");
        if (code != AUTHCODE) {
            DEBUGMESSAGE("server::AuthFailure");
            SERVERLOG("refused: " + SLOTTEXT(A) + " from " + SERVERADDRESSTEXT(HOSTOF(A)) + " (no right code)");
            // Nothing more is read from a refused peer.
            conn.CLOSED = true;
            SERVERENTERSTAGE(A, SLOTREFUSING, REFUSALPAUSEMS);
            return;
        }
        DEBUGMESSAGE("server::TCPConnectionAccept");
        // Goes out with the tick's flush, together with FULLSTATE and the
        // join line when the name is already here.
        SERVERNETSENDMESSAGEINT(A, A);
        SERVERENTERSTAGE(A, SLOTAWAITNAME, NETWAITLIMITMS);
    }
    std::string name;
    if (!NETTAKESTR(conn, name)) {
        if (!conn.FAILED && !conn.CLOSED && !SERVERSTAGEDUE(A)) return;
        // A peer that broke its name's length, closed or stayed silent
        // before its name was whole never entered the game: it is let go
        // now, with no join or leave line for a nameless player. Whatever
        // part of the name did arrive is never read as messages.
        SERVERLOG(std::string("drop: ") + SLOTTEXT(A) + " from " + SERVERADDRESSTEXT(HOSTOF(A)) + " before its name (" +
                  (conn.FAILED ? "broken bytes" : conn.CLOSED ? "closed" : "silent") + ")");
        RELEASESLOT(A);
        return;
    }
    // What the pre-game name box holds: a longer name would go into every
    // UPDATE to every player for as long as its owner plays.
    if (name.size() > SERVERMAXNAME) name.resize(SERVERMAXNAME);
    SERVERPLAYERS[static_cast<size_t>(A)].PLAYERNAME = name;
    DEBUGMESSAGE("server::GetName");
    STATEOF(A) = SLOTSTATE{};
    SERVERRESETCHATBUDGET(A);
    SERVERLOG("join: " + SLOTTEXT(A) + " " + SERVERLOGNAME(name) + " from " + SERVERADDRESSTEXT(HOSTOF(A)));
    SERVERNETSENDDATAPACKET(A, FULLSTATE);
    SERVERJOINMESSAGE(A);
}

// The refused peer gets its -1 now and the close one disconnect pause later.
void REFUSE(int32_t A) {
    STATEOF(A) = SLOTSTATE{};
    SERVERNETSENDMESSAGEINT(A, AUTHREFUSED);
    // Handed to the kernel now, so the refused peer gets its four bytes
    // before the close even where the disconnect cannot flush.
    NETFLUSH(SERVERCONNECTIONS[static_cast<size_t>(A)]);
    SERVERNETDISCONNECTREMOTE(A);
}

void FINISHDISCONNECT(int32_t A) {
    RELEASESLOT(A);
    DEBUGMESSAGE("server::KillPlayer");
    SERVERQUITMESSAGE(A);
}

}  // namespace

void SERVERINITNETCONNECTION() {
    DEBUGMESSAGE("Server::start");
    if (NETINIT() != 0) {
        DEBUGMESSAGE("Initilizing SDL_NET failed! ");
        KELFATAL("cannot start the network library: " + REASON(0));
    }
    DEBUGMESSAGE("server::sdlnet_init");
    if (SDLNet_ResolveHost(&SERVERIP, nullptr, static_cast<Uint16>(GAMEPORT)) != 0) {
        DEBUGMESSAGE("Resolving myself failed...wtf? ");
        KELFATAL("cannot listen on " + PORTTEXT() + ": " + REASON(0));
    }
    DEBUGMESSAGE("server::selfresolve");
    errno = 0;
    SERVERTCPSOCK = SDLNet_TCP_Open(&SERVERIP);
    if (SERVERTCPSOCK == nullptr) {
        const int error = errno;
        DEBUGMESSAGE("TCP port open failed: ");
        KELFATAL("cannot listen on " + PORTTEXT() + ": " + REASON(error));
    }
    DEBUGMESSAGE("server::portopen");
    for (SDLNet_SocketSet& set : SERVERTCPSOCKSETS)
        if (set == nullptr) set = SDLNet_AllocSocketSet(1);
    DEBUGMESSAGE("server::Waiting for connections...");
}

void SERVERADMISSIONSTEP(int32_t A) {
    if (A < 0 || A >= SERVERSLOTS || SERVERTCPSOCKS[static_cast<size_t>(A)] == nullptr) return;
    switch (STATEOF(A).STAGE) {
        case SLOTAWAITCODE:
        case SLOTAWAITNAME:
            HANDSHAKE(A);
            break;
        case SLOTREFUSING:
            if (SERVERSTAGEDUE(A)) REFUSE(A);
            break;
        case SLOTCLOSING:
            if (SERVERSTAGEDUE(A)) FINISHDISCONNECT(A);
            break;
        default:
            break;
    }
}

void SERVERWAITFORCONNECTIONS() {
    SERVERHOSTING.store(1);
    // The slots that were free at their turn in this pass, lowest first: a
    // connection that arrives while the pass is further on still takes the
    // lowest of them (a slot freed during the pass is not among them).
    std::array<int32_t, SERVERSLOTS> open{};
    size_t first = 0, count = 0;
    for (int32_t A = 0; A < SERVERSLOTS; ++A) {
        if (SERVERTCPSOCKS[static_cast<size_t>(A)] != nullptr) {
            if (STATEOF(A).STAGE == SLOTSETTLED) SERVERNETGETDATAPACKET(A);
            else SERVERADMISSIONSTEP(A);
            continue;
        }
        open[count++] = A;
        // Connections past their address's budget are closed and the next
        // pending one tried, a bounded number a pass.
        for (int tries = 0; first < count && tries < 4 * SERVERSLOTS; ++tries) {
            TCPsocket socket = NETACCEPT(SERVERTCPSOCK);
            if (socket == nullptr) break;
            const int32_t slot = open[first];
            NETCONNECTION& conn = SERVERCONNECTIONS[static_cast<size_t>(slot)];
            NETATTACH(conn, socket, nullptr);
            if (!SPENDADMISSION(conn.PEERHOST)) {
                NETDETACH(conn);
                continue;
            }
            ++first;
            ACCEPT(slot, conn);
        }
    }
}

void SERVERRELEASE() {
    for (int32_t A = 0; A < SERVERSLOTS; ++A) {
        NETDETACH(SERVERCONNECTIONS[static_cast<size_t>(A)]);
        SERVERTCPSOCKS[static_cast<size_t>(A)] = nullptr;
        SERVERSLOTSTATES[static_cast<size_t>(A)] = SLOTSTATE{};
        SERVERRESETCHATBUDGET(A);
        if (SERVERTCPSOCKSETS[static_cast<size_t>(A)] != nullptr) SDLNet_FreeSocketSet(SERVERTCPSOCKSETS[static_cast<size_t>(A)]);
        SERVERTCPSOCKSETS[static_cast<size_t>(A)] = nullptr;
    }
    if (SERVERTCPSOCK != nullptr) SDLNet_TCP_Close(SERVERTCPSOCK);
    SERVERTCPSOCK = nullptr;
    SERVERDISCOVERYCLOSE();
    SERVERPLAYERS = SHIPTABLE{};
    SERVERBULLETS = BULLETTABLE{};
    SERVERSTARFIELD = STARTABLE{};
    SERVERCHATBUFFER = CHATBUFFER{};
    ADMITBUDGETS = {};
    SERVERPHYSICSCLOCK = PHYSICSCLOCK{};
    SERVERBULLETCLOCK = PHYSICSCLOCK{};
}
