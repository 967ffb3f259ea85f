// Byte streams into the server's admission and dispatcher and into the
// client's handshake and dispatcher, over loopback (see harness.h).
// Threads: the caller's thread runs the server and the client code; the
// client side's far end runs in a thread of its own (FARLOOP), which only
// touches its own sockets and the job record under FARLOCK.
#include "fuzz/harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include <SDL.h>

#include "client/client.h"
#include "client/controls.h"
#include "client/network.h"
#include "client/render.h"
#include "main/spine.h"
#include "media/clock.h"
#include "media/video.h"
#include "server/server.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {

// --- The hand-moved clock ---------------------------------------------------

uint32_t CLOCKNOW = 1000;
uint32_t HANDTICKS() { return CLOCKNOW; }
void HANDDELAY(uint32_t ms) { CLOCKNOW += ms; }
void USEHANDCLOCK() {
    KELTICKSOURCE = HANDTICKS;
    KELDELAYSINK = HANDDELAY;
}

// Longest a single stream may keep either side busy before the run is
// called stuck (wall clock; a healthy run takes milliseconds).
constexpr uint32_t STREAMLIMITMS = 20000;

// --- Raw sockets --------------------------------------------------------------
// libFuzzer's timeout alarm (SIGALRM) may land in either thread at any time,
// so every blocking call here carries on after an interruption.

