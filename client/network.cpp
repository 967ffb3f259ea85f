// The client's connection: handshake (with the wait for a free slot), the
// per-frame dispatcher over the buffered connection of shared/net.h, the CONTROLS sender and the
// round-trip measurement. Runs in the client's thread (the game's main
// thread, or one bot each); its state is thread_local. Of what it writes
// only QUITLOOP and KELEXITSTATUS are process-wide.
#include "client/network.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include <SDL.h>
#include <SDL_net.h>

#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

CLIENTTHREADLOCAL double CLIENTROUNDTRIPTIME1 = 0;
CLIENTTHREADLOCAL double CLIENTROUNDTRIPTIME2 = 0;
CLIENTTHREADLOCAL int32_t CLIENTCONTROLSSENT = 0;
CLIENTTHREADLOCAL int32_t CLIENTQUITSONLOSS = 1;
CLIENTTHREADLOCAL int32_t CLIENTNOHOST = 0;
CLIENTTHREADLOCAL void (*CLIENTWAITINGFRAME)() = nullptr;
CLIENTTHREADLOCAL std::array<uint64_t, 10> CLIENTAPPLIED{};
CLIENTTHREADLOCAL void (*CLIENTMESSAGETAP)(const uint8_t* bytes, size_t length) = nullptr;

namespace {
// A CONTROLS queued this frame, not yet handed to the kernel.
CLIENTTHREADLOCAL bool CONTROLSQUEUED = false;
// A CONTROLS has left and its UPDATE has not yet been applied.
CLIENTTHREADLOCAL bool CONTROLSINFLIGHT = false;
CLIENTTHREADLOCAL double CONTROLSLEFTAT = 0;
// The unread input holds the start of a message since PARTIALSINCE.
CLIENTTHREADLOCAL bool PARTIALWAITING = false;
CLIENTTHREADLOCAL uint32_t PARTIALSINCE = 0;

std::string SERVERTEXT() { return TRIMSPACES(VX_HOSTNAME) + " port " + std::to_string(GAMEPORT); }

// One line on standard error, then no connection and a stop with status 1.
// Only the game's own client waits for a console key: a client that shares
// its process with others (a bot) must neither block its thread on the
// console nor switch the terminal's modes while other threads do the same.
void STARTFAILED(const std::string& line, bool keywait) {
    std::cerr << "vexil: " << line << std::endl;
    if (keywait && CLIENTQUITSONLOSS != 0) KELCONSOLEKEYWAIT();
    CLIENTNETCLOSE();
    KELEXITSTATUS = 1;
    if (CLIENTQUITSONLOSS != 0) QUITLOOP = 1;
}

// The connection is over (closed by the server, or broken): the game ends.
void CONNECTIONLOST() {
    DEBUGMESSAGE("client::disconnected by host");
    CLIENTNETCLOSE();
    if (CLIENTQUITSONLOSS != 0) QUITLOOP = 1;
}

SHIPTYPE* OWNSHIP() {
    if (!PROTOVALIDSLOT(CLIENTCURRENTPLAYERSHIP)) return nullptr;
    return &CLIENTPLAYERS[static_cast<size_t>(CLIENTCURRENTPLAYERSHIP)];
}

void SENDCONTROLS() {
    int32_t kind = CONTROLS;
    CLIENTNETSENDDATAPACKET(kind);
}

// Takes one whole message (its length already checked) and applies it.
void APPLYMESSAGE() {
    NETCONNECTION& conn = CLIENTCONNECTION;
    int32_t kind = GOODBYE;
    NETTAKEINT(conn, kind);
    ++CLIENTAPPLIED[kind >= GOODBYE && kind <= KILLCOUNT ? static_cast<size_t>(kind) : CLIENTAPPLIED.size() - 1];
    switch (kind) {
        case GOODBYE:
            CONNECTIONLOST();
            return;
        case FULLSTATE:
            PROTOREADFULLSTATE(conn, CLIENTPLAYERS);
            // Only the first FULLSTATE starts the exchange cycle; answering
            // the later ones (one follows every departure) would start
            // another cycle beside the running one each time.
            if (CLIENTCONTROLSSENT == 0) SENDCONTROLS();
            break;
        case UPDATE:
            PROTOREADUPDATE(conn, CLIENTPLAYERS, CLIENTCURRENTPLAYERSHIP);
            if (CONTROLSINFLIGHT) {
                CLIENTROUNDTRIPTIME1 = CONTROLSLEFTAT;
                CLIENTROUNDTRIPTIME2 = KELGETTICKS();
                CONTROLSINFLIGHT = false;
            }
            SENDCONTROLS();
            break;
        case SHOTFIRED:
            PROTOREADSHOTFIRED(conn, CLIENTBULLETS);
            break;
        case SHOTGONE:
            PROTOREADSHOTGONE(conn, CLIENTBULLETS);
            break;
        case CHAT: {
            std::string line;
            if (PROTOREADCHAT(conn, line)) PUSHCHATLINE(CLIENTCHATBUFFER, line);
            break;
        }
        case NAMEINFO:
            PROTOREADNAMEINFO(conn, CLIENTPLAYERS);
            break;
        case KILLCOUNT:
            PROTOREADKILLCOUNT(conn, CLIENTPLAYERS);
            break;
        default:
            // Any other kind is only its four bytes.
            break;
    }
}
}  // namespace

