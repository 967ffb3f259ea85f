// The server's game rules and dispatcher, on slots wired to memory
// connections (PLUGGEDSLOTS) and a clock moved by hand: hits and kills,
// the lines every player is sent, and what the dispatcher does with
// hostile input. Everything runs in the test's thread.
#include <gtest/gtest.h>


#include "media/clock.h"
#include "server/server.h"
#include "tests/support/peer.h"
#include "tests/support/screen.h"

namespace {

BULLETTYPE STILLBULLET(float x, float y, int32_t owner) { return BULLETTYPE{x, y, 0, 0, owner, 1, 0}; }

void BULLETSTEP() {
    SERVERBULLETCLOCK.DELTAT = 0.1;
    SERVERBULLETPHYSICS();
}

std::string CHATTEXT(const std::pair<int32_t, std::vector<uint8_t>>& message) {
    EXPECT_EQ(message.first, CHAT);
    return message.first == CHAT ? std::string(message.second.begin() + 8, message.second.end()) : "";
}

std::string SAID(const std::string& text) { return COLOURED(254, 254, 254, text); }

// Lets pending disconnects finish: their pause runs on the hand clock.
void SETTLE() {
    for (int pass = 0; pass < 3; ++pass, FAKENOW += 100) SERVERWAITFORCONNECTIONS();
}

}  // namespace