// poll() on one descriptor for at most MS milliseconds in all, interrupted
// or not. Returns poll's result (0 when the time ran out).
int POLLONE(int fd, short events, int ms) {
    const uint32_t start = NETNOW();
    for (;;) {
        const int elapsed = static_cast<int>(NETNOW() - start);
        pollfd one{fd, events, 0};
        const int ready = poll(&one, 1, ms > elapsed ? ms - elapsed : 0);
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

int CONNECTLOOPBACK(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        // An interrupted connect goes on by itself; wait for its outcome.
        int error = errno;
        if (error == EINTR && POLLONE(fd, POLLOUT, 5000) > 0) {
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        }
        if (error != 0) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

// A connection from a local port of 31400-31999, taken in turn (ports
// another program holds, or whose last connection to PORT is still in
// TIME_WAIT, are passed over). -1 when none can be had.
int CONNECTFROMPOOL(uint16_t port) {
    constexpr uint32_t FIRST = 31400;
    constexpr uint32_t COUNT = 600;
    static uint32_t next = 0;
    for (uint32_t attempt = 0; attempt < COUNT; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return -1;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(static_cast<uint16_t>(FIRST + next++ % COUNT));
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return fd;
        close(fd);
    }
    return -1;
}

void SETNONBLOCKING(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

// Closes with a reset, so no TIME_WAIT is left behind by thousands of runs.
void ABORTIVECLOSE(int fd) {
    if (fd < 0) return;
    linger off{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    close(fd);
}

// Reads whatever is waiting on a non-blocking socket (keeping it in KEEP
// when given). Returns false once the peer has closed or reset.
bool DRAIN(int fd, std::vector<uint8_t>* keep) {
    uint8_t chunk[16384];
    for (;;) {
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            if (keep != nullptr) keep->insert(keep->end(), chunk, chunk + n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

// Writes as much of DATA[DONE..SIZE) as the socket takes now. Returns false
// when the peer is gone (nothing more can be written).
bool WRITEMORE(int fd, const uint8_t* data, size_t size, size_t& done) {
    while (done < size) {
        const ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

void PUTINT(std::vector<uint8_t>& bytes, int32_t value) {
    uint8_t four[4];
    NETWRITEINT(four, value);
    bytes.insert(bytes.end(), four, four + 4);
}

// Checks the whole messages at the start of BYTES as a client with slot
// OWNSLOT reads them: each must have a kind a server sends and a length the
// client accepts. Whole ones are removed (their CHAT lines kept in LINES
// when given); a message not yet whole stays. Returns false on the first
// one a client could not read.
bool READSERVERMESSAGES(std::vector<uint8_t>& bytes, int32_t ownslot, std::vector<std::string>* lines) {
    size_t offset = 0;
    bool readable = true;
    for (;;) {
        const int64_t whole = PROTOTOCLIENTLENGTH(bytes.data() + offset, bytes.size() - offset, ownslot);
        if (whole == 0) break;
        const int32_t kind = whole > 0 ? NETREADINT(bytes.data() + offset) : -1;
        if (whole < 0 || kind < FULLSTATE || kind > KILLCOUNT || kind == CONTROLS) {
            readable = false;
            offset = bytes.size();
            break;
        }
        if (kind == CHAT && lines != nullptr)
            lines->emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(offset + 8),
                                bytes.begin() + static_cast<std::ptrdiff_t>(offset + static_cast<size_t>(whole)));
        offset += static_cast<size_t>(whole);
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return readable;
}

// --- Server side ----------------------------------------------------------

constexpr int32_t BYSTANDERSLOT = 0;
const std::string BYSTANDERNAME = "bystander";
bool SERVERSTARTED = false;
uint16_t SERVERPORT = 0;
int BYSTANDERFD = -1;
std::vector<uint8_t> BYSTANDERBYTES;  // what the bystander has received and not yet checked

// The connection of the stream under test: the one occupied slot besides
// the bystander's (null when there is none).
const NETCONNECTION* STREAMCONNECTION() {
    for (int32_t slot = 0; slot < SERVERSLOTS; ++slot)
        if (slot != BYSTANDERSLOT && SERVERTCPSOCKS[static_cast<size_t>(slot)] != nullptr)
            return &SERVERCONNECTIONS[static_cast<size_t>(slot)];
    return nullptr;
}

// How a stream's end reaches the server. The side that closes a TCP
// connection first keeps its port in TIME_WAIT for a minute, and with
// thousands of streams a second those would soon cover every ephemeral
// port of the machine, where other programs' tests listen. So the end is
// told with a reset, once the server has taken every byte in and handled
// every whole message (it reads a reset as it reads a close). Only while
// the admission itself would otherwise wait for the code or the name is
// the end told with a close (the server then reads the missing part as
// absent at once); such a connection comes from a port of this harness's
// own range, so its TIME_WAIT stays there.
bool ENDSWITHCLOSE(const uint8_t* data, size_t size) {
    if (size < 4) return true;
    if (NETREADINT(data) != AUTHCODE) return false;  // refused at once
    if (size < 8) return true;
    const int32_t length = NETREADINT(data + 4);
    if (length < 0 || length > NETMAXSTRING) return false;  // a broken name: dropped at once
    return size < 8 + static_cast<size_t>(length);
}

bool OTHERSLOTSOCCUPIED() {
    for (int32_t slot = 0; slot < SERVERSLOTS; ++slot)
        if (slot != BYSTANDERSLOT && SERVERTCPSOCKS[static_cast<size_t>(slot)] != nullptr) return true;
    return false;
}

// The tables as they stand before every stream: the bystander in slot 0 at
// rest, every free slot resting, no projectiles, no chat, both physics
// clocks and the random sequence at their start. The admission draws the
// newcomer's position first, so it is the same for every stream: the
// bystander rests with its hit point right there, where the newcomer's
// first shot starts, so that shots, hits and kills are within a stream's
// reach.
void RESETSERVERTABLES() {
    RESETRANDOM();
    const int32_t arrivalx = RANDOMARENACOORDINATE();
    const int32_t arrivaly = RANDOMARENACOORDINATE();
    RESETRANDOM();
    CLOCKNOW = 1000;
    SERVERPHYSICSCLOCK = PHYSICSCLOCK{};
    SERVERBULLETCLOCK = PHYSICSCLOCK{};
    SERVERBULLETS = BULLETTABLE{};
    SERVERCHATBUFFER = CHATBUFFER{};
    for (int32_t slot = 0; slot < SERVERSLOTS; ++slot) {
        SHIPTYPE& ship = SERVERPLAYERS[static_cast<size_t>(slot)];
        if (slot != BYSTANDERSLOT && SERVERTCPSOCKS[static_cast<size_t>(slot)] != nullptr) continue;
        ship = SHIPTYPE{};
        ship.HEALTH = 100;
        ship.MAXHEALTH = 100;
        if (slot == BYSTANDERSLOT) {
            ship.X = arrivalx - 34;
            ship.Y = arrivaly - 30;
            ship.CONNECTED = SERVERTCPSOCKS[static_cast<size_t>(slot)] != nullptr ? 1 : 0;
            ship.PLAYERNAME = BYSTANDERNAME;
        } else {
            ship.X = -500;
            ship.Y = -500;
        }
    }
}

// One server tick without the pause's wait. Once the stream's connection
// has been accepted nobody else is connecting, so the connection pass is
// then run without its accept attempts on the free slots (which would all
// find nothing, and cost a system call each): every occupied slot, in
// ascending order, is handed to the dispatcher exactly as the pass does.
void SERVERPASS(bool accepting = true) {
    if (accepting) {
        SERVERWAITFORCONNECTIONS();
    } else {
        for (int32_t slot = 0; slot < SERVERSLOTS; ++slot)
            if (SERVERTCPSOCKS[static_cast<size_t>(slot)] != nullptr) SERVERNETGETDATAPACKET(slot);
    }
    SERVERPHYSICS();
    SERVERBULLETPHYSICS();
    SERVERFLUSHALL();
    KELDELAY(5);
}

// A well-behaved player that joins once and then only listens.
bool ADMITBYSTANDER() {
    if (BYSTANDERFD >= 0) ABORTIVECLOSE(BYSTANDERFD);
    BYSTANDERFD = -1;
    const int fd = CONNECTLOOPBACK(SERVERPORT);
    if (fd < 0) return false;
    std::vector<uint8_t> hello;
    PUTINT(hello, AUTHCODE);
    PUTINT(hello, static_cast<int32_t>(BYSTANDERNAME.size()));
    hello.insert(hello.end(), BYSTANDERNAME.begin(), BYSTANDERNAME.end());
    PUTINT(hello, READY);
    size_t done = 0;
    WRITEMORE(fd, hello.data(), hello.size(), done);
    SETNONBLOCKING(fd);
    // The first pass admits it (into slot 0, the lowest free one), the
    // second reads its READY.
    SERVERPASS();
    SERVERPASS();
    BYSTANDERBYTES.clear();
    DRAIN(fd, &BYSTANDERBYTES);
    if (SERVERTCPSOCKS[BYSTANDERSLOT] == nullptr || done != hello.size() || BYSTANDERBYTES.size() < 4 ||
        NETREADINT(BYSTANDERBYTES.data()) != BYSTANDERSLOT) {
        ABORTIVECLOSE(fd);
        return false;
    }
    // The slot number; then its own welcome, read like everything after it.
    BYSTANDERBYTES.erase(BYSTANDERBYTES.begin(), BYSTANDERBYTES.begin() + 4);
    if (!READSERVERMESSAGES(BYSTANDERBYTES, BYSTANDERSLOT, nullptr)) {
        ABORTIVECLOSE(fd);
        return false;
    }
    BYSTANDERFD = fd;
    return true;
}

// --- Client side ----------------------------------------------------------

bool CLIENTSTARTED = false;
bool DRAWING = false;
int LISTENFD = -1;

// The far end's job: bytes to answer the next connection with. The lock
// and the condition outlive every static destructor (the far thread waits
// on them until the process ends).
std::mutex& FARLOCK = *new std::mutex;
std::condition_variable& FARWAKE = *new std::condition_variable;
const uint8_t* FARDATA = nullptr;
size_t FARSIZE = 0;
bool FARPOSTED = false;
bool FARFINISHED = false;
std::atomic<bool> FARWRITTEN{false};
int FARFD = -1;
std::vector<uint8_t> FARHEARD;  // everything the client sent

// Accepts the client's connection, writes the job's bytes (the client
// reads them as it goes) and closes its sending side.
void FARLOOP() {
    // The process's signals (libFuzzer's timeout alarm among them) go to the
    // thread that runs the client, never to this one.
    sigset_t asynchronous;
    sigemptyset(&asynchronous);
    for (int signal : {SIGALRM, SIGINT, SIGTERM, SIGUSR1, SIGUSR2, SIGXFSZ}) sigaddset(&asynchronous, signal);
    pthread_sigmask(SIG_BLOCK, &asynchronous, nullptr);
    for (;;) {
        const uint8_t* data = nullptr;
        size_t size = 0;
        {
            std::unique_lock<std::mutex> hold(FARLOCK);
            FARWAKE.wait(hold, [] { return FARPOSTED; });
            data = FARDATA;
            size = FARSIZE;
        }
        int fd = -1;
        while (fd < 0 && POLLONE(LISTENFD, POLLIN, 5000) > 0) {
            fd = accept(LISTENFD, nullptr, nullptr);
            if (fd < 0 && errno != EINTR && errno != ECONNABORTED) break;
        }
        if (fd >= 0) {
            size_t done = 0;
            while (done < size) {
                // Blocking writes: the client reads while it runs; when it
                // has gone the write fails and the rest is dropped.
                if (!WRITEMORE(fd, data, size, done)) break;
                if (done < size && POLLONE(fd, POLLOUT, 5000) <= 0) break;
            }
            shutdown(fd, SHUT_WR);
        }
        FARWRITTEN.store(true);
        // Then everything the client sends, up to its close.
        std::vector<uint8_t> heard;
        while (fd >= 0) {
            if (POLLONE(fd, POLLIN, static_cast<int>(STREAMLIMITMS)) <= 0) break;
            uint8_t chunk[16384];
            const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            heard.insert(heard.end(), chunk, chunk + n);
        }
        std::lock_guard<std::mutex> hold(FARLOCK);
        FARHEARD = std::move(heard);
        FARFD = fd;
        FARPOSTED = false;
        FARFINISHED = true;
        FARWAKE.notify_all();
    }
}

// What a client may send: the code; once given a slot, its name and then
// only READY, CONTROLS and CHAT messages, each whole.
bool CLIENTSENTREADABLE(const std::vector<uint8_t>& bytes, bool joined) {
    if (bytes.size() < 4 || NETREADINT(bytes.data()) != AUTHCODE) return false;
    if (!joined) return bytes.size() == 4;
    if (bytes.size() < 8) return false;
    const int32_t namelength = NETREADINT(bytes.data() + 4);
    if (namelength != static_cast<int32_t>(VX_PLAYERNAME.size()) || bytes.size() < 8 + VX_PLAYERNAME.size() ||
        !std::equal(VX_PLAYERNAME.begin(), VX_PLAYERNAME.end(), bytes.begin() + 8))
        return false;
    size_t offset = 8 + VX_PLAYERNAME.size();
    while (offset < bytes.size()) {
        const int64_t whole = PROTOTOSERVERLENGTH(bytes.data() + offset, bytes.size() - offset);
        if (whole <= 0) return false;
        const int32_t kind = NETREADINT(bytes.data() + offset);
        if (kind != READY && kind != CONTROLS && kind != CHAT) return false;
        offset += static_cast<size_t>(whole);
    }
    return true;
}

void RESETCLIENTTABLES() {
    CLIENTPLAYERS = SHIPTABLE{};
    CLIENTBULLETS = BULLETTABLE{};
    CLIENTCHATBUFFER = CHATBUFFER{};
    CLIENTCURRENTPLAYERSHIP = 0;
    CLIENTPVPVARX = CLIENTPVPVARY = 0;
    CLIENTROUNDTRIPTIME1 = CLIENTROUNDTRIPTIME2 = 0;
    CLIENTCHATMESSAGE.clear();
    CLIENTRESETPHYSICSCLOCKS();
    RESETRANDOM();
    CLOCKNOW = 1000;
    QUITLOOP.store(0);
    KELEXITSTATUS.store(0);
    VX_HOSTNAME = HOSTINGADDRESS;
    VX_PLAYERNAME = "fuzzer";
    CLIENTPLACEOBJECTS();
}

}  // namespace

bool FUZZSERVERSTART(uint16_t first, uint16_t last) {
    if (SERVERSTARTED) return true;
    NETINIT();
    USEHANDCLOCK();
    // The bystander never speaks; it must never count as gone.
    SERVERSILENCELIMITMS.store(UINT32_MAX);
    SERVERRELEASE();
    for (uint32_t port = first; port <= last && SERVERTCPSOCK == nullptr; ++port) {
        if (SDLNet_ResolveHost(&SERVERIP, nullptr, static_cast<Uint16>(port)) != 0) continue;
        SERVERTCPSOCK = SDLNet_TCP_Open(&SERVERIP);
        if (SERVERTCPSOCK != nullptr) SERVERPORT = static_cast<uint16_t>(port);
    }
    if (SERVERTCPSOCK == nullptr) return false;
    GAMEPORT = SERVERPORT;
    for (SDLNet_SocketSet& set : SERVERTCPSOCKSETS) set = SDLNet_AllocSocketSet(1);
    RESETSERVERTABLES();
    SERVERSTARTED = ADMITBYSTANDER();
    return SERVERSTARTED;
}

FUZZSERVEROUTCOME FUZZSERVERSTREAM(const uint8_t* data, size_t size) {
    FUZZSERVEROUTCOME outcome;
    if (!SERVERSTARTED) return outcome;
    if (SERVERTCPSOCKS[BYSTANDERSLOT] == nullptr && !ADMITBYSTANDER()) return outcome;
    RESETSERVERTABLES();
    // How the stream's end is told (see ENDSWITHCLOSE).
    const bool endswithclose = ENDSWITHCLOSE(data, size);
    int fd = endswithclose ? CONNECTFROMPOOL(SERVERPORT) : CONNECTLOOPBACK(SERVERPORT);
    if (fd < 0) return outcome;
    SETNONBLOCKING(fd);

    std::vector<uint8_t> back;
    bool bystanderreadable = true;
    size_t written = 0;
    bool sent = false;    // every byte is written (or the server stopped taking them)
    bool closed = false;  // the server closed, or this end has reset
    bool bystanderheard = true;
    bool accepted = false;
    int passesafter = 0;
    const int passlimit = static_cast<int>(size / 4) + 256;
    const uint32_t start = NETNOW();
    for (;;) {
        if (!sent && (!WRITEMORE(fd, data, size, written) || written == size)) {
            sent = true;
            if (endswithclose) shutdown(fd, SHUT_WR);
        }
        SERVERPASS(!accepted);
        ++outcome.PASSES;
        if (!closed) closed = !DRAIN(fd, &back);
        accepted = accepted || closed || !back.empty() || OTHERSLOTSOCCUPIED();
        if (BYSTANDERFD >= 0 && !DRAIN(BYSTANDERFD, &BYSTANDERBYTES)) bystanderheard = false;
        if (!READSERVERMESSAGES(BYSTANDERBYTES, BYSTANDERSLOT, &outcome.BYSTANDERCHAT)) bystanderreadable = false;
        // All of it taken in and every whole message handled: the end.
        const NETCONNECTION* conn = STREAMCONNECTION();
        if (sent && !endswithclose && !closed && conn != nullptr && conn->BYTESRECEIVED >= written &&
            PROTOTOSERVERLENGTH(*conn) == 0) {
            ABORTIVECLOSE(fd);
            fd = -1;
            closed = true;
        }
        if (sent && closed && !OTHERSLOTSOCCUPIED()) {
            outcome.RELEASED = true;
            break;
        }
        if (sent && ++passesafter > passlimit) break;
        if (NETNOW() - start > STREAMLIMITMS) break;
    }
    if (fd >= 0) ABORTIVECLOSE(fd);

    outcome.BYTESBACK = back.size();
    outcome.GOTANSWER = back.size() >= 4;
    if (outcome.GOTANSWER) outcome.FIRSTANSWER = NETREADINT(back.data());
    // After a slot number comes what a joined player is sent; after a
    // refusal, nothing.
    bool answerreadable = true;
    if (outcome.GOTANSWER && PROTOVALIDSLOT(outcome.FIRSTANSWER)) {
        back.erase(back.begin(), back.begin() + 4);
        answerreadable = READSERVERMESSAGES(back, outcome.FIRSTANSWER, nullptr);
    } else if (outcome.GOTANSWER) {
        answerreadable = outcome.FIRSTANSWER == AUTHREFUSED && back.size() == 4;
    }
    outcome.READABLE = answerreadable && bystanderreadable;
    outcome.BYSTANDERKEPT =
        bystanderheard && SERVERTCPSOCKS[BYSTANDERSLOT] != nullptr && SERVERPLAYERS[BYSTANDERSLOT].CONNECTED != 0;
    if (!outcome.BYSTANDERKEPT) {
        // Start the next stream with a bystander again.
        SERVERNETDISCONNECTREMOTE(BYSTANDERSLOT);
        ABORTIVECLOSE(BYSTANDERFD);
        BYSTANDERFD = -1;
        BYSTANDERBYTES.clear();
    }
    return outcome;
}

bool FUZZCLIENTSTART(uint16_t first, uint16_t last, const std::string& datafolder) {
    if (CLIENTSTARTED) return true;
    NETINIT();
    USEHANDCLOCK();
    for (uint32_t port = first; port <= last && LISTENFD < 0; ++port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return false;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd, 4) == 0) {
            LISTENFD = fd;
            GAMEPORT = static_cast<int32_t>(port);
        } else {
            close(fd);
        }
    }
    if (LISTENFD < 0) return false;
    if (!datafolder.empty()) {
        // Video and sprites come up in a scratch run folder (config.cfg and
        // data/); the working directory is given back afterwards, and the
        // folder goes (the font file stays open through its link's target).
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path previous = fs::current_path(error);
        std::string folder = (fs::temp_directory_path() / "vexil-fuzz-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) return false;
        fs::create_directory_symlink(fs::path(datafolder), fs::path(folder) / "data", error);
        std::ofstream(fs::path(folder) / "config.cfg") << "xres, 640\nyres, 480\ndepth, 32\n";
        fs::current_path(folder, error);
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO);  // the sprite loading trace
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDOUT_FILENO);
        KELSDL_INIT();
        LOADGRAPHICS();
        std::fflush(stdout);
        if (saved >= 0) dup2(saved, STDOUT_FILENO);
        if (null >= 0) close(null);
        if (saved >= 0) close(saved);
        fs::current_path(previous, error);
        fs::remove_all(folder, error);
        DRAWING = true;
    }
    std::thread(FARLOOP).detach();
    CLIENTSTARTED = true;
    return true;
}

FUZZCLIENTOUTCOME FUZZCLIENTSTREAM(const uint8_t* data, size_t size) {
    FUZZCLIENTOUTCOME outcome;
    if (!CLIENTSTARTED) return outcome;
    RESETCLIENTTABLES();
    {
        std::lock_guard<std::mutex> hold(FARLOCK);
        FARDATA = data;
        FARSIZE = size;
        FARFINISHED = false;
        FARWRITTEN.store(false);
        FARFD = -1;
        FARPOSTED = true;
        FARWAKE.notify_all();
    }
    // The network library does not resume a connect that a signal cut
    // short, and the game gets no such signals; libFuzzer's timeout alarm
    // therefore waits until the handshake is over.
    sigset_t alarm;
    sigset_t previous;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alarm, &previous);
    CLIENTSTARTNETWORK();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    outcome.JOINED = CLIENTCONNECTED();
    CLIENTSENDREADY();
    int passesafter = 0;
    const int passlimit = static_cast<int>(size / 4) + 256;
    const uint32_t start = NETNOW();
    while (CLIENTCONNECTED()) {
        // A frame's network and prediction steps, in the frame's order.
        CLIENTNETGETDATAPACKET();
        CLIENTPHYSICS();
        CLIENTBULLETPHYSICS();
        CLIENTNETFLUSH();
        KELDELAY(33);
        ++outcome.PASSES;
        if (FARWRITTEN.load()) {
            if (++passesafter > passlimit) break;
        } else {
            std::this_thread::yield();
        }
        if (NETNOW() - start > STREAMLIMITMS) break;
    }
    outcome.RELEASED = !CLIENTCONNECTED();
    if (DRAWING) CLIENTDRAWEVERYTHING();
    CLIENTNETCLOSE();
    int farfd = -1;
    {
        std::unique_lock<std::mutex> hold(FARLOCK);
        FARWAKE.wait_for(hold, std::chrono::milliseconds(STREAMLIMITMS), [] { return FARFINISHED; });
        farfd = FARFD;
        FARFD = -1;
        outcome.SENTREADABLE = FARFINISHED && CLIENTSENTREADABLE(FARHEARD, outcome.JOINED);
        outcome.SENT = FARHEARD;
    }
    ABORTIVECLOSE(farfd);
    return outcome;
}

std::vector<uint8_t> FUZZREADFILE(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
