// The server's connection management: the listening socket, the connection
// pass, the admission of new players and the disconnect of a slot.
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

void ADMIT(int32_t A, TCPsocket socket) {
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
    // A peer that closes or stays silent leaves the code at 0 and is refused.
    int32_t code = 0;
    SERVERNETRECIEVEMESSAGEINT(A, code);
    DEBUGMESSAGE("server::AuthCode");
    if (code != AUTHCODE) {
        DEBUGMESSAGE("server::AuthFailure");
        KELDELAY(REFUSALPAUSEMS);
        SERVERNETSENDMESSAGEINT(A, AUTHREFUSED);
        // Handed to the kernel now, so the refused peer gets its four bytes
        // before the close even where the disconnect cannot flush.
        NETFLUSH(SERVERCONNECTIONS[static_cast<size_t>(A)]);
        SERVERNETDISCONNECTREMOTE(A);
        return;
    }
    DEBUGMESSAGE("server::TCPConnectionAccept");
    SERVERNETSENDMESSAGEINT(A, A);
    // A peer that closes or stays silent before its name is admitted with an
    // empty name; its dispatcher finds the connection closed on the next pass.
    std::string name;
    if (!SERVERNETRECIEVEMESSAGESTR(A, name)) {
        // The connection now counts as closed. Whatever part of the name
        // did arrive is dropped with it, so the next pass reads the closed
        // connection instead of taking those bytes for messages.
        NETCONNECTION& conn = SERVERCONNECTIONS[static_cast<size_t>(A)];
        NETSKIP(conn, NETUNREAD(conn));
    }
    ship.PLAYERNAME = name;
    DEBUGMESSAGE("server::GetName");
    SERVERNETSENDDATAPACKET(A, FULLSTATE);
    SERVERJOINMESSAGE(A);
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

void SERVERWAITFORCONNECTIONS() {
    SERVERHOSTING.store(1);
    for (int32_t A = 0; A < SERVERSLOTS; ++A) {
        if (SERVERTCPSOCKS[static_cast<size_t>(A)] != nullptr) {
            SERVERNETGETDATAPACKET(A);
            continue;
        }
        TCPsocket socket = NETACCEPT(SERVERTCPSOCK);
        if (socket != nullptr) ADMIT(A, socket);
    }
}

void SERVERNETDISCONNECTREMOTE(int32_t A) {
    if (A < 0 || A >= SERVERSLOTS || SERVERTCPSOCKS[static_cast<size_t>(A)] == nullptr) return;
    KELDELAY(DISCONNECTPAUSEMS);
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

void SERVERRELEASE() {
    for (int32_t A = 0; A < SERVERSLOTS; ++A) {
        NETDETACH(SERVERCONNECTIONS[static_cast<size_t>(A)]);
        SERVERTCPSOCKS[static_cast<size_t>(A)] = nullptr;
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