bool CLIENTCONNECTED() { return CLIENTCONNECTION.SOCKET != nullptr; }

void CLIENTNETCLOSE() {
    NETDETACH(CLIENTCONNECTION);
    if (CLIENTTCPSOCKSET != nullptr) {
        SDLNet_FreeSocketSet(CLIENTTCPSOCKSET);
        CLIENTTCPSOCKSET = nullptr;
    }
    CLIENTSOCKET = nullptr;
    CLIENTCONTROLSSENT = 0;
    CONTROLSQUEUED = false;
    CONTROLSINFLIGHT = false;
    PARTIALWAITING = false;
}

void CLIENTSTARTNETWORK() {
    DEBUGMESSAGE("client::init");
    CLIENTNOHOST = 0;
    if (NETINIT() != 0) {
        DEBUGMESSAGE("Error: SDLNet_Init failed");
        STARTFAILED(std::string("cannot start the network library: ") + SDLNet_GetError(), false);
        return;
    }

    DEBUGMESSAGE("client::resolve");
    const std::string host = TRIMSPACES(VX_HOSTNAME);
    if (host.empty() || SDLNet_ResolveHost(&CLIENTIP, host.c_str(), static_cast<Uint16>(GAMEPORT)) != 0) {
        DEBUGMESSAGE("Error: SDLNet_ResolveHost failed");
        CLIENTNOHOST = 1;
        STARTFAILED(host.empty() ? std::string("no host address given") : "cannot resolve the host name \"" + host + "\"",
                    true);
        return;
    }

    DEBUGMESSAGE("client::open");
    errno = 0;
    CLIENTSOCKET = NETOPEN(&CLIENTIP);
    if (CLIENTSOCKET == nullptr) {
        const int error = errno;
        DEBUGMESSAGE("Error: SDLNet_TCP_Open failed");
        std::string reason = error != 0 ? std::string(std::strerror(error)) : std::string(SDLNet_GetError());
        if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
        STARTFAILED("cannot connect to " + SERVERTEXT() + ": " + reason, true);
        return;
    }

    DEBUGMESSAGE("client::allocateSocketSet");
    CLIENTTCPSOCKSET = SDLNet_AllocSocketSet(1);
    if (CLIENTTCPSOCKSET == nullptr) {
        if (CLIENTSOCKET != NETMEMORYSOCKET) SDLNet_TCP_Close(CLIENTSOCKET);
        CLIENTSOCKET = nullptr;
        STARTFAILED(std::string("cannot make a socket set: ") + SDLNet_GetError(), false);
        return;
    }
    DEBUGMESSAGE("client::AddSocket");
    NETATTACH(CLIENTCONNECTION, CLIENTSOCKET, CLIENTTCPSOCKSET);
    NETCONNECTION& conn = CLIENTCONNECTION;

    DEBUGMESSAGE("client::AuthSend");
    NETPUTINT(conn, AUTHCODE);
    NETFLUSH(conn);

    // The server answers once it has a free slot for us. The game waits for
    // it as long as the connection stays open, drawing its waiting screen
    // and leaving when the player asks; a bot gives up after a while.
    DEBUGMESSAGE("client::RecvCounterAuth");
    const uint32_t start = NETNOW();
    while (NETUNREAD(conn) < 4) {
        if (conn.FAILED) {
            STARTFAILED("lost the connection to " + SERVERTEXT() + " during the handshake", false);
            return;
        }
        if (conn.CLOSED) {
            STARTFAILED("the server at " + SERVERTEXT() + " closed the connection without answering", false);
            return;
        }
        if (CLIENTWAITINGFRAME == nullptr && NETNOW() - start >= CLIENTHANDSHAKELIMITMS) {
            STARTFAILED("no answer from the server at " + SERVERTEXT() + " within " +
                            std::to_string(CLIENTHANDSHAKELIMITMS / 1000) + " seconds (it may be full)",
                        false);
            return;
        }
        if (CLIENTWAITINGFRAME != nullptr && QUITLOOP != 0) {
            CLIENTNETCLOSE();
            return;
        }
        if (NETUNSENT(conn) != 0) NETFLUSH(conn);
        NETPOLL(conn, 10);
        if (NETUNREAD(conn) < 4 && CLIENTWAITINGFRAME != nullptr) CLIENTWAITINGFRAME();
    }
    int32_t slot = AUTHREFUSED;
    NETTAKEINT(conn, slot);
    if (slot == AUTHREFUSED) {
        DEBUGMESSAGE("client::AuthFailure!");
        CLIENTCURRENTPLAYERSHIP = AUTHREFUSED;
        const std::string line = "the server at " + SERVERTEXT() + " refused this client";
        // A bot gives up at once. The game's own client keeps the
        // connection for its last pass: READY goes out, and that pass reads
        // the connection the server closes. The game ends with status 1.
        if (CLIENTQUITSONLOSS == 0) {
            STARTFAILED(line, false);
            return;
        }
        std::cerr << "vexil: " << line << std::endl;
        KELEXITSTATUS = 1;
        QUITLOOP = 1;
        return;
    }
    if (!PROTOVALIDSLOT(slot)) {
        STARTFAILED("the server at " + SERVERTEXT() + " answered with an invalid player slot " + std::to_string(slot),
                    false);
        return;
    }
    CLIENTCURRENTPLAYERSHIP = slot;

    DEBUGMESSAGE("Client::AuthSuccess!");
    NETPUTSTR(conn, VX_PLAYERNAME);
    DEBUGMESSAGE("Client::SendName");
    NETFLUSH(conn);
}

