// vexil-fuzz-seeds SERVERDIR CLIENTDIR: writes the seed streams of both fuzz
// targets, every message kind written by the game's own writers.
//  - SERVERDIR: streams a client sends (code, name, then messages);
//  - CLIENTDIR: streams a server sends (the slot answer, then messages).
// The writers only append to a connection's output buffer, which is read
// back here and never sent: the record gets a stand-in socket pointer just
// so that appending is allowed, and is never flushed or detached.
// Threads: one.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {

namespace fs = std::filesystem;

int STANDIN = 0;
NETCONNECTION STREAM;

void BEGIN() {
    STREAM = NETCONNECTION{};
    STREAM.SOCKET = reinterpret_cast<TCPsocket>(&STANDIN);
}

void SAVE(const fs::path& folder, const std::string& name) {
    std::ofstream file(folder / name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(STREAM.OUTBUF.data()), static_cast<std::streamsize>(STREAM.OUTBUF.size()));
}

SHIPTYPE CONTROLLED(int32_t thrust, int32_t shooting, double heading, double turn) {
    SHIPTYPE ship;
    ship.CURRENTACCELERATION = thrust;
    ship.SHOOTING = shooting;
    ship.SUBDIRECTION = heading;
    ship.DELTATHETA = turn;
    return ship;
}

void HELLO(int32_t code, const std::string& name) {
    NETPUTINT(STREAM, code);
    NETPUTSTR(STREAM, name);
}

// Sixteen ships as a running server holds them: CONNECTED ones among them.
SHIPTABLE ARENA(std::initializer_list<int> connected) {
    SHIPTABLE ships{};
    for (int slot = 0; slot < MAXPLAYERS; ++slot) {
        SHIPTYPE& ship = ships[static_cast<size_t>(slot)];
        ship.X = -500 + 37.5 * slot;
        ship.Y = 250 - 12.25 * slot;
        ship.XVELOC = 3.5 * slot;
        ship.YVELOC = -2.0 * slot;
        ship.SUBDIRECTION = 4.0 * slot + 0.5;
        ship.DIRECTION = 4 * slot;
        ship.GUNTIMER = 29;
        ship.HEALTH = 100 - 3 * slot;
        ship.MAXHEALTH = 100;
        ship.PLAYERNAME = "pilot" + std::to_string(slot);
    }
    for (int slot : connected) ships[static_cast<size_t>(slot)].CONNECTED = 1;
    return ships;
}

BULLETTYPE SHOT(float x, float y, int32_t direction, int32_t speed) {
    BULLETTYPE bullet;
    bullet.X = x;
    bullet.Y = y;
    bullet.DIRECTION = direction;
    bullet.SPEED = speed;
    bullet.SPRITE = 1;
    return bullet;
}

const std::string WHITE = "\xFE\xFE\xFE";
const std::string RED = "\xFE\x0A\x0A";
const std::string GREEN = "\x80\xFE\x80";

void SERVERSEEDS(const fs::path& folder) {
    const double NAN_ = std::numeric_limits<double>::quiet_NaN();
    const double INF = std::numeric_limits<double>::infinity();

    BEGIN();
    HELLO(AUTHCODE, "pilot");
    PROTOWRITEKIND(STREAM, READY);
    for (int i = 0; i < 6; ++i) PROTOWRITECONTROLS(STREAM, CONTROLLED(i % 2 ? 300 : 0, 1, 10 + i, i % 3 ? 21.3 : 0));
    PROTOWRITECHAT(STREAM, "hello everyone");
    PROTOWRITECONTROLS(STREAM, CONTROLLED(-300, 0, 63.5, -21.3));
    PROTOWRITEKIND(STREAM, GOODBYE);
    SAVE(folder, "play");

    BEGIN();
    HELLO(12345, "intruder");
    SAVE(folder, "wrong-code");

    BEGIN();
    NETPUTINT(STREAM, AUTHCODE);
    SAVE(folder, "code-only");

    BEGIN();
    HELLO(AUTHCODE, "");
    SAVE(folder, "empty-name");

    BEGIN();
    HELLO(AUTHCODE, "kinds");
    for (int32_t kind : {READY, UPDATE, SHOTFIRED, SHOTGONE, NAMEINFO, KILLCOUNT, 9, -1}) PROTOWRITEKIND(STREAM, kind);
    PROTOWRITECONTROLS(STREAM, CONTROLLED(300, 1, 32, 0));
    PROTOWRITECHAT(STREAM, "");
    PROTOWRITECHAT(STREAM, std::string(300, 'x'));
    PROTOWRITEKIND(STREAM, GOODBYE);
    SAVE(folder, "every-kind");

    // Long enough at 5 ms a tick for the gun to fire twice.
    BEGIN();
    HELLO(AUTHCODE, "gunner");
    PROTOWRITEKIND(STREAM, READY);
    for (int i = 0; i < 240; ++i) PROTOWRITECONTROLS(STREAM, CONTROLLED(300, 1, 16 + 0.25 * i, 0));
    SAVE(folder, "shooting");

    BEGIN();
    HELLO(AUTHCODE, "odd");
    PROTOWRITECONTROLS(STREAM, CONTROLLED(std::numeric_limits<int32_t>::min(), 1, NAN_, INF));
    PROTOWRITECONTROLS(STREAM, CONTROLLED(std::numeric_limits<int32_t>::max(), -1, 1e308, -1e308));
    PROTOWRITECONTROLS(STREAM, CONTROLLED(300, 7, -INF, NAN_));
    PROTOWRITECONTROLS(STREAM, CONTROLLED(300, 1, -0.0, 5e-324));
    SAVE(folder, "odd-controls");

    BEGIN();
    HELLO(AUTHCODE, "talker");
    for (int i = 0; i < 14; ++i) PROTOWRITECHAT(STREAM, "line " + std::to_string(i));
    SAVE(folder, "chat-flood");
}

