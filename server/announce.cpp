// SERVERBROADCASTCHAT and the join, death and leave announcements. None of
// them enters SERVERCHATBUFFER; only player chat does (exchange.cpp).
// Threads: server thread only.
#include "server/announce.h"

#include <initializer_list>
#include <string_view>

#include "shared/net.h"
#include "shared/protocol.h"
#include "shared/world.h"

namespace {
const std::string JOINCOLOUR = "\xFE\xFE\xFE";
const std::string DEATHCOLOUR = "\xFE\x0A\x0A";
const std::string LEAVECOLOUR = "\x80\xFE\x80";

// A chat line from its colour and text pieces.
std::string LINE(std::initializer_list<std::string_view> pieces) {
    std::string line;
    for (std::string_view piece : pieces) line.append(piece);
    return line;
}

NETCONNECTION& LINK(int32_t slot) { return SERVERCONNECTIONS[static_cast<size_t>(slot)]; }
}  // namespace

void SERVERBROADCASTCHAT(const std::string& MESSAGE) {
    // A name and a text may each be as long as the longest string a peer
    // accepts, so a line built from them may be longer; every client would
    // take such a line as a protocol violation and drop its connection. A
    // line that long goes out cut to that length instead.
    const bool toolong = MESSAGE.size() > static_cast<size_t>(NETMAXSTRING);
    const std::string cut = toolong ? MESSAGE.substr(0, static_cast<size_t>(NETMAXSTRING)) : std::string();
    const std::string& line = toolong ? cut : MESSAGE;
    SERVERFOREACHCONNECTED([&](int32_t slot) { PROTOWRITECHAT(LINK(slot), line); });
}

void SERVERJOINMESSAGE(int32_t PLAYER) {
    if (!PROTOVALIDSLOT(PLAYER)) return;
    const std::string& name = SERVERPLAYERS[static_cast<size_t>(PLAYER)].PLAYERNAME;
    SERVERBROADCASTCHAT(LINE({JOINCOLOUR, " *** ", name, " entered the game."}));
    SERVERFOREACHCONNECTED([&](int32_t slot) { PROTOWRITENAMEINFO(LINK(slot), PLAYER, name); });
}

void SERVERDEATHMESSAGE(int32_t PLAYER, int32_t KILLER) {
    if (!PROTOVALIDSLOT(PLAYER) || !PROTOVALIDSLOT(KILLER)) return;
    const SHIPTYPE& victim = SERVERPLAYERS[static_cast<size_t>(PLAYER)];
    const SHIPTYPE& killer = SERVERPLAYERS[static_cast<size_t>(KILLER)];
    SERVERBROADCASTCHAT(LINE({DEATHCOLOUR, " *** ", victim.PLAYERNAME, " was murdered by ", killer.PLAYERNAME, "."}));
    SERVERFOREACHCONNECTED([&](int32_t slot) { PROTOWRITEKILLCOUNT(LINK(slot), KILLER, killer.KILLS); });
}

void SERVERQUITMESSAGE(int32_t PLAYER) {
    if (!PROTOVALIDSLOT(PLAYER)) return;
    SHIPTYPE& leaver = SERVERPLAYERS[static_cast<size_t>(PLAYER)];
    const std::string line = LINE({LEAVECOLOUR, " *** ", leaver.PLAYERNAME, " has left the game."});
    leaver.PLAYERNAME.assign(1, ' ');  // the name a freed slot carries
    SERVERBROADCASTCHAT(line);
    SERVERFOREACHCONNECTED([&](int32_t slot) { SERVERNETSENDDATAPACKET(slot, FULLSTATE); });
}
