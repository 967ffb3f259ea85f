#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "main/spine.h"
#include "media/clock.h"
#include "tests/support/screen.h"
#include "server/server.h"
#include "tests/support/peer.h"

namespace {

BULLETTYPE STILLBULLET(float x, float y, int32_t owner) { return BULLETTYPE{x, y, 0, 0, owner, 1, 0}; }

void BULLETSTEP() {
    SERVERBULLETCLOCK.DELTAT = 0.1;
    SERVERBULLETPHYSICS();
}

std::string CHATTEXT(const std::vector<uint8_t>& message) { return std::string(message.begin() + 8, message.end()); }

// Connection passes until no disconnect is pending (bounded).
void SETTLE() {
    for (int i = 0; i < 500; ++i) {
        SERVERWAITFORCONNECTIONS();
        bool pending = false;
        for (const SLOTSTATE& state : SERVERSLOTSTATES) pending = pending || state.STAGE == SLOTCLOSING;
        if (!pending) return;
        SDL_Delay(1);
    }
}

}  // namespace

TEST(ServerProjectiles, HitsFollowTheRoundedDistanceAndSpareTheOwner) {
    PLUGGEDSLOTS slots(17100);
    ASSERT_TRUE(slots.PLUG(0, "Ann"));
    ASSERT_TRUE(slots.PLUG(1, "Bob"));
    SERVERPLAYERS[0].X = 3000;
    SERVERPLAYERS[0].Y = 3000;
    SERVERPLAYERS[1].X = SERVERPLAYERS[1].Y = 0;  // reference point (34, 30)
    SERVERPLAYERS[2].X = SERVERPLAYERS[2].Y = 0;  // not connected: never hit
    SERVERPLAYERS[2].HEALTH = 100;

    SERVERBULLETS[0] = STILLBULLET(34.0f, 98.0f, 0);     // straight below, exactly 68
    SERVERBULLETS[1] = STILLBULLET(102.0f, 31.0f, 0);    // 68 beside, 1 below: 68.007
    SERVERBULLETS[2] = STILLBULLET(101.6f, 30.4f, 0);    // rounds to (102, 30): 68
    SERVERBULLETS[3] = STILLBULLET(34.0f, 30.0f, 1);     // Bob's own shot, dead centre
    BULLETSTEP();
    EXPECT_EQ(SERVERBULLETS[0].SPRITE, 0);
    EXPECT_EQ(SERVERBULLETS[1].SPRITE, 1);
    EXPECT_EQ(SERVERBULLETS[2].SPRITE, 0);
    EXPECT_EQ(SERVERBULLETS[3].SPRITE, 1);
    EXPECT_EQ(SERVERPLAYERS[1].HEALTH, 34);
    EXPECT_EQ(SERVERPLAYERS[0].HEALTH, 100);
    EXPECT_EQ(SERVERPLAYERS[2].HEALTH, 100);

    // Both players hear of both hits, in slot order, and of nothing else.
    for (int32_t slot : {0, 1}) {
        auto first = slots.NEXT(slot);
        auto second = slots.NEXT(slot);
        ASSERT_EQ(first.first, SHOTGONE);
        ASSERT_EQ(second.first, SHOTGONE);
        EXPECT_EQ(NETREADINT(first.second.data() + 4), 0);
        EXPECT_EQ(NETREADINT(second.second.data() + 4), 2);
        EXPECT_EQ(slots.NEXT(slot).first, -1);
    }

    // The ship's point and the projectile's are each rounded before they are
    // compared: with the ship at y 0.4 its point is (34, 30); a projectile at
    // y 98.4 rounds to 98 (68 below: a hit), one at 98.6 to 99 (a miss, though
    // 98.6 - 30.4 is only 68.2).
    SERVERPLAYERS[1].Y = 0.4;
    SERVERBULLETS[4] = STILLBULLET(34.0f, 98.4f, 0);
    SERVERBULLETS[5] = STILLBULLET(34.0f, 98.6f, 0);
    BULLETSTEP();
    EXPECT_EQ(SERVERBULLETS[4].SPRITE, 0);
    EXPECT_EQ(SERVERBULLETS[5].SPRITE, 1);
}