void CLIENTSEEDS(const fs::path& folder) {
    const double NAN_ = std::numeric_limits<double>::quiet_NaN();
    const double INF = std::numeric_limits<double>::infinity();

    // A join as the server makes it, then a few cycles and pushed messages.
    BEGIN();
    NETPUTINT(STREAM, 3);
    SHIPTABLE ships = ARENA({3, 5});
    PROTOWRITEFULLSTATE(STREAM, ships);
    PROTOWRITECHAT(STREAM, WHITE + " *** pilot3 entered the game.");
    PROTOWRITENAMEINFO(STREAM, 3, "pilot3");
    PROTOWRITEUPDATE(STREAM, ships, 3);
    PROTOWRITESHOTFIRED(STREAM, 0, SHOT(-500, 250, 16, 512));
    PROTOWRITEUPDATE(STREAM, ships, 3);
    PROTOWRITESHOTGONE(STREAM, 0);
    PROTOWRITECHAT(STREAM, RED + " *** pilot3 was murdered by pilot5.");
    PROTOWRITEKILLCOUNT(STREAM, 5, 1);
    PROTOWRITECHAT(STREAM, WHITE + "pilot5:gg");
    PROTOWRITECHAT(STREAM, GREEN + " *** pilot5 has left the game.");
    ships[5].CONNECTED = 0;
    PROTOWRITEFULLSTATE(STREAM, ships);
    PROTOWRITEUPDATE(STREAM, ships, 3);
    PROTOWRITEKIND(STREAM, GOODBYE);
    SAVE(folder, "join-and-play");

    BEGIN();
    NETPUTINT(STREAM, AUTHREFUSED);
    SAVE(folder, "refused");

    BEGIN();
    NETPUTINT(STREAM, 99);
    PROTOWRITEKIND(STREAM, GOODBYE);
    SAVE(folder, "bad-slot");

    BEGIN();
    NETPUTINT(STREAM, 0);
    ships = ARENA({0});
    PROTOWRITEFULLSTATE(STREAM, ships);
    PROTOWRITEUPDATE(STREAM, ships, 0);
    SAVE(folder, "alone");

    BEGIN();
    NETPUTINT(STREAM, 15);
    ships = ARENA({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    ships[2].PLAYERNAME = "";
    ships[7].PLAYERNAME = std::string(200, 'n');
    PROTOWRITEUPDATE(STREAM, ships, 15);
    PROTOWRITEUPDATE(STREAM, ships, 15);
    SAVE(folder, "full-arena");

    BEGIN();
    NETPUTINT(STREAM, 1);
    for (int32_t index : {0, 1, 2, 511, 1023, 1024, 1025, -1})
        PROTOWRITESHOTFIRED(STREAM, index, SHOT(100.0f * static_cast<float>(index % 7), -80.0f, index % 65, 700));
    for (int32_t index : {1, 1, 1024, 1025, -1}) PROTOWRITESHOTGONE(STREAM, index);
    SAVE(folder, "shots");

    BEGIN();
    NETPUTINT(STREAM, 2);
    for (int i = 0; i < 15; ++i) PROTOWRITECHAT(STREAM, WHITE + "pilot" + std::to_string(i) + ":line " + std::to_string(i));
    PROTOWRITECHAT(STREAM, "");
    PROTOWRITECHAT(STREAM, "ab");
    SAVE(folder, "chat-flood");

    BEGIN();
    NETPUTINT(STREAM, 4);
    ships = ARENA({4, 6});
    ships[6].X = NAN_;
    ships[6].Y = INF;
    ships[6].SUBDIRECTION = 1e308;
    ships[6].DIRECTION = std::numeric_limits<int32_t>::min();
    ships[6].HEALTH = std::numeric_limits<int32_t>::max();
    ships[4].X = -1e300;
    ships[4].HEALTH = std::numeric_limits<int32_t>::min();
    ships[4].FRAME = 9;
    PROTOWRITEFULLSTATE(STREAM, ships);
    PROTOWRITEUPDATE(STREAM, ships, 4);
    PROTOWRITESHOTFIRED(STREAM, 7, SHOT(3e38f, -3e38f, 1000, std::numeric_limits<int32_t>::max()));
    PROTOWRITENAMEINFO(STREAM, 16, "nobody");
    PROTOWRITENAMEINFO(STREAM, -1, "nobody");
    PROTOWRITEKILLCOUNT(STREAM, -5, 3);
    PROTOWRITEKILLCOUNT(STREAM, 4, std::numeric_limits<int32_t>::min());
    for (int32_t kind : {9, 100, -1}) PROTOWRITEKIND(STREAM, kind);
    SAVE(folder, "odd-values");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vexil-fuzz-seeds SERVERDIR CLIENTDIR\n");
        return 2;
    }
    std::error_code error;
    fs::create_directories(argv[1], error);
    fs::create_directories(argv[2], error);
    SERVERSEEDS(argv[1]);
    CLIENTSEEDS(argv[2]);
    return 0;
}
