// Test support for the client's tests (see script.h).
#include "tests/support/script.h"

#include "client/network.h"
#include "main/spine.h"
#include "media/video.h"

void RESETCLIENTSTATE() {
    CLIENTNETCLOSE();
    CLIENTPLAYERS = SHIPTABLE(), CLIENTBULLETS = BULLETTABLE();
    CLIENTSTARFIELD = STARTABLE(), CLIENTCHATBUFFER = CHATBUFFER();
    CLIENTCURRENTPLAYERSHIP = 0;
    CLIENTROUNDTRIPTIME1 = CLIENTROUNDTRIPTIME2 = 0;
    QUITLOOP = KELEXITSTATUS = CLIENTNOHOST = 0;
}

FAKESERVER::FAKESERVER() {
    NETINIT();
    NETQUEUEMEMORY(nullptr, 0, true, &WIRE);
    NETATTACH(CONN, NETACCEPT(nullptr), nullptr);
}

FAKESERVER::~FAKESERVER() { CLIENTNETCLOSE(), NETDETACH(CONN); }

void MEMORYSTART(FAKESERVER& s, bool ends) {
    NETFLUSH(s.CONN);
    NETQUEUEMEMORY(s.WIRE.data(), s.WIRE.size(), ends, &s.HEARD);
    CLIENTSTARTNETWORK();
}

bool MEMORYJOIN(FAKESERVER& s, int32_t slot) {
    RESETCLIENTSTATE();
    VX_HOSTNAME = "127.0.0.1";
    NETPUTINT(s.CONN, slot);
    MEMORYSTART(s);
    return CLIENTCONNECTED() && CLIENTCURRENTPLAYERSHIP == slot;
}

// The client's record reads the wire in place; it may have moved as it grew.
void SAY(FAKESERVER& s, size_t hold) {
    NETFLUSH(s.CONN);
    CLIENTCONNECTION.MEMIN = s.WIRE.data();
    CLIENTCONNECTION.MEMINSIZE = s.WIRE.size() - hold;
}
