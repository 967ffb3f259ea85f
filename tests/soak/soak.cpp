// vexil-soak: a bounded soak of the dedicated server. It starts vexil-server
// on TCP port 7778 and, for the chosen time, plays sixteen bots against it
// (thirteen that stay, one of them flooding the chat, and three that keep
// leaving and coming back) while hostile peers come one after another:
// a silent connector, random bytes instead of the code, a player that stops
// in the middle of a message, one that floods and never reads, impossible
// string lengths, random bytes after a proper join, a burst of chat and a
// player that vanishes with a reset. It checks that the server never
// crashes, never stalls beyond its bounded waits, keeps every staying bot
// supplied with UPDATEs, keeps its resident memory flat and frees and
// reuses its slots, and prints the counts.
//   vexil-soak [--seconds N | --minutes N]      (default 90 seconds)
// Exit status: 0 when every check held, 1 when one failed (or when port
// 7778 is taken by something else, so the soak could not run).
// Threads: the main thread starts everything and watches; each bot runs in
// its own thread (bots/), the churn in three threads, the hostile peers in
// one. They share only atomics.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>

#include "bots/bot.h"
#include "main/spine.h"
#include "shared/net.h"
#include "shared/protocol.h"
#include "tests/support/child.h"
#include "tests/support/peer.h"

