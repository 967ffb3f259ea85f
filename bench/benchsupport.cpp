// Benchmark helpers (see benchsupport.h).
// Threads: BENCHPLAYER records are used by one thread each; the helpers keep
// no state of their own.
#include "bench/benchsupport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include <SDL.h>

namespace fs = std::filesystem;

double WALLNOW() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double CPUNOW() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void SLEEPUNTIL(double seconds) {
    const double wait = seconds - WALLNOW();
    if (wait <= 0) return;
    timespec span{};
    span.tv_sec = static_cast<time_t>(wait);
    span.tv_nsec = static_cast<long>((wait - static_cast<double>(span.tv_sec)) * 1e9);
    nanosleep(&span, nullptr);
}

STATS SUMMARISE(std::vector<double> values) {
    STATS stats;
    stats.COUNT = values.size();
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    double sum = 0;
    for (double v : values) sum += v;
    stats.MEAN = sum / static_cast<double>(values.size());
    stats.MEDIAN = values[values.size() / 2];
    stats.P99 = values[std::min(values.size() - 1, static_cast<size_t>(std::ceil(0.99 * static_cast<double>(values.size()))) - 1)];
    stats.MAX = values.back();
    return stats;
}

void ROW(const std::string& figure, const std::string& measured, const std::string& reference,
         const std::string& ratio, const std::string& target, const std::string& verdict) {
    std::printf("ROW|%s|%s|%s|%s|%s|%s\n", figure.c_str(), measured.c_str(), reference.c_str(), ratio.c_str(),
                target.c_str(), verdict.c_str());
    std::fflush(stdout);
}

