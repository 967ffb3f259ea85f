// The game finder against a stand-in server inside the test's private
// network namespace: a veth pair gives it a broadcast network (10.0.0.1/24,
// the default route), and the stand-in answers on UDP 7778 in whatever way
// the test says, counting the queries per destination. Then vexil-find's
// lines and statuses, and the pre-game screen's list clicked by mouse.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "client/finder.h"
#include "main/spine.h"
#include "media/clock.h"
#include "menu/gamelist.h"
#include "menu/pregame.h"
#include "shared/discovery.h"
#include "tests/support/child.h"
#include "tests/support/screen.h"

namespace {
// Answers every well-formed query through SAY(socket, asker, token) until
// it is destroyed; QUERIES counts them by the address they were sent to.
struct RESPONDER {
    using SAYER = std::function<void(int, const sockaddr_in&, uint32_t)>;
    explicit RESPONDER(SAYER say) : SAY(std::move(say)) {
        SOCK = socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        setsockopt(SOCK, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
        sockaddr_in at{AF_INET, htons(7778), {htonl(INADDR_ANY)}, {}};
        if (bind(SOCK, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) throw std::runtime_error("bind 7778");
        THREAD = std::thread([this] { RUN(); });
    }
    ~RESPONDER() { STOP = true, THREAD.join(), close(SOCK); }
    void RUN() {
        while (!STOP) {
            pollfd p{SOCK, POLLIN, 0};
            if (poll(&p, 1, 20) != 1) continue;
            uint8_t bytes[2048], control[256];
            sockaddr_in from{};
            iovec io{bytes, sizeof bytes};
            msghdr m{&from, sizeof from, &io, 1, control, sizeof control, 0};
            const ssize_t n = recvmsg(SOCK, &m, 0);
            uint32_t token = 0;
            if (n < 0 || !DISCOVERYREADQUERY(bytes, size_t(n), token)) continue;
            const cmsghdr* c = CMSG_FIRSTHDR(&m);
            const in_pktinfo* info = c != nullptr ? reinterpret_cast<const in_pktinfo*>(CMSG_DATA(c)) : nullptr;
            std::lock_guard lock(MUTEX);
            ++QUERIES[info != nullptr ? std::string(inet_ntoa(info->ipi_addr)) : "?"];
            SAY(SOCK, from, token);
        }
    }
    std::map<std::string, int> COUNTS() {
        std::lock_guard lock(MUTEX);
        return QUERIES;
    }
    SAYER SAY;
    int SOCK = -1;
    std::atomic<bool> STOP{false};
    std::mutex MUTEX;
    std::map<std::string, int> QUERIES;
    std::thread THREAD;
};

void SEND(int sock, const sockaddr_in& to, const std::vector<uint8_t>& bytes) {
    sendto(sock, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

std::vector<uint8_t> ANSWER(uint32_t token, uint32_t id, const std::string& name, int players) {
    DISCOVERYINFO info;
    info.TOKEN = token, info.SERVERID = id, info.NAME = name, info.VERSION = "1.0.0";
    for (int s = 0; s < players; ++s) info.PLAYERS.push_back({s, "p"});
    return DISCOVERYWRITEANSWER(info);
}

// The network of the namespace: a veth pair, one end 10.0.0.1/24 with the
// default route (so 255.255.255.255 has a way out), and a second loopback
// address for a second server.
class FINDERTEST : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(system("ip link add vxa type veth peer name vxb && ip addr add 10.0.0.1/24 brd + dev vxa && "
                         "ip link set vxa up && ip link set vxb up && ip route add default dev vxa"), 0);
    }
    // A whole search on the steady clock, as vexil-find runs it.
    static FINDERTYPE SEARCH(uint32_t* tookms = nullptr) {
        FINDERTYPE finder;
        const uint32_t start = FINDERNOWMS();
        EXPECT_TRUE(FINDERSTART(finder, FINDERLOCALPLACES(), start));
        for (int i = 0; i < 100 && FINDERWAIT(finder, 100) != 0; ++i) {
        }
        if (tookms != nullptr) *tookms = FINDERNOWMS() - start;
        return finder;
    }
    static std::string LIST(const FINDERTYPE& finder) {
        std::string list;
        for (const FINDERGAME& g : FINDERRESULTS(finder))
            list += g.SHOWN + " " + FINDERPRINTABLE(g.NAME) + " " + std::to_string(g.PLAYERS) + "/" + std::to_string(g.SLOTS) + "\n";
        return list;
    }
};

// One server reached over the loopback and the veth answers each query
// twice, once per address: listed once, at the address other machines can
// use. Answers to another token, cut short, grown too long or with a
// port of their own are told apart; names are sorted whatever their case.
TEST_F(FINDERTEST, EachGameOnceSortedByNameAndOnlyAnswersToThisSearch) {
    RESPONDER server([](int sock, const sockaddr_in& to, uint32_t token) {
        SEND(sock, to, ANSWER(token, 7, "Zulu", 2));
        SEND(sock, to, ANSWER(token, 8, "alpha\x1b[2J\x7f", 0));
        SEND(sock, to, ANSWER(token + 1, 9, "Wrong token", 0));
        std::vector<uint8_t> cut = ANSWER(token, 10, "Cut short", 1), grown = ANSWER(token, 11, "Grown", 0);
        cut.pop_back(), grown.push_back(0);
        SEND(sock, to, cut), SEND(sock, to, grown);
        std::vector<uint8_t> big = ANSWER(token, 12, "", 0);
        big.resize(DISCOVERYMAXANSWERBYTES + 1);
        SEND(sock, to, big);
        DISCOVERYINFO other;
        other.TOKEN = token, other.SERVERID = 13, other.PORT = 7779, other.NAME = "Other port";
        SEND(sock, to, DISCOVERYWRITEANSWER(other));
    });
    uint32_t took = 0;
    const FINDERTYPE finder = SEARCH(&took);
    EXPECT_EQ(LIST(finder), "10.0.0.1 alpha?[2J? 0/16\n10.0.0.1:7779 Other port 0/16\n10.0.0.1 Zulu 2/16\n");
    EXPECT_EQ(FINDERWHERE(finder), "vxa (10.0.0.255), 255.255.255.255 and 127.0.0.1");
    // Three rounds to each place, in about a second and a half.
    EXPECT_EQ(server.COUNTS(), (std::map<std::string, int>{{"10.0.0.255", 3}, {"127.0.0.1", 3}, {"255.255.255.255", 3}}));
    EXPECT_TRUE(took >= FINDERSEARCHMS && took < FINDERSEARCHMS + 1000) << took;
    EXPECT_EQ(GAMELISTSTATUS(finder), "3 games found: click one, double-click joins.");
}

// A flood of made-up servers fills the list to its cap and no further.
TEST_F(FINDERTEST, ListsAtMostItsCapOfGames) {
    RESPONDER server([](int sock, const sockaddr_in& to, uint32_t token) {
        if (to.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) return;
        for (uint32_t id = 0; id <= FINDERMAXGAMES; ++id) SEND(sock, to, ANSWER(token, 100 + id, "g" + std::to_string(id), 0));
    });
    EXPECT_EQ(FINDERRESULTS(SEARCH()).size(), FINDERMAXGAMES);
}

// vexil-find: aligned lines and status 0, done as soon as the named host
// answered; status 1 and where it looked when nothing answered; 2 on a
// usage error.
TEST_F(FINDERTEST, VexilFindPrintsGamesAndSaysWhetherAnyAnswered) {
    const struct { std::vector<std::string> args; bool serve; int status; std::string out, err; } RUNS[] = {
        {{"127.0.0.1"}, true, 0, "127.0.0.1  2/16  Zulu\n", ""},
        {{"--seconds", "0.3", "127.0.0.1", "no.such.host.invalid"}, false, 1, "",
         "vexil-find: cannot resolve no.such.host.invalid\n"
         "vexil-find: no game answered (UDP port 7778): looked on 127.0.0.1\n"},
        {{"--seconds", "0.05"}, false, 2, "", "vexil-find: --seconds takes a number from 0.1 to 60\nusage: vexil-find [--seconds S] [HOST...]\n"},
    };
    for (const auto& run : RUNS) {
        std::unique_ptr<RESPONDER> server;
        if (run.serve) server = std::make_unique<RESPONDER>([](int sock, const sockaddr_in& to, uint32_t token) { SEND(sock, to, ANSWER(token, 7, "Zulu", 2)); });
        const uint32_t start = FINDERNOWMS();
        CHILDPROCESS child = STARTCHILD(VEXILFINDPATH, run.args);
        EXPECT_EQ(WAITEXIT(child, 10000), run.status) << run.args[0];
        READREST(child, 2000);
        EXPECT_EQ(child.OUTTEXT + "|" + child.ERRTEXT, run.out + "|" + run.err);
        if (run.serve) {
            EXPECT_LT(FINDERNOWMS() - start, 1000u) << "the named host answered: no need to wait on";
        }
        ENDCHILD(child);
    }
}

// The pre-game screen on the real clock: nothing goes out before "Find
// Games" is clicked; the list shows both games; a click on a row puts its
// address into the IP Address box and highlights it; a double click joins.
// The screen's own widgets look exactly as without the list, and all of
// it fits a 640 x 480 window.
std::function<void()> STEP;
struct MENUSETUP : MENUTEST {
    void TestBody() override {}
    void START() { SetUp(); }
};
TEST_F(FINDERTEST, PreGameListClicksFillTheAddressAndDoubleClickJoins) {
    MENUSETUP().START();
    KELUSEREALCLOCK();
    const int second = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{AF_INET, 0, {inet_addr("127.0.0.2")}, {}};
    ASSERT_EQ(bind(second, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    RESPONDER server([second](int sock, const sockaddr_in& to, uint32_t token) {
        SEND(sock, to, ANSWER(token, 7, "Zulu", 2)), SEND(second, to, ANSWER(token, 8, "alpha", 16));
    });

    VX_HOSTNAME = "typed", VX_PLAYERNAME = "Ann", QUITLOOP = 0;
    std::vector<RGB> shown, outside, rows;
    int frame = 0, sentbeforeclick = -1;
    const uint32_t deadline = FINDERNOWMS() + 20000;
    const auto row = [](int r) { return GAMELISTY + 2 + r * GAMELISTROWH + 8; };
    // Mouse per frame once both games are listed: a press dragged to
    // another row (no click); a click on Zulu's row and another more than
    // 400 ms (15 frames) later (no double click); a look at the screen; a
    // double click on alpha's row.
    std::vector<std::array<int, 3>> CLICKS = {{400, row(0), 1}, {400, row(1), 0}, {0, 0, 0}, {400, row(1), 1}, {400, row(1), 0}};
    CLICKS.resize(CLICKS.size() + 15, {0, 0, 0});
    CLICKS.insert(CLICKS.end(), {{400, row(1), 1}, {400, row(1), 0}, {0, 0, 0}, {400, row(0), 1}, {400, row(0), 0},
                                 {400, row(0), 1}, {400, row(0), 0}});
    std::string afterdrag;
    size_t click = 0;
    PREGAMEFRAMEHOOK = [] { STEP(); };
    STEP = [&] {
        ++frame;
        if (FINDERNOWMS() > deadline || click == CLICKS.size()) QUITLOOP = 1;
        if (frame == 3) sentbeforeclick = int(server.COUNTS().size()), MOUSE(270, 311, 1);
        if (frame == 4) MOUSE(270, 311, 0);
        if (frame < 6 || STARTUPFINDER.RUNNING != 0 || FINDERRESULTS(STARTUPFINDER).size() < 2) return;
        if (click == 2) afterdrag = VX_HOSTNAME;
        if (click == CLICKS.size() - 4) {
            for (int i = 0; i < 800 * 600; ++i) {
                const int x = i % 800, y = i / 800;
                if (x >= 640 || y >= 480) outside.push_back(READPIXEL(x, y));
                else if (x < 215 || y < 296) shown.push_back(READPIXEL(x, y));
            }
            rows = {READPIXEL(GAMELISTX + 2, row(0)), READPIXEL(GAMELISTX + 2, row(1))};
        }
        MOUSE(CLICKS[click][0], CLICKS[click][1], CLICKS[click][2]), ++click;
    };
    PREGAME();
    PREGAMEFRAMEHOOK = nullptr;
    close(second);
    EXPECT_EQ(sentbeforeclick, 0);
    EXPECT_EQ(VX_HOSTNAME + "|" + std::to_string(QUITLOOP.load()) + "|" + std::to_string(click), "127.0.0.2|0|" + std::to_string(CLICKS.size()));
    EXPECT_EQ(afterdrag, "typed");
    EXPECT_EQ(LIST(STARTUPFINDER), "127.0.0.2 alpha 16/16\n10.0.0.1 Zulu 2/16\n");
    EXPECT_EQ(STARTUPFINDER.SOCKET, -1) << "the search ends with the screen";
    EXPECT_EQ(rows, (std::vector<RGB>{WHITE, RGB{10, 36, 106}}));
    // The look showed the screen's own widgets as they are drawn alone,
    // with "10.0.0.1" in the IP Address box.
    std::vector<RGB> expected;
    MENUFILL(0, 0, 800, 600, 212, 208, 200);
    VX_HOSTNAME = "10.0.0.1";
    BUTTONTYPE buttons[3];
    for (int i = 0; i < 3; ++i)
        SETBUTTON(buttons[i], 10, 100 + 110 * i, 200, 100, std::array{"Start New Server", "Join a Server", "Quit a Server"}[i]), BUTTONRENDER(buttons[i]);
    std::string namelabel = "Player Name", iplabel = "IP Address";
    STRMONITORTYPE labels[2];
    INPUTBOXTYPE boxes[2];
    SETSTRMONITOR(labels[0], 220, 210, namelabel), SETSTRMONITOR(labels[1], 220, 255, iplabel);
    SETINPUTBOX(boxes[0], 220, 230, 300, 20, VX_PLAYERNAME), SETINPUTBOX(boxes[1], 220, 270, 300, 20, VX_HOSTNAME);
    for (int i = 0; i < 2; ++i) STRMONITORRENDER(labels[i]), INPUTBOXRENDER(boxes[i]);
    for (int i = 0; i < 800 * 600; ++i)
        if (i % 800 < 640 && i / 800 < 480 && (i % 800 < 215 || i / 800 < 296)) expected.push_back(READPIXEL(i % 800, i / 800));
    EXPECT_TRUE(shown == expected) << "the screen's own widgets moved or changed";
    EXPECT_EQ(outside.size(), 800u * 600u - 640u * 480u);
    EXPECT_TRUE(std::all_of(outside.begin(), outside.end(), [](RGB c) { return c == RGB{212, 208, 200}; }));
    USEFAKECLOCK(1000);
}
}  // namespace