TEST(ServerProjectiles, OneShotCanHitTwoShipsAndTheFourthHitKills) {
    PLUGGEDSLOTS slots(17110);
    ASSERT_TRUE(slots.PLUG(0, "Ann"));
    ASSERT_TRUE(slots.PLUG(1, "Bob"));
    ASSERT_TRUE(slots.PLUG(2, "Cy"));
    SERVERPLAYERS[0].X = SERVERPLAYERS[0].Y = 3000;
    SERVERPLAYERS[1].X = SERVERPLAYERS[1].Y = 0;
    SERVERPLAYERS[1].XVELOC = 7;
    SERVERPLAYERS[1].YVELOC = -3;
    SERVERPLAYERS[2].X = 40;
    SERVERPLAYERS[2].Y = 0;

    SERVERBULLETS[4] = STILLBULLET(54.0f, 30.0f, 0);
    BULLETSTEP();
    EXPECT_EQ(SERVERPLAYERS[1].HEALTH, 67);
    EXPECT_EQ(SERVERPLAYERS[2].HEALTH, 67);
    EXPECT_EQ(slots.DRAIN(0), (std::vector<int32_t>{SHOTGONE, SHOTGONE}));
    slots.DRAIN(1);
    slots.DRAIN(2);

    SERVERPLAYERS[2].X = 3000;  // out of the way
    const int32_t expected[] = {34, 1};
    for (int32_t health : expected) {
        SERVERBULLETS[4] = STILLBULLET(34.0f, 30.0f, 0);
        BULLETSTEP();
        EXPECT_EQ(SERVERPLAYERS[1].HEALTH, health);
        for (int32_t slot : {0, 1, 2}) EXPECT_EQ(slots.DRAIN(slot), std::vector<int32_t>{SHOTGONE});
    }
    EXPECT_EQ(SERVERPLAYERS[0].KILLS, 0);

    SERVERBULLETS[4] = STILLBULLET(34.0f, 30.0f, 0);
    BULLETSTEP();
    EXPECT_EQ(SERVERPLAYERS[0].KILLS, 1);
    EXPECT_EQ(SERVERPLAYERS[1].HEALTH, 100);
    EXPECT_EQ(SERVERPLAYERS[1].XVELOC, 7);
    EXPECT_EQ(SERVERPLAYERS[1].YVELOC, -3);
    EXPECT_FALSE(SERVERPLAYERS[1].X == 0 && SERVERPLAYERS[1].Y == 0);
    for (int32_t slot : {0, 1, 2}) {
        auto gone = slots.NEXT(slot);
        auto line = slots.NEXT(slot);
        auto count = slots.NEXT(slot);
        EXPECT_EQ(gone.first, SHOTGONE);
        ASSERT_EQ(line.first, CHAT);
        EXPECT_EQ(CHATTEXT(line.second), COLOURED(254, 10, 10, " *** Bob was murdered by Ann."));
        ASSERT_EQ(count.first, KILLCOUNT);
        EXPECT_EQ(count.second, BYTES({8, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    }
    for (const std::string& line : SERVERCHATBUFFER) EXPECT_EQ(line, "");
}

TEST(ServerProjectiles, BoundsAndTheOverflowSlot) {
    PLUGGEDSLOTS slots(17120);
    ASSERT_TRUE(slots.PLUG(0, "Ann"));
    SERVERPLAYERS[0].X = 1234.5;
    SERVERPLAYERS[0].Y = -20.25;
    SERVERBULLETS[0] = STILLBULLET(0.0f, 4999.0f, 0);
    SERVERBULLETS[1] = STILLBULLET(4999.0f, 0.0f, 0);
    SERVERBULLETS[2] = STILLBULLET(-5000.0f, 0.0f, 0);
    BULLETSTEP();
    EXPECT_EQ(SERVERBULLETS[0].SPRITE, 0);
    EXPECT_EQ(SERVERBULLETS[1].SPRITE, 1);
    EXPECT_EQ(SERVERBULLETS[2].SPRITE, 0);
    EXPECT_TRUE(slots.DRAIN(0).empty());  // leaving the arena is not announced

    // Lowest free slot first.
    SERVERSPAWNPROJECTILE(0, 16, 600, 1);
    EXPECT_EQ(SERVERBULLETS[0].SPRITE, 1);
    EXPECT_EQ(SERVERBULLETS[0].X, 1234.5f);
    auto fired = slots.NEXT(0);
    ASSERT_EQ(fired.first, SHOTFIRED);
    EXPECT_EQ(NETREADINT(fired.second.data() + 4), 0);

    // With 0..1023 in flight every new shot replaces slot 1024.
    for (int i = 0; i < MAXBULLETS - 1; ++i) SERVERBULLETS[static_cast<size_t>(i)].SPRITE = 1;
    SERVERSPAWNPROJECTILE(0, 3, 500, 1);
    SERVERSPAWNPROJECTILE(0, 5, 700, 1);
    EXPECT_EQ(SERVERBULLETS[1024].DIRECTION, 5);
    EXPECT_EQ(SERVERBULLETS[1024].SPEED, 700);
    for (int n = 0; n < 2; ++n) {
        auto message = slots.NEXT(0);
        ASSERT_EQ(message.first, SHOTFIRED);
        EXPECT_EQ(NETREADINT(message.second.data() + 4), 1024);
    }
}

TEST(ServerShipStep, FiresThroughTheSpawnAfterTheMove) {
    PLUGGEDSLOTS slots(17130);
    SERVERPLACEOBJECTS();
    ASSERT_TRUE(slots.PLUG(0, "Ann"));
    SHIPTYPE& ann = SERVERPLAYERS[0];
    ann.X = 0;
    ann.Y = 0;
    ann.XVELOC = 30;
    ann.YVELOC = 40;
    ann.SUBDIRECTION = 16.5;
    ann.SHOOTING = 1;
    ann.GUNTIMER = GUNIDLE;
    // A player who left holding fire keeps firing from the parking place.
    SERVERPLAYERS[6].X = SERVERPLAYERS[6].Y = -15000;
    SERVERPLAYERS[6].SHOOTING = 1;
    SERVERPLAYERS[6].GUNTIMER = GUNIDLE;

    SERVERPHYSICSCLOCK.DELTAT = 0.1;
    SERVERPHYSICS();
    // Fired after the move at 500 + |(30, 40)|.
    EXPECT_EQ(SERVERBULLETS[0].DIRECTION, 16);
    EXPECT_EQ(SERVERBULLETS[0].SPEED, 550);
    EXPECT_EQ(SERVERBULLETS[0].X, 3.0f);
    EXPECT_EQ(SERVERBULLETS[0].Y, 4.0f);
    EXPECT_EQ(SERVERBULLETS[1].OWNER, 6);
    EXPECT_EQ(ann.GUNTIMER, 0.0);
    EXPECT_DOUBLE_EQ(ann.XVELOC, 30 * (1 - 0.1 * 0.4));
    EXPECT_EQ(slots.DRAIN(0), (std::vector<int32_t>{SHOTFIRED, SHOTFIRED}));
    EXPECT_EQ(SERVERPLAYERS[5].DIRECTION, 64);

    BULLETSTEP();
    EXPECT_EQ(SERVERBULLETS[1].SPRITE, 0);
    EXPECT_EQ(SERVERBULLETS[0].SPRITE, 1);
    EXPECT_TRUE(slots.DRAIN(0).empty());
}

TEST(ServerAnnouncements, ExactLinesColoursAndTheChatBuffer) {
    PLUGGEDSLOTS slots(17140);
    ASSERT_TRUE(slots.PLUG(0, "Ann"));
    ASSERT_TRUE(slots.PLUG(1, "Bob"));

    SERVERJOINMESSAGE(1);
    for (int32_t slot : {0, 1}) {
        auto line = slots.NEXT(slot);
        ASSERT_EQ(line.first, CHAT);
        EXPECT_EQ(CHATTEXT(line.second), COLOURED(254, 254, 254, " *** Bob entered the game."));
        auto name = slots.NEXT(slot);
        ASSERT_EQ(name.first, NAMEINFO);
        EXPECT_EQ(name.second, BYTES({7, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 'B', 'o', 'b'}));
    }

    PROTOWRITECHAT(slots.PEER(0), "hi");
    NETFLUSH(slots.PEER(0));
    SDL_Delay(20);
    SERVERNETGETDATAPACKET(0);
    for (int32_t slot : {0, 1}) {
        auto line = slots.NEXT(slot);
        ASSERT_EQ(line.first, CHAT);
        EXPECT_EQ(CHATTEXT(line.second), COLOURED(254, 254, 254, "Ann:hi"));
    }
    EXPECT_EQ(SERVERCHATBUFFER[0], COLOURED(254, 254, 254, "Ann:hi"));

    // An empty text still makes a line; the fourteenth pushes the first out.
    for (int i = 1; i <= 13; ++i) {
        PROTOWRITECHAT(slots.PEER(0), i == 1 ? "" : std::to_string(i));
        NETFLUSH(slots.PEER(0));
        bool handled = false;
        for (int tries = 0; tries < 200 && !handled; ++tries) {
            SERVERNETGETDATAPACKET(0);
            handled = SERVERCHATBUFFER[1] != "" && (i == 1 ? SERVERCHATBUFFER[0] == COLOURED(254, 254, 254, "Ann:")
                                                          : SERVERCHATBUFFER[0] == COLOURED(254, 254, 254, "Ann:" + std::to_string(i)));
            if (!handled) SDL_Delay(1);
        }
        ASSERT_TRUE(handled) << i;
    }
    EXPECT_EQ(SERVERCHATBUFFER[0], COLOURED(254, 254, 254, "Ann:13"));
    EXPECT_EQ(SERVERCHATBUFFER[11], COLOURED(254, 254, 254, "Ann:2"));
    EXPECT_EQ(SERVERCHATBUFFER[12], COLOURED(254, 254, 254, "Ann:"));
    for (const std::string& line : SERVERCHATBUFFER) EXPECT_EQ(line.find(" *** "), std::string::npos);
    slots.DRAIN(0);
    slots.DRAIN(1);

    SERVERPLAYERS[1].KILLS = 4;
    SERVERNETDISCONNECTREMOTE(1);
    SETTLE();
    EXPECT_EQ(SERVERTCPSOCKS[1], nullptr);
    auto leave = slots.NEXT(0);
    ASSERT_EQ(leave.first, CHAT);
    EXPECT_EQ(CHATTEXT(leave.second), COLOURED(128, 254, 128, " *** Bob has left the game."));
    auto state = slots.NEXT(0);
    ASSERT_EQ(state.first, FULLSTATE);
    EXPECT_EQ(state.second.size(), 1348u);
    double x;
    std::memcpy(&x, state.second.data() + 4 + 84, 8);
    EXPECT_EQ(x, -15000.0);
    EXPECT_EQ(NETREADINT(state.second.data() + 4 + 84 + 80), 0);  // CONNECTED of slot 1
    EXPECT_EQ(SERVERPLAYERS[1].PLAYERNAME, " ");
    EXPECT_EQ(SERVERPLAYERS[1].KILLS, 0);
}

TEST(ServerDispatcher, TakesOnlyWholeMessagesAndDropsBrokenPeers) {
    PLUGGEDSLOTS slots(17150);
    ASSERT_TRUE(slots.PLUG(0, "Ann"));
    ASSERT_TRUE(slots.PLUG(1, "Bob"));
    ASSERT_TRUE(slots.PLUG(2, "Cy"));
    ASSERT_TRUE(slots.PLUG(3, "Dee"));
    NETCONNECTION& ann = slots.PEER(0);

    SHIPTYPE controls;
    controls.CURRENTACCELERATION = 300;
    controls.SHOOTING = 1;
    controls.SUBDIRECTION = 12.5;
    controls.DELTATHETA = 21.33333333333333;
    PROTOWRITECONTROLS(ann, controls);
    std::vector<uint8_t> bytes(ann.OUTBUF.begin(), ann.OUTBUF.end());
    ann.OUTBUF.assign(bytes.begin(), bytes.begin() + 10);
    NETFLUSH(ann);
    SDL_Delay(20);
    const uint32_t start = NETNOW();
    SERVERNETGETDATAPACKET(0);
    EXPECT_LT(NETNOW() - start, 1000u);  // no wait on the missing bytes
    EXPECT_NE(SERVERTCPSOCKS[0], nullptr);
    EXPECT_EQ(SERVERPLAYERS[0].CURRENTACCELERATION, 0);
    EXPECT_EQ(slots.NEXT(0).first, -1);
    ann.OUTBUF.assign(bytes.begin() + 10, bytes.end());
    NETFLUSH(ann);
    SDL_Delay(20);
    SERVERNETGETDATAPACKET(0);
    EXPECT_EQ(SERVERPLAYERS[0].CURRENTACCELERATION, 300);
    EXPECT_EQ(SERVERPLAYERS[0].SHOOTING, 1);
    EXPECT_EQ(SERVERPLAYERS[0].SUBDIRECTION, 12.5);
    EXPECT_EQ(SERVERPLAYERS[0].DELTATHETA, 0.0);
    auto update = slots.NEXT(0);
    EXPECT_EQ(update.first, UPDATE);
    EXPECT_EQ(update.second.size(), 104u + 3 * 68 + 3 + 2 + 3);

    for (int32_t kind : {READY, UPDATE, SHOTFIRED, SHOTGONE, 99, -7}) PROTOWRITEKIND(ann, kind);
    PROTOWRITECHAT(ann, "still aligned");
    NETFLUSH(ann);
    SDL_Delay(20);
    for (int i = 0; i < 7; ++i) SERVERNETGETDATAPACKET(0);
    auto line = slots.NEXT(0);
    ASSERT_EQ(line.first, CHAT);
    EXPECT_EQ(CHATTEXT(line.second), COLOURED(254, 254, 254, "Ann:still aligned"));
    slots.DRAIN(1);

    NETPUTINT(slots.PEER(1), CHAT);
    NETPUTINT(slots.PEER(1), 2147483647);
    NETFLUSH(slots.PEER(1));
    SDLNet_SocketSet cyset = slots.PEER(2).SET;
    NETDETACH(slots.PEER(2));
    SDLNet_FreeSocketSet(cyset);
    PROTOWRITEKIND(slots.PEER(3), GOODBYE);
    NETFLUSH(slots.PEER(3));
    SDL_Delay(30);
    for (int32_t slot : {1, 2, 3}) SERVERNETGETDATAPACKET(slot);
    SETTLE();
    for (int32_t slot : {1, 2, 3}) {
        EXPECT_EQ(SERVERTCPSOCKS[static_cast<size_t>(slot)], nullptr) << slot;
        EXPECT_EQ(SERVERPLAYERS[static_cast<size_t>(slot)].CONNECTED, 0) << slot;
    }

    SERVERSILENCELIMITMS.store(60);
    SDL_Delay(80);
    SERVERNETGETDATAPACKET(0);
    SETTLE();
    SERVERSILENCELIMITMS.store(NETSILENCELIMITMS);
    EXPECT_EQ(SERVERTCPSOCKS[0], nullptr);
}

TEST(ServerTick, OneLibrarySendPerConnectionPerTick) {
    SERVERRELEASE();
    QUITLOOP.store(0);
    GAMEPORT = 17160;
    SERVERPLACEOBJECTS();
    SERVERINITNETCONNECTION();

    TESTCLIENT client;
    ASSERT_TRUE(client.OPEN(17160));
    NETPUTSTR(client.CONN, "Ann");
    PROTOWRITEKIND(client.CONN, READY);
    NETFLUSH(client.CONN);
    SDL_Delay(20);
    SERVERTICK();
    ASSERT_NE(SERVERTCPSOCKS[0], nullptr);
    NETCONNECTION& link = SERVERCONNECTIONS[0];
    // Slot number, FULLSTATE and join line leave in one send.
    EXPECT_EQ(link.SENDCALLS, 1u);
    SDL_Delay(20);
    for (int i = 0; i < 50 && !NETTAKEINT(client.CONN, client.SLOT); ++i) {
        NETPUMP(client.CONN);
        SDL_Delay(1);
    }
    ASSERT_EQ(client.SLOT, 0);

    client.SHOOT = 1;
    client.HEADING = 16;
    int ticksWithOutput = 0;
    int messages = 0;
    for (int tick = 0; tick < 60; ++tick) {
        const uint64_t sendsBefore = link.SENDCALLS;
        const uint64_t bytesBefore = link.BYTESSENT;
        const size_t kindsBefore = client.KINDS.size();
        SERVERTICK();
        const uint64_t sends = link.SENDCALLS - sendsBefore;
        EXPECT_LE(sends, 1u) << "tick " << tick;
        if (link.BYTESSENT > bytesBefore) {
            EXPECT_EQ(sends, 1u);
            ++ticksWithOutput;
        }
        SDL_Delay(3);
        client.RUNFOR(5);
        messages += static_cast<int>(client.KINDS.size() - kindsBefore);
    }
    EXPECT_GT(ticksWithOutput, 10);
    EXPECT_GT(messages, ticksWithOutput);  // several messages shared a send
    EXPECT_GT(client.UPDATES, 10);
    EXPECT_FALSE(client.SHOTSFIRED.empty());
    SERVERRELEASE();
}

TEST(ServerLoop, ServesOnlyWhenHostingAndRunsAtLeastOneTick) {
    SERVERRELEASE();
    SERVERHOSTING.store(0);
    QUITLOOP.store(1);
    GAMEPORT = 17180;
    VX_HOSTNAME = "localhost";  // the same machine, but not the hosting address
    GAMESERVER(0);
    EXPECT_EQ(SERVERHOSTING.load(), 0);
    EXPECT_EQ(SERVERTCPSOCK, nullptr);

    VX_HOSTNAME = " 127.0.0.1 ";
    USEFAKECLOCK(5000);
    GAMESERVER(0);
    EXPECT_EQ(SERVERHOSTING.load(), 1);
    EXPECT_NE(SERVERTCPSOCK, nullptr);
    EXPECT_EQ(FAKEDELAYCOUNT, 1u);
    EXPECT_EQ(FAKELASTDELAY, 5u);
    for (const SHIPTYPE& ship : SERVERPLAYERS) EXPECT_EQ(ship.X, -500);
    KELUSEREALCLOCK();
    QUITLOOP.store(0);
    SERVERRELEASE();
}

TEST(ServerAnnouncements, ALineLongerThanAnyPeerAcceptsGoesOutCut) {
    PLUGGEDSLOTS slots(18100);
    const std::string name(40000, 'n');
    ASSERT_TRUE(slots.PLUG(0, name));
    ASSERT_TRUE(slots.PLUG(1, "Bob"));
    // Name and text are each legal; together too long for a client string.
    const std::string text(40000, 't');
    NETCONNECTION& ann = slots.PEER(0);
    PROTOWRITECHAT(ann, text);
    for (int i = 0; i < 5000 && SERVERCHATBUFFER[0].empty(); ++i) {
        NETFLUSH(ann);
        SERVERNETGETDATAPACKET(0);
        if (SERVERCHATBUFFER[0].empty()) SDL_Delay(1);
    }
    ASSERT_FALSE(SERVERCHATBUFFER[0].empty());

    NETCONNECTION& bob = slots.PEER(1);
    int64_t whole = 0;
    for (int i = 0; i < 5000 && whole == 0; ++i) {
        NETFLUSH(SERVERCONNECTIONS[1]);
        NETPUMP(bob);
        whole = PROTOTOCLIENTLENGTH(bob, 1);
        if (whole == 0) SDL_Delay(1);
    }
    ASSERT_EQ(whole, 8 + static_cast<int64_t>(NETMAXSTRING));
    int32_t kind = 0;
    std::string line;
    ASSERT_TRUE(NETTAKEINT(bob, kind));
    EXPECT_EQ(kind, CHAT);
    ASSERT_TRUE(NETTAKESTR(bob, line));
    EXPECT_EQ(line, COLOURED(254, 254, 254, name + ":" + text).substr(0, static_cast<size_t>(NETMAXSTRING)));
    EXPECT_FALSE(bob.FAILED);
}