namespace {

constexpr uint16_t PORT = 7778;
constexpr int RESIDENTS = 13;
constexpr int CHURNERS = 3;
// The server may hold its whole tick for one bounded wait (NETWAITLIMITMS)
// plus the two 50 ms pauses of a refusal. A bot's wait between UPDATEs
// beyond that, with two seconds of slack for a busy machine and the bot's
// own frame, is a stall.
constexpr uint32_t STALLLIMITMS = NETWAITLIMITMS + 100 + 2000;
// Resident memory may grow this much after the warm-up: buffers reaching
// their working size, not a leak.
constexpr long MEMORYSLACKKIB = 8 * 1024;
// Each staying bot must get UPDATEs in every window of this length.
constexpr uint32_t WINDOWMS = 10000;

std::atomic<bool> ENDING{false};

struct COUNTS {
    std::atomic<uint64_t> CONNECTIONS{0};     // every connection opened to the server
    std::atomic<uint64_t> BOTJOINS{0};
    std::atomic<uint64_t> CHURNSESSIONS{0};
    std::atomic<uint64_t> FULLWAITS{0};       // churn joins given up while the server was full
    std::atomic<uint64_t> HOSTILEPEERS{0};
    std::atomic<uint64_t> BADINPUTS{0};       // hostile actions tried
    std::atomic<uint64_t> HOSTILEMESSAGES{0}; // messages (or fragments) the hostile peers sent
    std::atomic<uint64_t> CHURNMESSAGES{0};   // server messages the churn bots applied
    std::atomic<uint64_t> FAULTS{0};          // a hostile peer not handled as it must be
    std::array<std::atomic<uint32_t>, 16> SLOTJOINS{};
};
COUNTS COUNT;
std::mutex LOGLOCK;

void SAY(const std::string& text) {
    std::lock_guard<std::mutex> hold(LOGLOCK);
    std::printf("soak: %s\n", text.c_str());
    std::fflush(stdout);
}

void FAULT(const std::string& text) {
    ++COUNT.FAULTS;
    SAY("FAULT: " + text);
}

void PAUSE(uint32_t ms) {
    const uint32_t start = NETNOW();
    while (!ENDING.load() && NETNOW() - start < ms) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

std::vector<uint8_t> INTBYTES(int32_t value) {
    std::vector<uint8_t> bytes(4);
    NETWRITEINT(bytes.data(), value);
    return bytes;
}

std::vector<uint8_t> RANDOMBYTES(std::mt19937& random, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random() & 0xff);
    return bytes;
}

// A raw peer that has joined: code sent, slot read (waiting while the
// server is full), name sent. False when it got no slot.
bool RAWJOIN(RAWPEER& peer, const std::string& name, int receivebuffer = 0) {
    ++COUNT.CONNECTIONS;
    if (!peer.CONNECT(PORT, receivebuffer) || !peer.WRITEINT(AUTHCODE)) return false;
    const std::vector<uint8_t> slot = peer.READ(4, 20000);
    if (slot.size() != 4 || NETREADINT(slot.data()) < 0 || NETREADINT(slot.data()) >= 16) return false;
    ++COUNT.SLOTJOINS[static_cast<size_t>(NETREADINT(slot.data()))];
    return peer.WRITESTR(name) && peer.WRITEINT(READY);
}

// --- The hostile peers, one at a time ----------------------------------------

// Connects and says nothing: refused with -1 once the code wait runs out.
void SILENTPEER() {
    RAWPEER peer;
    ++COUNT.CONNECTIONS;
    if (!peer.CONNECT(PORT)) return FAULT("silent peer could not connect");
    const std::vector<uint8_t> answer = peer.READ(4, 25000);
    if (answer != INTBYTES(AUTHREFUSED)) return FAULT("silent peer was not refused");
    if (!peer.WAITCLOSED(5000)) FAULT("silent peer's connection was not closed after the refusal");
}

// Random bytes where the code belongs: refused.
void RANDOMCODE(std::mt19937& random) {
    RAWPEER peer;
    ++COUNT.CONNECTIONS;
    std::vector<uint8_t> bytes = RANDOMBYTES(random, 64);
    if (NETREADINT(bytes.data()) == AUTHCODE) bytes[0] ^= 1;
    COUNT.HOSTILEMESSAGES += 1;
    if (!peer.CONNECT(PORT) || !peer.WRITE(bytes)) return FAULT("random-code peer could not send");
    if (peer.READ(4, 25000) != INTBYTES(AUTHREFUSED)) return FAULT("random-code peer was not refused");
    if (!peer.WAITCLOSED(5000)) FAULT("random-code peer's connection was not closed");
}

// Joins, then stops inside a CONTROLS. Either closes after a few seconds, or
// (HOLD) stays silent until the server gives up on it.
void MIDMESSAGE(bool hold) {
    RAWPEER peer;
    if (!RAWJOIN(peer, "halfway")) return FAULT("mid-message peer got no slot");
    std::vector<uint8_t> part = INTBYTES(CONTROLS);
    part.resize(4 + 10, 0);
    ++COUNT.HOSTILEMESSAGES;
    if (!peer.WRITE(part)) return FAULT("mid-message peer could not send");
    if (!hold) {
        PAUSE(4000);
        return;
    }
    // Nothing more from it: the server drops it after its silence limit.
    if (!peer.WAITCLOSED(static_cast<int>(NETSILENCELIMITMS) + 15000))
        FAULT("a peer silent in the middle of a message was never dropped");
}

// Joins with a tiny receive window, then sends CONTROLS as fast as it can
// and never reads: every one is answered with an UPDATE that piles up until
// the server gives the peer up.
void FLOODNEVERREAD() {
    RAWPEER peer;
    if (!RAWJOIN(peer, "flood", 2048)) return FAULT("flooding peer got no slot");
    std::vector<uint8_t> controls = INTBYTES(CONTROLS);
    controls.resize(CONTROLSBYTES, 0);
    std::vector<uint8_t> batch;
    for (int i = 0; i < 64; ++i) batch.insert(batch.end(), controls.begin(), controls.end());
    const uint32_t start = NETNOW();
    while (NETNOW() - start < 30000) {
        const long sent = peer.TRYWRITE(batch);
        if (sent < 0) return;  // the server has closed it: done
        COUNT.HOSTILEMESSAGES += static_cast<uint64_t>(sent) / CONTROLSBYTES;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    FAULT("a peer that never reads was not dropped within 30 s");
}

// Impossible string lengths, where the name or a chat text belongs.
void HUGESTRING(int variant) {
    RAWPEER peer;
    ++COUNT.HOSTILEMESSAGES;
    if (variant == 0) {
        ++COUNT.CONNECTIONS;
        if (!peer.CONNECT(PORT) || !peer.WRITEINT(AUTHCODE)) return FAULT("huge-name peer could not send");
        const std::vector<uint8_t> slot = peer.READ(4, 20000);
        if (slot.size() != 4) return FAULT("huge-name peer got no slot");
        if (NETREADINT(slot.data()) >= 0 && NETREADINT(slot.data()) < 16) ++COUNT.SLOTJOINS[static_cast<size_t>(NETREADINT(slot.data()))];
        peer.WRITEINT(2147483647);
        peer.WRITE(std::vector<uint8_t>(100, 'A'));
    } else {
        if (!RAWJOIN(peer, "huge")) return FAULT("huge-chat peer got no slot");
        peer.WRITEINT(CHAT);
        peer.WRITEINT(variant == 1 ? 2147483647 : -5);
        peer.WRITE(std::vector<uint8_t>(100, 'B'));
    }
    if (!peer.WAITCLOSED(10000)) FAULT("a string length of " + std::string(variant == 2 ? "-5" : "2^31-1") + " did not end the connection");
}

// Joins properly, then sends random bytes and leaves.
void RANDOMAFTERJOIN(std::mt19937& random) {
    RAWPEER peer;
    if (!RAWJOIN(peer, "noise")) return FAULT("noisy peer got no slot");
    for (int i = 0; i < 8 && !ENDING.load(); ++i) {
        ++COUNT.HOSTILEMESSAGES;
        if (!peer.WRITE(RANDOMBYTES(random, 64))) break;
        peer.READ(65536, 50);
    }
    PAUSE(500);
}

// A proper player that floods the chat and reads everything: all its lines
// must come back to it.
void CHATBURST() {
    constexpr int LINES = 200;
    TESTCLIENT flooder;
    ++COUNT.CONNECTIONS;
    if (!flooder.JOIN(PORT, "burst", 20000)) return FAULT("chat-burst player could not join");
    if (PROTOVALIDSLOT(flooder.SLOT)) ++COUNT.SLOTJOINS[static_cast<size_t>(flooder.SLOT)];
    for (int i = 0; i < LINES; ++i) PROTOWRITECHAT(flooder.CONN, "burst line " + std::to_string(i));
    COUNT.HOSTILEMESSAGES += LINES;
    auto own = [&] {
        int count = 0;
        for (const std::string& line : flooder.LINES)
            if (line.find("burst:burst line ") == 3) ++count;
        return count;
    };
    if (!flooder.RUNUNTIL([&] { return own() == LINES; }, 20000))
        FAULT("a chat burst came back with " + std::to_string(own()) + " of " + std::to_string(LINES) + " lines");
    flooder.CLOSE();
}

// A player that vanishes: its connection is reset, not closed.
void VANISH() {
    RAWPEER peer;
    if (!RAWJOIN(peer, "ghost")) return FAULT("vanishing peer got no slot");
    peer.READ(65536, 500);
    linger reset{1, 0};
    setsockopt(peer.FD, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    peer.CLOSE();
}

void HOSTILELOOP(uint32_t endat) {
    std::mt19937 random(12345);
    for (int round = 0; !ENDING.load() && NETNOW() < endat; ++round) {
        const int kind = round % 9;
        ++COUNT.HOSTILEPEERS;
        ++COUNT.BADINPUTS;
        switch (kind) {
            case 0: SILENTPEER(); break;
            case 1: RANDOMCODE(random); break;
            // The first stop in the middle of a message waits for the
            // server's own silence limit when the run is long enough.
            case 2: MIDMESSAGE(round == 2 && endat - NETNOW() > NETSILENCELIMITMS + 20000); break;
            case 3: FLOODNEVERREAD(); break;
            case 4: HUGESTRING((round / 9) % 3); break;
            case 5: RANDOMAFTERJOIN(random); break;
            case 6: CHATBURST(); break;
            case 7: VANISH(); break;
            case 8: HUGESTRING((round / 9 + 1) % 3); break;
        }
        PAUSE(300);
    }
}

// --- Churn: bots that come and go ------------------------------------------------

void CHURNLOOP(int id, uint32_t endat) {
    std::mt19937 random(static_cast<uint32_t>(100 + id));
    for (int session = 0; !ENDING.load() && NETNOW() < endat; ++session) {
        BOTTYPE bot;
        bot.NAME = "churn" + std::to_string(id) + "x" + std::to_string(session);
        bot.HOST = "127.0.0.1";
        bot.SEED = static_cast<uint32_t>(1000 + id * 1000 + session);
        bot.SECONDS = 1.0 + static_cast<double>(random() % 4000) / 1000.0;
        ++COUNT.CHURNSESSIONS;
        ++COUNT.CONNECTIONS;
        // A fresh thread per session: a fresh copy of the client's state.
        std::thread player([&bot] { BOTRUN(bot); });
        while (!bot.ENDED.load()) {
            if (ENDING.load()) bot.LEAVE.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        player.join();
        if (bot.JOINED.load()) {
            ++COUNT.BOTJOINS;
            ++COUNT.SLOTJOINS[static_cast<size_t>(bot.SLOT.load())];
        } else if (bot.FAILED.load()) {
            ++COUNT.FULLWAITS;  // the server stayed full for the whole handshake wait
        }
        if (bot.DROPPED.load()) FAULT(bot.NAME + " was dropped by the server");
        COUNT.CHURNMESSAGES += bot.MESSAGES.load();
        PAUSE(200 + random() % 1200);
    }
}

// --- The run ------------------------------------------------------------------------

long MIB10(long kib) { return kib * 10 / 1024; }
std::string MIBTEXT(long kib) { return std::to_string(MIB10(kib) / 10) + "." + std::to_string(MIB10(kib) % 10) + " MiB"; }

int USAGE() {
    std::fprintf(stderr, "usage: vexil-soak [--seconds N | --minutes N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long seconds = 90;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--seconds" || arg == "--minutes") && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 1 || value > 24 * 60 * 60) return USAGE();
            seconds = arg == "--minutes" ? value * 60 : value;
        } else {
            return USAGE();
        }
    }
    signal(SIGPIPE, SIG_IGN);
    SDL_Init(SDL_INIT_NOPARACHUTE);
    NETINIT();
    GAMEPORT = PORT;
    if (!PORTFREE(PORT)) {
        std::printf("soak: TCP port 7778 is in use by something else; not run\n");
        return 1;
    }
    // Under the address sanitizer freed memory is held back in a quarantine
    // that would look like growth: keep it small.
    std::string asan = "quarantine_size_mb=4";
    if (const char* given = std::getenv("ASAN_OPTIONS")) asan = std::string(given) + ":" + asan;
    CHILDPROCESS server = STARTCHILD(VEXILSERVERPATH, {}, {{"ASAN_OPTIONS", asan}});
    if (server.PID <= 0 || !READOUTUNTIL(server, "listening on TCP port 7778\n", 15000)) {
        std::printf("soak: vexil-server did not start\n");
        ENDCHILD(server);
        return 1;
    }
    SAY("vexil-server (pid " + std::to_string(server.PID) + ") listening; soaking for " + std::to_string(seconds) + " s");

    const uint32_t start = NETNOW();
    const uint32_t endat = start + static_cast<uint32_t>(seconds) * 1000u;
    std::vector<std::unique_ptr<BOTTYPE>> residents;
    std::vector<std::thread> threads;
    for (int i = 0; i < RESIDENTS; ++i) {
        auto bot = std::make_unique<BOTTYPE>();
        bot->NAME = "stay" + std::to_string(i + 1);
        bot->HOST = "127.0.0.1";
        bot->SEED = static_cast<uint32_t>(i + 1);
        // One of them floods the chat: a line every frame, all the time.
        if (i == 0) bot->CHATLINES = 1 << 30;
        residents.push_back(std::move(bot));
        ++COUNT.CONNECTIONS;
    }
    for (auto& bot : residents) threads.emplace_back(BOTRUN, std::ref(*bot));

    bool ok = true;
    int crashes = 0;
    auto check = [&](bool held, const std::string& what) {
        if (!held) {
            ok = false;
            SAY("FAILED: " + what);
        }
    };
    const bool alljoined = [&] {
        for (int waited = 0; waited < 30000; waited += 50) {
            bool all = true;
            for (auto& bot : residents) all = all && bot->UPDATES.load() > 0;
            if (all) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }();
    check(alljoined, "not every staying bot joined and got an UPDATE");
    for (auto& bot : residents)
        if (bot->JOINED.load()) ++COUNT.SLOTJOINS[static_cast<size_t>(bot->SLOT.load())];

    std::vector<std::thread> churn;
    for (int id = 0; id < CHURNERS; ++id) churn.emplace_back(CHURNLOOP, id + 1, endat);
    std::thread hostile(HOSTILELOOP, endat);

    // Watch: the server lives, every staying bot plays and gets UPDATEs in
    // every window, and resident memory after the warm-up.
    const uint32_t warmup = std::min<uint32_t>(30000, static_cast<uint32_t>(seconds) * 1000u * 3 / 10);
    long baseline = -1;
    long peak = 0;
    long last = 0;
    int stalls = 0;
    std::vector<uint64_t> windowstart(residents.size(), 0);
    std::vector<bool> stalled(residents.size(), false);
    uint32_t windowat = NETNOW();
    while (NETNOW() < endat && ok) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        int status = 0;
        if (!CHILDALIVE(server, &status)) {
            ++crashes;
            check(false, "vexil-server ended during the soak with status " + std::to_string(status));
            break;
        }
        last = RESIDENTKIB(server.PID);
        peak = std::max(peak, last);
        if (baseline < 0 && NETNOW() - start >= warmup) baseline = last;
        const uint32_t now = NETNOW();
        for (size_t i = 0; i < residents.size(); ++i) {
            BOTTYPE& bot = *residents[i];
            if (bot.ENDED.load()) {
                check(false, bot.NAME + " stopped playing (dropped: " + (bot.DROPPED.load() ? "yes" : "no") + ")");
                continue;
            }
            const uint32_t gap = now - bot.LASTUPDATEAT.load();
            if (gap > STALLLIMITMS && !stalled[i]) {
                ++stalls;
                stalled[i] = true;
                SAY(bot.NAME + " has waited " + std::to_string(gap) + " ms for an UPDATE");
            } else if (gap <= STALLLIMITMS) {
                stalled[i] = false;
            }
        }
        if ((now - start) / 30000 != (now - 250 - start) / 30000) {
            SAY(std::to_string((now - start) / 1000) + " s: server VmRSS " + MIBTEXT(last) + ", " +
                std::to_string(COUNT.CONNECTIONS.load()) + " connections, " + std::to_string(COUNT.BADINPUTS.load()) +
                " bad inputs, " + std::to_string(stalls) + " stalls");
        }
        if (now - windowat >= WINDOWMS) {
            for (size_t i = 0; i < residents.size(); ++i) {
                const uint64_t updates = residents[i]->UPDATES.load();
                check(updates > windowstart[i], residents[i]->NAME + " got no UPDATE for " + std::to_string(WINDOWMS / 1000) + " s");
                windowstart[i] = updates;
            }
            windowat = now;
        }
    }

    // Wind down churn and hostiles; then every slot they used must be free
    // again and take new players.
    ENDING.store(true);
    for (std::thread& thread : churn) thread.join();
    hostile.join();
    const bool serveralive = CHILDALIVE(server);
    if (!serveralive && crashes == 0) {
        ++crashes;
        check(false, "vexil-server ended during the soak");
    }
    bool slotsfree = false;
    bool reused = false;
    if (serveralive) {
        for (int waited = 0; waited < 20000 && !slotsfree; waited += 100) {
            slotsfree = true;
            for (auto& bot : residents) slotsfree = slotsfree && bot->OTHERSSEEN.load() == RESIDENTS - 1;
            if (!slotsfree) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        check(slotsfree, "slots stayed taken after every other player had left");
        // The three slots the churn and the hostile peers wore out take
        // three new players.
        std::vector<std::unique_ptr<BOTTYPE>> late;
        std::vector<std::thread> latethreads;
        for (int i = 0; i < 16 - RESIDENTS; ++i) {
            auto bot = std::make_unique<BOTTYPE>();
            bot->NAME = "late" + std::to_string(i + 1);
            bot->HOST = "127.0.0.1";
            bot->SEED = static_cast<uint32_t>(500 + i);
            late.push_back(std::move(bot));
            ++COUNT.CONNECTIONS;
        }
        for (auto& bot : late) latethreads.emplace_back(BOTRUN, std::ref(*bot));
        for (int waited = 0; waited < 20000 && !reused; waited += 100) {
            reused = true;
            for (auto& bot : late) reused = reused && bot->UPDATES.load() > 0 && bot->OTHERSSEEN.load() == 15;
            if (!reused) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        check(reused, "freed slots did not take three new players");
        for (auto& bot : late) {
            bot->LEAVE.store(true);
            if (bot->JOINED.load()) ++COUNT.SLOTJOINS[static_cast<size_t>(bot->SLOT.load())];
        }
        for (std::thread& thread : latethreads) thread.join();
        for (auto& bot : late) COUNT.CHURNMESSAGES += bot->MESSAGES.load();
    }
    last = serveralive ? RESIDENTKIB(server.PID) : last;

    BOTSTOP.store(1);
    for (std::thread& thread : threads) thread.join();
    uint64_t received = 0;
    uint64_t updates = 0;
    uint64_t chatsent = 0;
    uint32_t longest = 0;
    for (auto& bot : residents) {
        received += bot->MESSAGES.load();
        updates += bot->UPDATES.load();
        chatsent += bot->CHATSSENT.load();
        longest = std::max(longest, bot->LONGESTUPDATEGAP.load());
    }
    received += COUNT.CHURNMESSAGES.load();

    int serverstatus = -1;
    if (serveralive) {
        kill(server.PID, SIGTERM);
        serverstatus = WAITEXIT(server, 15000);
        READREST(server, 500);
        check(serverstatus == 0, "vexil-server did not end cleanly on SIGTERM (status " + std::to_string(serverstatus) + ")");
        if (serverstatus != 0 && serverstatus != -1) ++crashes;
        check(server.ERRTEXT.empty(), "vexil-server wrote to standard error:\n" + server.ERRTEXT);
    }
    ENDCHILD(server);

    uint32_t slotsused = 0;
    uint32_t reuses = 0;
    for (const auto& joins : COUNT.SLOTJOINS) {
        slotsused += joins.load() > 0 ? 1 : 0;
        reuses += joins.load() > 1 ? joins.load() - 1 : 0;
    }
    const long allowed = baseline + std::max(MEMORYSLACKKIB, baseline / 4);
    check(baseline > 0, "resident memory could not be read");
    check(last <= allowed, "resident memory grew from " + MIBTEXT(baseline) + " to " + MIBTEXT(last));
    check(stalls == 0, std::to_string(stalls) + " stalls");
    check(COUNT.FAULTS.load() == 0, std::to_string(COUNT.FAULTS.load()) + " hostile peers were not handled as they must be");
    check(reuses > 0, "no slot was ever reused");

    std::printf("soak: ran %ld s against vexil-server on port 7778\n", seconds);
    std::printf("soak: connections   %llu (bot joins %llu of %llu churn sessions, %llu waits on a full server; %llu hostile peers)\n",
                static_cast<unsigned long long>(COUNT.CONNECTIONS.load()),
                static_cast<unsigned long long>(COUNT.BOTJOINS.load()),
                static_cast<unsigned long long>(COUNT.CHURNSESSIONS.load()),
                static_cast<unsigned long long>(COUNT.FULLWAITS.load()),
                static_cast<unsigned long long>(COUNT.HOSTILEPEERS.load()));
    std::printf("soak: messages      %llu received by bots (%llu UPDATEs to the staying bots), %llu chat lines flooded, %llu sent by hostile peers\n",
                static_cast<unsigned long long>(received), static_cast<unsigned long long>(updates),
                static_cast<unsigned long long>(chatsent),
                static_cast<unsigned long long>(COUNT.HOSTILEMESSAGES.load()));
    std::printf("soak: bad inputs    %llu tried, %llu mishandled\n", static_cast<unsigned long long>(COUNT.BADINPUTS.load()),
                static_cast<unsigned long long>(COUNT.FAULTS.load()));
    std::printf("soak: stalls        %d (longest wait for an UPDATE %u ms, limit %u ms)\n", stalls, longest, STALLLIMITMS);
    std::printf("soak: crashes       %d\n", crashes);
    std::printf("soak: memory        server VmRSS %s after warm-up, %s at the end, peak %s (allowed %s)\n",
                MIBTEXT(baseline).c_str(), MIBTEXT(last).c_str(), MIBTEXT(peak).c_str(), MIBTEXT(allowed).c_str());
    std::printf("soak: slots         %u used, %u reuses, all freed at the end: %s, retaken: %s\n", slotsused, reuses,
                slotsfree ? "yes" : "no", reused ? "yes" : "no");
    std::printf("soak: %s\n", ok ? "PASS" : "FAIL");
    SDL_Quit();
    return ok ? 0 : 1;
}
