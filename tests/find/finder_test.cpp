// The game finder against a stand-in server inside the test's private
// network namespace, one thread, on a hand-moved clock: a veth pair gives
// the namespace a broadcast network (10.0.0.1/24, the default route), and
// the stand-in answers the queries waiting on UDP 7778 in whatever way the
// test says, counting them by the address they were sent to. Then the
// pre-game screen's list, clicked by mouse.
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "client/finder.h"
#include "main/spine.h"
#include "menu/gamelist.h"
#include "menu/pregame.h"
#include "shared/discovery.h"
#include "tests/support/screen.h"

namespace {
using SAYER = std::function<void(int, const sockaddr_in&, uint32_t)>;
int SERVER = -1;
std::map<std::string, int> QUERIES;

// Answers what waits on UDP 7778, waiting up to MS for the first datagram.
void SERVE(const SAYER& say, int ms) {
    for (pollfd p{SERVER, POLLIN, 0}; poll(&p, 1, ms) == 1; ms = 0) {
        uint8_t bytes[2048], control[256];
        sockaddr_in from{};
        iovec io{bytes, sizeof bytes};
        msghdr m{&from, sizeof from, &io, 1, control, sizeof control, 0};
        const ssize_t n = recvmsg(SERVER, &m, 0);
        uint32_t token = 0;
        if (n < 0 || !DISCOVERYREADQUERY(bytes, size_t(n), token)) continue;
        ++QUERIES[inet_ntoa(reinterpret_cast<const in_pktinfo*>(CMSG_DATA(CMSG_FIRSTHDR(&m)))->ipi_addr)];
        say(SERVER, from, token);
    }
}

void SEND(int sock, const sockaddr_in& to, const std::vector<uint8_t>& bytes) {
    sendto(sock, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

std::vector<uint8_t> ANSWER(uint32_t token, uint32_t id, const std::string& name, int players, uint16_t port = 7778) {
    DISCOVERYINFO info;
    info.TOKEN = token, info.SERVERID = id, info.NAME = name, info.PORT = port;
    for (int s = 0; s < players; ++s) info.PLAYERS.push_back({s, "p"});
    return DISCOVERYWRITEANSWER(info);
}

std::string LIST(const FINDERTYPE& finder) {
    std::string list;
    for (const FINDERGAME& g : FINDERRESULTS(finder))
        list += g.SHOWN + " " + FINDERPRINTABLE(g.NAME) + " " + std::to_string(g.PLAYERS) + "/" + std::to_string(g.SLOTS) + "\n";
    return list;
}

class FINDERTEST : public MENUTEST {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(system("ip link add vxa type veth peer name vxb && ip addr add 10.0.0.1/24 brd + dev vxa && "
                         "ip link set vxa up && ip link set vxb up && ip route add default dev vxa"), 0);
        SERVER = socket(AF_INET, SOCK_DGRAM, 0);
        const int on = 1;
        setsockopt(SERVER, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
        sockaddr_in at{AF_INET, htons(7778), {htonl(INADDR_ANY)}, {}};
        ASSERT_EQ(bind(SERVER, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    }
    void SetUp() override { MENUTEST::SetUp(), QUERIES.clear(); }
    // A whole search, the clock moved 50 ms between polls.
    static FINDERTYPE SEARCH(const SAYER& say) {
        FINDERTYPE finder;
        EXPECT_TRUE(FINDERSTART(finder, FINDERLOCALPLACES(), 0));
        for (uint32_t now = 0; FINDERPOLL(finder, now) != 0 && now < 10000; now += 50) SERVE(say, 20);
        return finder;
    }
};

// One server reached over the loopback and the veth answers each query
// once per address: listed once, at the address other machines can use.
// Answers to another token, cut short or grown too long are dropped; a
// port other than 7778 is shown; names sort whatever their case, and their
// control bytes show as '?'. Three rounds go to each place.
TEST_F(FINDERTEST, EachGameOnceSortedByNameAndOnlyAnswersToThisSearch) {
    const FINDERTYPE finder = SEARCH([](int sock, const sockaddr_in& to, uint32_t token) {
        SEND(sock, to, ANSWER(token, 7, "Zulu", 2)), SEND(sock, to, ANSWER(token, 8, "alpha\x1b[2J\x7f", 0));
        SEND(sock, to, ANSWER(token + 1, 9, "Wrong token", 0)), SEND(sock, to, ANSWER(token, 10, "Other port", 0, 7779));
        std::vector<uint8_t> cut = ANSWER(token, 11, "Cut short", 1), grown = ANSWER(token, 12, "Grown", 0);
        cut.pop_back(), grown.push_back(0);
        SEND(sock, to, cut), SEND(sock, to, grown);
    });
    EXPECT_EQ(LIST(finder), "10.0.0.1 alpha?[2J? 0/16\n10.0.0.1:7779 Other port 0/16\n10.0.0.1 Zulu 2/16\n");
    EXPECT_EQ(FINDERWHERE(finder), "vxa (10.0.0.255), 255.255.255.255 and 127.0.0.1");
    EXPECT_EQ(QUERIES, (std::map<std::string, int>{{"10.0.0.255", 3}, {"127.0.0.1", 3}, {"255.255.255.255", 3}}));
}

// A flood of made-up servers fills the list to its cap and no further.
TEST_F(FINDERTEST, ListsAtMostItsCapOfGames) {
    const FINDERTYPE finder = SEARCH([](int sock, const sockaddr_in& to, uint32_t token) {
        for (uint32_t id = 0; id <= FINDERMAXGAMES && to.sin_addr.s_addr == htonl(INADDR_LOOPBACK); ++id)
            SEND(sock, to, ANSWER(token, 100 + id, "g" + std::to_string(id), 0));
    });
    EXPECT_EQ(FINDERRESULTS(finder).size(), FINDERMAXGAMES);
}

// The pre-game screen: nothing goes out before "Find Games" is clicked;
// then a press dragged between rows does nothing; a click on Zulu's row
// puts its address into the IP Address box and highlights the row, and
// another click 495 ms later is no double click; a double click on alpha's
// row joins it. The screen's own widgets look exactly as drawn alone at
// their places, and nothing is drawn outside 640 x 480.
TEST_F(FINDERTEST, PreGameListClicksFillTheAddressAndDoubleClickJoins) {
    static const int second = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{AF_INET, 0, {inet_addr("127.0.0.2")}, {}};
    ASSERT_EQ(bind(second, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    VX_HOSTNAME = "typed", VX_PLAYERNAME = "Ann";
    static std::vector<std::array<int, 3>> SCRIPT;  // mouse per frame
    const auto row = [](int r) { return GAMELISTY + 2 + r * GAMELISTROWH + 8; };
    SCRIPT = {{0, 0, 0}, {270, 311, 1}, {270, 311, 0}};
    SCRIPT.resize(56, {0, 0, 0});  // the search: 46 frames of 33 ms
    SCRIPT.insert(SCRIPT.end(), {{400, row(0), 1}, {400, row(1), 0}, {0, 0, 0}, {400, row(1), 1}, {400, row(1), 0}});
    SCRIPT.resize(SCRIPT.size() + 13, {0, 0, 0});
    SCRIPT.insert(SCRIPT.end(), {{400, row(1), 1}, {400, row(1), 0}, {0, 0, 0}, {400, row(0), 1}, {400, row(0), 0},
                                 {400, row(0), 1}, {400, row(0), 0}});
    // Each frame's hook sees what the mouse it set one frame before did.
    static size_t frame;
    static std::vector<std::string> hosts;
    static std::vector<RGB> shown;
    frame = 0, hosts.clear(), shown.clear();
    PREGAMEFRAMEHOOK = [] {
        if (frame == 1) hosts.push_back(std::to_string(QUERIES.size()));
        if (frame == 58 || frame == SCRIPT.size() - 4) hosts.push_back(VX_HOSTNAME);
        if (frame == SCRIPT.size() - 4)
            for (int i = 0; i < 800 * 600; ++i) shown.push_back(READPIXEL(i % 800, i / 800));
        SERVE([](int sock, const sockaddr_in& to, uint32_t token) {
            SEND(sock, to, ANSWER(token, 7, "Zulu", 2)), SEND(second, to, ANSWER(token, 8, "alpha", 16));
        }, 5);
        MOUSE(SCRIPT.at(frame)[0], SCRIPT.at(frame)[1], SCRIPT.at(frame)[2]), ++frame;
    };
    PREGAME();
    PREGAMEFRAMEHOOK = nullptr;
    EXPECT_EQ(hosts, (std::vector<std::string>{"0", "typed", "10.0.0.1"}));
    EXPECT_EQ(VX_HOSTNAME + "|" + std::to_string(QUITLOOP.load()) + "|" + std::to_string(frame), "127.0.0.2|0|" + std::to_string(SCRIPT.size()));
    EXPECT_EQ(LIST(STARTUPFINDER), "127.0.0.2 alpha 16/16\n10.0.0.1 Zulu 2/16\n");
    const auto at2 = [](int x, int y) { return shown.at(size_t(y * 800 + x)); };
    EXPECT_EQ((std::vector<RGB>{at2(GAMELISTX + 2, row(0)), at2(GAMELISTX + 2, row(1))}), (std::vector<RGB>{WHITE, RGB{10, 36, 106}}));
    // The reference: the screen's own widgets at their fixed places, drawn alone.
    MENUFILL(0, 0, 800, 600, 212, 208, 200);
    BUTTONTYPE buttons[3];
    for (int i = 0; i < 3; ++i)
        SETBUTTON(buttons[i], 10, 100 + 110 * i, 200, 100, std::array{"Start New Server", "Join a Server", "Quit a Server"}[i]), BUTTONRENDER(buttons[i]);
    std::string labels[2] = {"Player Name", "IP Address"}, host = "10.0.0.1";
    STRMONITORTYPE monitors[2];
    INPUTBOXTYPE boxes[2];
    SETSTRMONITOR(monitors[0], 220, 210, labels[0]), SETSTRMONITOR(monitors[1], 220, 255, labels[1]);
    SETINPUTBOX(boxes[0], 220, 230, 300, 20, VX_PLAYERNAME), SETINPUTBOX(boxes[1], 220, 270, 300, 20, host);
    for (int i = 0; i < 2; ++i) STRMONITORRENDER(monitors[i]), INPUTBOXRENDER(boxes[i]);
    for (int i = 0; i < 800 * 600; ++i) {
        const int x = i % 800, y = i / 800;
        if (x < 215 || y < 296 || x >= 640 || y >= 480) {
            ASSERT_EQ(at2(x, y), READPIXEL(x, y)) << x << "," << y;
        }
    }
}
}  // namespace