void CLIENTSENDREADY() {
    if (!CLIENTCONNECTED()) return;
    PROTOWRITEKIND(CLIENTCONNECTION, READY);
    NETFLUSH(CLIENTCONNECTION);
}

void CLIENTSENDCHAT(const std::string& text) {
    if (!CLIENTCONNECTED()) return;
    PROTOWRITECHAT(CLIENTCONNECTION, text);
}

void CLIENTNETSENDDATAPACKET(int32_t& X) {
    DEBUGMESSAGE("client::PktSend");
    if (!CLIENTCONNECTED()) return;
    if (X == CONTROLS) {
        const SHIPTYPE* own = OWNSHIP();
        if (own == nullptr) return;
        PROTOWRITECONTROLS(CLIENTCONNECTION, *own);
        CLIENTCONTROLSSENT = 1;
        CONTROLSQUEUED = true;
    } else if (X == GOODBYE) {
        PROTOWRITEKIND(CLIENTCONNECTION, GOODBYE);
    }
}

void CLIENTNETFLUSH() {
    if (!CLIENTCONNECTED()) return;
    NETFLUSH(CLIENTCONNECTION);
    if (CONTROLSQUEUED) {
        CONTROLSQUEUED = false;
        CONTROLSINFLIGHT = true;
        CONTROLSLEFTAT = KELGETTICKS();
    }
}

void CLIENTNETGETDATAPACKET() {
    if (!CLIENTCONNECTED()) return;
    NETCONNECTION& conn = CLIENTCONNECTION;
    int32_t receives = 0;
    int32_t applied = 0;
    bool stateapplied = false;  // an UPDATE or a FULLSTATE, this call
    for (;;) {
        const int64_t length = conn.FAILED ? -1 : PROTOTOCLIENTLENGTH(conn, CLIENTCURRENTPLAYERSHIP);
        // Bytes that break the protocol leave the stream unreadable.
        if (length < 0) {
            CONNECTIONLOST();
            return;
        }
        if (length > 0) {
            PARTIALWAITING = false;
            const int32_t kind = NETREADINT(NETPEEK(conn));
            if ((kind == UPDATE && stateapplied) || applied >= CLIENTMESSAGESPERFRAME) return;
            DEBUGMESSAGE("client::Data Packet Recieved");
            if (CLIENTMESSAGETAP != nullptr) CLIENTMESSAGETAP(NETPEEK(conn), static_cast<size_t>(length));
            APPLYMESSAGE();
            ++applied;
            if (!CLIENTCONNECTED()) return;
            if (conn.FAILED) {
                CONNECTIONLOST();
                return;
            }
            stateapplied = stateapplied || kind == UPDATE || kind == FULLSTATE;
            continue;
        }
        if (receives >= CLIENTRECEIVESPERFRAME || conn.CLOSED) break;
        ++receives;
        if (NETPUMP(conn) == 0) break;
    }
    // No whole message. Nothing more will come on a closed connection; a
    // message that stays incomplete too long means the server is gone.
    if (conn.CLOSED) {
        CONNECTIONLOST();
        return;
    }
    if (NETUNREAD(conn) == 0) {
        PARTIALWAITING = false;
        return;
    }
    if (!PARTIALWAITING) {
        PARTIALWAITING = true;
        PARTIALSINCE = NETNOW();
    } else if (NETNOW() - PARTIALSINCE > CLIENTPARTIALLIMITMS) {
        CONNECTIONLOST();
    }
}
