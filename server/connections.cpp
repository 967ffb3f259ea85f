// The server's connection management: the listening socket, the connection
// pass, the admission of new players as a per-slot stage and the disconnect
// of a slot, none of which ever waits on a peer.
// Threads: server thread only; writes SERVERHOSTING (shared atomic).
#include "server/connections.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>

#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "server/announce.h"
#include "server/exchange.h"
#include "server/projectiles.h"
#include "server/shipphysics.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

std::atomic<uint32_t> SERVERSILENCELIMITMS{NETSILENCELIMITMS};
std::array<SLOTSTATE, SERVERSLOTS> SERVERSLOTSTATES{};

namespace {

constexpr uint32_t REFUSALPAUSEMS = 50;
constexpr uint32_t DISCONNECTPAUSEMS = 50;
constexpr double PARKEDAT = -15000.0;

// "Address already in use" -> "address already in use".
std::string REASON(int error) {
    std::string text = error != 0 ? std::strerror(error) : SDLNet_GetError();
    if (text.empty()) text = "unknown error";
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string PORTTEXT() { return "TCP port " + std::to_string(GAMEPORT); }

SLOTSTATE& STATEOF(int32_t A) { return SERVERSLOTSTATES[static_cast<size_t>(A)]; }

// The handshake's limit runs on the network clock, like every other wait
// for a peer; the 50 ms pauses run on the game clock, on which they used to
// be delays (so a driver that steps the game clock steps them too).
uint32_t STAGECLOCK(int32_t stage) {
    return stage == SLOTAWAITCODE || stage == SLOTAWAITNAME ? NETNOW() : KELGETTICKS();
}

void ENTERSTAGE(int32_t A, int32_t stage, uint32_t waitms) {
    STATEOF(A).STAGE = stage;
    STATEOF(A).DEADLINE = STAGECLOCK(stage) + waitms;
}

// The deadline has come (wrapping-safe: both clocks are 32-bit millisecond counts).
bool DUE(int32_t A) { return static_cast<int32_t>(STAGECLOCK(STATEOF(A).STAGE) - STATEOF(A).DEADLINE) >= 0; }

void HANDSHAKE(int32_t A);

void ACCEPT(int32_t A, TCPsocket socket) {
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
    SERVERTCPSOCKS[static_cast<size_t>(A)] = socket;
    NETATTACH(SERVERCONNECTIONS[static_cast<size_t>(A)], socket, SERVERTCPSOCKSETS[static_cast<size_t>(A)]);
    DEBUGMESSAGE("Server::RecievingMessage");
    ENTERSTAGE(A, SLOTAWAITCODE, NETWAITLIMITMS);
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
        if (!NETTAKEINT(conn, code) && !conn.CLOSED && !DUE(A)) return;
        DEBUGMESSAGE("server::AuthCode");
        if (code != AUTHCODE) {
            DEBUGMESSAGE("server::AuthFailure");
            // Nothing more is read from a refused peer.
            conn.CLOSED = true;
            ENTERSTAGE(A, SLOTREFUSING, REFUSALPAUSEMS);
            return;
        }
        DEBUGMESSAGE("server::TCPConnectionAccept");
        // Goes out with the tick's flush, together with FULLSTATE and the
        // join line when the name is already here.
        SERVERNETSENDMESSAGEINT(A, A);
        ENTERSTAGE(A, SLOTAWAITNAME, NETWAITLIMITMS);
    }
    std::string name;
    if (!NETTAKESTR(conn, name)) {
        // A broken length has FAILED the connection: admitted with an empty
        // name and dropped by its dispatcher on the next pass, like one that
        // closes or stays silent before its name is whole.
        if (!conn.FAILED && !conn.CLOSED && !DUE(A)) return;
        // The connection now counts as closed. Whatever part of the name
        // did arrive is dropped with it, so the next pass reads the closed
        // connection instead of taking those bytes for messages.
        conn.CLOSED = true;
        NETSKIP(conn, NETUNREAD(conn));
        name.clear();
    }
    SERVERPLAYERS[static_cast<size_t>(A)].PLAYERNAME = name;
    DEBUGMESSAGE("server::GetName");
    STATEOF(A) = SLOTSTATE{};
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

bool SERVERSLOTINPLAY(int32_t A) {
    return A >= 0 && A < SERVERSLOTS && SERVERPLAYERS[static_cast<size_t>(A)].CONNECTED != 0 &&
           STATEOF(A).STAGE == SLOTSETTLED;
}

void SERVERADMISSIONSTEP(int32_t A) {
    if (A < 0 || A >= SERVERSLOTS || SERVERTCPSOCKS[static_cast<size_t>(A)] == nullptr) return;
    switch (STATEOF(A).STAGE) {
        case SLOTAWAITCODE:
        case SLOTAWAITNAME:
            HANDSHAKE(A);
            break;
        case SLOTREFUSING:
            if (DUE(A)) REFUSE(A);
            break;
        case SLOTCLOSING:
            if (DUE(A)) FINISHDISCONNECT(A);
            break;
        default:
            break;
    }
}

void SERVERWAITFORCONNECTIONS() {
    SERVERHOSTING.store(1);
    for (int32_t A = 0; A < SERVERSLOTS; ++A) {
        if (SERVERTCPSOCKS[static_cast<size_t>(A)] != nullptr) {
            SERVERNETGETDATAPACKET(A);
            continue;
        }
        TCPsocket socket = NETACCEPT(SERVERTCPSOCK);
        if (socket != nullptr) ACCEPT(A, socket);
    }
}

void SERVERNETDISCONNECTREMOTE(int32_t A) {
    if (A < 0 || A >= SERVERSLOTS || SERVERTCPSOCKS[static_cast<size_t>(A)] == nullptr) return;
    if (STATEOF(A).STAGE == SLOTCLOSING) return;
    // Nothing more is read from a leaving peer; what is queued still goes out.
    SERVERCONNECTIONS[static_cast<size_t>(A)].CLOSED = true;
    ENTERSTAGE(A, SLOTCLOSING, DISCONNECTPAUSEMS);
}

void SERVERRELEASE() {
    for (int32_t A = 0; A < SERVERSLOTS; ++A) {
        NETDETACH(SERVERCONNECTIONS[static_cast<size_t>(A)]);
        SERVERTCPSOCKS[static_cast<size_t>(A)] = nullptr;
        SERVERSLOTSTATES[static_cast<size_t>(A)] = SLOTSTATE{};
        if (SERVERTCPSOCKSETS[static_cast<size_t>(A)] != nullptr) SDLNet_FreeSocketSet(SERVERTCPSOCKSETS[static_cast<size_t>(A)]);
        SERVERTCPSOCKSETS[static_cast<size_t>(A)] = nullptr;
    }
    if (SERVERTCPSOCK != nullptr) SDLNet_TCP_Close(SERVERTCPSOCK);
    SERVERTCPSOCK = nullptr;
    SERVERPLAYERS = SHIPTABLE{};
    SERVERBULLETS = BULLETTABLE{};
    SERVERSTARFIELD = STARTABLE{};
    SERVERCHATBUFFER = CHATBUFFER{};
    SERVERPHYSICSCLOCK = PHYSICSCLOCK{};
    SERVERBULLETCLOCK = PHYSICSCLOCK{};
}