std::string FIXED(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string VERDICT(bool met) { return met ? "yes" : "NO"; }

std::string MAKESCRATCHRUNFOLDER() {
    std::string templ = (fs::temp_directory_path() / "vexil-bench-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    fs::create_directory_symlink(fs::path(VEXIL_SOURCE_DIR) / "data", fs::path(templ) / "data");
    std::ofstream(fs::path(templ) / "config.cfg") << "xres, 800\nyres, 600\ndepth, 32\n";
    std::ofstream(fs::path(templ) / "defaults.cfg") << "127.0.0.1\nbenchmark\n";
    fs::current_path(templ);
    return templ;
}

void REMOVESCRATCHRUNFOLDER(const std::string& path) {
    std::error_code error;
    fs::current_path(fs::temp_directory_path(), error);
    fs::remove_all(path, error);
}

long PEAKRESIDENTKIB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

uint16_t FREEPORT(uint16_t first, uint16_t last) {
    for (uint32_t port = first; port <= last; ++port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return 0;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (free) return static_cast<uint16_t>(port);
    }
    return 0;
}

int MUTESTDOUT() {
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    return saved;
}

void RESTORESTDOUT(int saved) {
    std::fflush(stdout);
    if (saved < 0) return;
    dup2(saved, STDOUT_FILENO);
    close(saved);
}

// --- BENCHPLAYER ------------------------------------------------------------

BENCHPLAYER::~BENCHPLAYER() { CLOSE(); }

void BENCHPLAYER::CLOSE() {
    SDLNet_SocketSet set = CONN.SET;
    NETDETACH(CONN);
    if (set != nullptr) SDLNet_FreeSocketSet(set);
    GONE = true;
}

bool BENCHPLAYER::OPEN(uint16_t port) {
    NETINIT();
    IPaddress address{};
    if (SDLNet_ResolveHost(&address, "127.0.0.1", port) != 0) return false;
    TCPsocket socket = SDLNet_TCP_Open(&address);
    if (socket == nullptr) return false;
    NETATTACH(CONN, socket, SDLNet_AllocSocketSet(1));
    GONE = false;
    NETPUTINT(CONN, AUTHCODE);
    NETFLUSH(CONN);
    return true;
}

bool BENCHPLAYER::FINISHJOIN(const std::string& name, double seconds) {
    const double until = WALLNOW() + seconds;
    while (NETUNREAD(CONN) < 4 && !CONN.CLOSED && WALLNOW() < until) {
        if (NETPUMP(CONN) == 0) SDL_Delay(1);
    }
    if (!NETTAKEINT(CONN, SLOT) || SLOT == AUTHREFUSED) return false;
    NETPUTSTR(CONN, name);
    PROTOWRITEKIND(CONN, READY);
    NETFLUSH(CONN);
    return true;
}

bool BENCHPLAYER::JOIN(uint16_t port, const std::string& name, double seconds) {
    return OPEN(port) && FINISHJOIN(name, seconds);
}

int32_t BENCHPLAYER::APPLYONE() {
    if (GONE) return GOODBYE;
    const int64_t whole = PROTOTOCLIENTLENGTH(CONN, SLOT);
    if (whole == 0 && !CONN.CLOSED) return -1;
    if (whole <= 0) {
        GONE = true;
        return GOODBYE;
    }
    ++MESSAGES;
    PAYLOADBYTES += static_cast<uint64_t>(whole);
    LASTLENGTH = static_cast<size_t>(whole);
    int32_t kind = GOODBYE;
    NETTAKEINT(CONN, kind);
    auto ANSWER = [this] {
        SHIPTYPE mine;
        mine.CURRENTACCELERATION = THRUST;
        mine.SHOOTING = SHOOT;
        mine.SUBDIRECTION = HEADING;
        mine.DELTATHETA = 0;
        PROTOWRITECONTROLS(CONN, mine);
        CONTROLSQUEUED = true;
    };
    switch (kind) {
        case GOODBYE:
            GONE = true;
            break;
        case FULLSTATE:
            PROTOREADFULLSTATE(CONN, PLAYERS);
            if (!ANSWEREDFULLSTATE) ANSWER();
            ANSWEREDFULLSTATE = true;
            break;
        case UPDATE:
            PROTOREADUPDATE(CONN, PLAYERS, SLOT);
            ++UPDATES;
            ANSWER();
            break;
        case SHOTFIRED:
            PROTOREADSHOTFIRED(CONN, BULLETS);
            break;
        case SHOTGONE:
            PROTOREADSHOTGONE(CONN, BULLETS);
            break;
        case CHAT: {
            std::string line;
            if (PROTOREADCHAT(CONN, line)) PUSHCHATLINE(CHATS, line);
            break;
        }
        case NAMEINFO:
            PROTOREADNAMEINFO(CONN, PLAYERS);
            break;
        case KILLCOUNT:
            PROTOREADKILLCOUNT(CONN, PLAYERS);
            break;
        default:
            break;
    }
    return kind;
}

bool BENCHPLAYER::UPDATEBUFFERED() const {
    const uint8_t* bytes = NETPEEK(CONN);
    const size_t count = NETUNREAD(CONN);
    size_t offset = 0;
    for (;;) {
        const int64_t whole = PROTOTOCLIENTLENGTH(bytes + offset, count - offset, SLOT);
        if (whole <= 0) return false;
        if (NETREADINT(bytes + offset) == UPDATE) return true;
        offset += static_cast<size_t>(whole);
    }
}

int32_t BENCHPLAYER::FRAME() {
    if (GONE) return GOODBYE;
    ++FRAMES;
    // A slow turn, and thrust for two seconds out of every four.
    HEADING += 0.25;
    if (HEADING > 64) HEADING -= 64;
    THRUST = (FRAMES / 60) % 2 == 0 ? 300 : 0;
    NETPUMP(CONN);
    const int32_t kind = APPLYONE();
    NETFLUSH(CONN);
    CONTROLSQUEUED = false;
    if (CONN.FAILED) GONE = true;
    return kind;
}

void RUNPLAYERS(std::vector<BENCHPLAYER*>& players, double fps, const std::atomic<bool>& stop, double limitseconds) {
    if (players.empty()) return;
    const double period = 1.0 / fps;
    const double start = WALLNOW();
    const double end = start + limitseconds;
    std::vector<double> next(players.size());
    for (size_t i = 0; i < players.size(); ++i)
        next[i] = start + period * static_cast<double>(i) / static_cast<double>(players.size());
    while (!stop.load() && WALLNOW() < end) {
        size_t soonest = 0;
        for (size_t i = 1; i < players.size(); ++i)
            if (next[i] < next[soonest]) soonest = i;
        SLEEPUNTIL(next[soonest]);
        players[soonest]->FRAME();
        next[soonest] += period;
        // A player that fell a whole frame behind starts afresh from now.
        if (next[soonest] < WALLNOW() - period) next[soonest] = WALLNOW();
        bool anyleft = false;
        for (BENCHPLAYER* player : players) anyleft = anyleft || !player->GONE;
        if (!anyleft) return;
    }
}
