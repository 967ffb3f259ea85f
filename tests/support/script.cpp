// Test support for the client's tests (see script.h).
#include "tests/support/script.h"

#include <thread>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "main/spine.h"
#include "media/input.h"
#include "media/video.h"
#include "shared/protocol.h"
#include "shared/world.h"

void RESETCLIENTSTATE() {
    CLIENTNETCLOSE();
    CLIENTPLAYERS = SHIPTABLE();
    CLIENTBULLETS = BULLETTABLE();
    CLIENTSTARFIELD = STARTABLE();
    CLIENTCHATBUFFER = CHATBUFFER();
    CLIENTCURRENTPLAYERSHIP = 0;
    CLIENTROUNDTRIPTIME1 = 0;
    CLIENTROUNDTRIPTIME2 = 0;
    CLIENTNOHOST = 0;
    CLIENTCHATMESSAGE.clear();
    QUITLOOP = 0;
    SERVERHOSTING = 0;
    KELEXITSTATUS = 0;
    KELRESETKEYS();
    CLIENTRESETPHYSICSCLOCKS();
}

SCRIPTSERVER::SCRIPTSERVER() {
    NETINIT();
    IPaddress address{};
    SDLNet_ResolveHost(&address, nullptr, static_cast<Uint16>(GAMEPORT));
    LISTENER = SDLNet_TCP_Open(&address);
    SET = SDLNet_AllocSocketSet(1);
}

SCRIPTSERVER::~SCRIPTSERVER() {
    NETDETACH(CONN);
    if (SET != nullptr) SDLNet_FreeSocketSet(SET);
    if (LISTENER != nullptr) SDLNet_TCP_Close(LISTENER);
}

bool SCRIPTSERVER::ACCEPT(int ms) {
    if (LISTENER == nullptr) return false;
    const uint32_t start = NETNOW();
    while (static_cast<int>(NETNOW() - start) < ms) {
        TCPsocket socket = SDLNet_TCP_Accept(LISTENER);
        if (socket != nullptr) {
            NETATTACH(CONN, socket, SET);
            return true;
        }
        SDL_Delay(2);
    }
    return false;
}

void SCRIPTSERVER::FLUSH() {
    // A flush hands over what the kernel takes; the tests' messages are small.
    for (int i = 0; i < 100 && !CONN.OUTBUF.empty() && !CONN.FAILED; ++i) {
        NETFLUSH(CONN);
        if (!CONN.OUTBUF.empty()) SDL_Delay(2);
    }
}

bool SCRIPTSERVER::WAITBYTES(size_t count, int ms) {
    const uint32_t start = NETNOW();
    while (NETUNREAD(CONN) < count) {
        if (static_cast<int>(NETNOW() - start) >= ms || CONN.CLOSED) return false;
        if (SDLNet_CheckSockets(SET, 5) > 0) NETPUMP(CONN);
    }
    return true;
}

bool HANDSHAKE(SCRIPTSERVER& server, int32_t slot, const char* host) {
    int32_t gotcode = 0;
    std::string gotname;
    bool ok = false;
    std::thread script([&] {
        if (!server.ACCEPT(3000)) return;
        if (!NETRECVINT(server.CONN, gotcode)) return;
        NETPUTINT(server.CONN, slot);
        server.FLUSH();
        if (slot < 0) {
            ok = true;
            return;
        }
        ok = NETRECVSTR(server.CONN, gotname);
    });
    VX_HOSTNAME = host;
    CLIENTSTARTNETWORK();
    script.join();
    return ok;
}

bool DISPATCHUNTIL(const std::function<bool()>& done, int rounds) {
    for (int i = 0; i < rounds; ++i) {
        CLIENTNETGETDATAPACKET();
        CLIENTNETFLUSH();
        if (done()) return true;
        SDL_Delay(3);
    }
    return false;
}