TEST(ServerProjectiles, HitsFollowTheRoundedDistanceAndSpareTheOwner) {
    PLUGGEDSLOTS slots;
    ASSERT_TRUE(slots.PLUG(0, "Ann") && slots.PLUG(1, "Bob"));
    SERVERPLAYERS[0].X = SERVERPLAYERS[0].Y = 3000;
    SERVERPLAYERS[1].X = SERVERPLAYERS[1].Y = 0;  // reference point (34, 30)
    SERVERPLAYERS[2].HEALTH = 100;                // not connected: never hit
    SERVERBULLETS[0] = STILLBULLET(34.0f, 98.0f, 0);   // straight below, exactly 68
    SERVERBULLETS[1] = STILLBULLET(102.0f, 31.0f, 0);  // 68 beside, 1 below: 68.007
    SERVERBULLETS[2] = STILLBULLET(101.6f, 30.4f, 0);  // rounds to (102, 30): 68
    SERVERBULLETS[3] = STILLBULLET(34.0f, 30.0f, 1);   // Bob's own shot, dead centre
    BULLETSTEP();
    for (int i : {0, 1, 2, 3}) EXPECT_EQ(SERVERBULLETS[static_cast<size_t>(i)].SPRITE, i % 2) << i;
    EXPECT_TRUE(SERVERPLAYERS[1].HEALTH == 34 && SERVERPLAYERS[0].HEALTH == 100 && SERVERPLAYERS[2].HEALTH == 100);
    // Both players hear of both hits, in slot order, and of nothing else.
    for (int32_t slot : {0, 1}) {
        EXPECT_EQ(slots.NEXT(slot).second, BYTES({5, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(slots.NEXT(slot).second, BYTES({5, 0, 0, 0, 2, 0, 0, 0}));
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

// A ship that held fire since its last step fires at once, from where it
// has just moved, at its speed before this step's drag: |(240, 320)| + 500
// (the idle step's drag took (300, 400) to (240, 320)). Another ship
// thrusts up, its heading 0 wrapped to 64.
TEST(ServerProjectiles, AHeldFireKeyFiresAtOnceAtTheSpeedBeforeDrag) {
    PLUGGEDSLOTS slots;
    SERVERPLAYERS[5] = SHIPTYPE{.XVELOC = 300, .YVELOC = 400, .SUBDIRECTION = 16, .PLAYERNAME = ""};
    SERVERPLAYERS[6] = SHIPTYPE{.CURRENTACCELERATION = 300, .PLAYERNAME = ""};
    for (int32_t shooting : {0, 1}) SERVERPLAYERS[5].SHOOTING = shooting, SERVERPHYSICSCLOCK.DELTAT = 0.5, SERVERPHYSICS();
    const BULLETTYPE& shot = SERVERBULLETS[0];
    EXPECT_TRUE(shot.SPEED == 900 && shot.DIRECTION == 16 && shot.OWNER == 5 && shot.X == 270 && shot.Y == 360 && shot.SPRITE == 1);
    EXPECT_TRUE(SERVERBULLETS[1].SPRITE == 0 && SERVERPLAYERS[5].DIRECTION == 16 && SERVERPLAYERS[6].DIRECTION == 64);
    EXPECT_LT(SERVERPLAYERS[6].YVELOC, -200);
    SERVERBULLETS[3] = BULLETTYPE{.Y = -4999.0f, .SPEED = 100, .SPRITE = 1};  // half a second from leaving upwards
    SERVERBULLETCLOCK.DELTAT = 0.5, SERVERBULLETPHYSICS();
    EXPECT_TRUE(SERVERBULLETS[3].SPRITE == 0 && SERVERBULLETS[0].SPRITE == 1);
}

TEST(ServerProjectiles, TheFourthHitKillsWithTheDeathLineAndKillCount) {
    PLUGGEDSLOTS slots;
    ASSERT_TRUE(slots.PLUG(0, "Ann") && slots.PLUG(1, "Bob") && slots.PLUG(2, "Cy"));
    SERVERPLAYERS[0].X = SERVERPLAYERS[0].Y = SERVERPLAYERS[2].X = 3000;
    SERVERPLAYERS[1].XVELOC = 7;
    SERVERPLAYERS[1].YVELOC = -3;
    for (int32_t health : {67, 34, 1, 100}) {
        SERVERBULLETS[4] = STILLBULLET(34.0f, 30.0f, 0);
        BULLETSTEP();
        EXPECT_EQ(SERVERPLAYERS[1].HEALTH, health);
        EXPECT_EQ(SERVERPLAYERS[0].KILLS, health == 100 ? 1 : 0);
        for (int32_t slot : {0, 1, 2}) EXPECT_EQ(slots.NEXT(slot).first, SHOTGONE);
    }
    // Respawned somewhere else, keeping its velocity.
    EXPECT_TRUE(SERVERPLAYERS[1].XVELOC == 7 && SERVERPLAYERS[1].YVELOC == -3 && (SERVERPLAYERS[1].X != 0 || SERVERPLAYERS[1].Y != 0));
    for (int32_t slot : {0, 1, 2}) {
        EXPECT_EQ(CHATTEXT(slots.NEXT(slot)), COLOURED(254, 10, 10, " *** Bob was murdered by Ann."));
        EXPECT_EQ(slots.NEXT(slot).second, BYTES({8, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    }
    for (const std::string& line : SERVERCHATBUFFER) EXPECT_EQ(line, "");
}

TEST(ServerAnnouncements, JoinChatAndLeaveReachEveryPlayer) {
    USEFAKECLOCK();
    PLUGGEDSLOTS slots;
    ASSERT_TRUE(slots.PLUG(0, "Ann") && slots.PLUG(1, "Bob"));
    SERVERJOINMESSAGE(1);
    PROTOWRITECHAT(slots.PEERS[0], "hi");
    NETFLUSH(slots.PEERS[0]);
    SERVERNETGETDATAPACKET(0);
    for (int32_t slot : {0, 1}) {
        EXPECT_EQ(CHATTEXT(slots.NEXT(slot)), SAID(" *** Bob entered the game."));
        EXPECT_EQ(slots.NEXT(slot).second, BYTES({7, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 'B', 'o', 'b'}));
        EXPECT_EQ(CHATTEXT(slots.NEXT(slot)), SAID("Ann:hi"));
    }
    // Only what players said is kept for the chat buffer.
    EXPECT_TRUE(SERVERCHATBUFFER[0] == SAID("Ann:hi") && SERVERCHATBUFFER[1].empty());

    SERVERPLAYERS[1].KILLS = 4;
    SERVERNETDISCONNECTREMOTE(1);
    SETTLE();
    EXPECT_EQ(SERVERTCPSOCKS[1], nullptr);
    EXPECT_EQ(CHATTEXT(slots.NEXT(0)), COLOURED(128, 254, 128, " *** Bob has left the game."));
    const std::vector<uint8_t> state = slots.NEXT(0).second;  // slot 1 parked at -15000 and not connected
    ASSERT_EQ(state.size(), 1348u);
    EXPECT_EQ(std::vector<uint8_t>(&state[88], &state[96]), BYTES({0, 0, 0, 0, 0, 0x4c, 0xcd, 0xc0}));
    EXPECT_EQ(NETREADINT(&state[4 + 84 + 80]), 0);
    EXPECT_TRUE(SERVERPLAYERS[1].PLAYERNAME == " " && SERVERPLAYERS[1].KILLS == 0);
    KELUSEREALCLOCK();
}

TEST(ServerDispatcher, TakesOnlyWholeMessagesSkipsGarbageAndDropsBrokenPeers) {
    USEFAKECLOCK();
    PLUGGEDSLOTS slots;
    for (int32_t slot = 0; slot < 5; ++slot) ASSERT_TRUE(slots.PLUG(slot, "p" + std::to_string(slot)));
    NETCONNECTION& ann = slots.PEERS[0];
    PROTOWRITECONTROLS(ann, SHIPTYPE{.SHOOTING = 1, .SUBDIRECTION = 12.5, .DELTATHETA = 21.3, .CURRENTACCELERATION = 300, .PLAYERNAME = ""});
    const std::vector<uint8_t> bytes(ann.OUTBUF.begin(), ann.OUTBUF.end());
    ann.OUTBUF.assign(bytes.begin(), bytes.begin() + 10);
    NETFLUSH(ann);
    SERVERNETGETDATAPACKET(0);  // not waited for: the rest comes next pass
    EXPECT_TRUE(SERVERTCPSOCKS[0] != nullptr && SERVERPLAYERS[0].CURRENTACCELERATION == 0);
    EXPECT_EQ(slots.NEXT(0).first, -1);
    ann.OUTBUF.assign(bytes.begin() + 10, bytes.end());
    NETFLUSH(ann);
    SERVERNETGETDATAPACKET(0);
    const SHIPTYPE& got = SERVERPLAYERS[0];
    EXPECT_TRUE(got.CURRENTACCELERATION == 300 && got.SHOOTING == 1 && got.SUBDIRECTION == 12.5 && got.DELTATHETA == 0.0);
    EXPECT_EQ(slots.NEXT(0).first, UPDATE);

    // Kinds a client never sends are 4 bytes each; what follows still reads.
    for (int32_t kind : {READY, UPDATE, SHOTFIRED, SHOTGONE, 99, -7}) PROTOWRITEKIND(ann, kind);
    PROTOWRITECHAT(ann, "still aligned");
    NETFLUSH(ann);
    for (int i = 0; i < 7; ++i) SERVERNETGETDATAPACKET(0);
    EXPECT_EQ(CHATTEXT(slots.NEXT(0)), SAID("p0:still aligned"));

    // A lying string length, a close, a GOODBYE, half a message past the
    // wait limit, silence past the silence limit: each peer is dropped.
    NETPUTINT(slots.PEERS[1], CHAT);
    NETPUTINT(slots.PEERS[1], 2147483647);
    SERVERCONNECTIONS[2].MEMINENDS = true;
    PROTOWRITEKIND(slots.PEERS[3], GOODBYE);
    PROTOWRITEKIND(ann, CONTROLS);
    for (NETCONNECTION& peer : slots.PEERS) NETFLUSH(peer);
    SERVERCONNECTIONS[0].LASTHEARD = NETNOW() - NETWAITLIMITMS;
    SERVERCONNECTIONS[4].LASTHEARD = NETNOW() - NETSILENCELIMITMS;
    SETTLE();
    for (size_t slot = 0; slot < 5; ++slot) EXPECT_TRUE(SERVERTCPSOCKS[slot] == nullptr && SERVERPLAYERS[slot].CONNECTED == 0) << slot;
    KELUSEREALCLOCK();
}
