// Writers and readers of the discovery query and answer (layout in the
// header). Pure functions; any thread.
#include "shared/discovery.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {
constexpr std::array<uint8_t, 4> QUERYMAGIC{'V', 'X', 'Q', '?'};
constexpr std::array<uint8_t, 4> ANSWERMAGIC{'V', 'X', 'A', '!'};

void PUTU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PUTSTR(std::vector<uint8_t>& out, const std::string& text, size_t limit) {
    const size_t length = std::min(text.size(), limit);
    out.push_back(static_cast<uint8_t>(length));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

uint32_t GETU32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Reads a STR of at most LIMIT bytes at POS; false when it runs past COUNT
// or its length is over the limit.
bool GETSTR(const uint8_t* bytes, size_t count, size_t& pos, size_t limit, std::string& text) {
    if (pos >= count) return false;
    const size_t length = bytes[pos++];
    if (length > limit || count - pos < length) return false;
    text.assign(reinterpret_cast<const char*>(bytes + pos), length);
    pos += length;
    return true;
}

bool HEADEROK(const uint8_t* bytes, const std::array<uint8_t, 4>& magic) {
    return std::memcmp(bytes, magic.data(), magic.size()) == 0 && bytes[4] == DISCOVERYFORMAT && bytes[5] == 0;
}
}  // namespace

std::vector<uint8_t> DISCOVERYWRITEQUERY(uint32_t token) {
    std::vector<uint8_t> out(QUERYMAGIC.begin(), QUERYMAGIC.end());
    out.push_back(DISCOVERYFORMAT);
    out.push_back(0);
    PUTU32(out, token);
    out.resize(DISCOVERYQUERYBYTES, 0);
    return out;
}

bool DISCOVERYREADQUERY(const uint8_t* bytes, size_t count, uint32_t& token) {
    if (bytes == nullptr || count != DISCOVERYQUERYBYTES || !HEADEROK(bytes, QUERYMAGIC)) return false;
    if (std::any_of(bytes + 10, bytes + count, [](uint8_t b) { return b != 0; })) return false;
    token = GETU32(bytes + 6);
    return true;
}

std::vector<uint8_t> DISCOVERYWRITEANSWER(const DISCOVERYINFO& info) {
    std::array<bool, 16> named{};
    std::vector<const DISCOVERYPLAYER*> players;
    for (const DISCOVERYPLAYER& player : info.PLAYERS) {
        if (player.SLOT < 0 || player.SLOT > 15 || named[static_cast<size_t>(player.SLOT)]) continue;
        named[static_cast<size_t>(player.SLOT)] = true;
        players.push_back(&player);
    }
    std::vector<uint8_t> out(ANSWERMAGIC.begin(), ANSWERMAGIC.end());
    out.push_back(DISCOVERYFORMAT);
    out.push_back(0);
    PUTU32(out, info.TOKEN);
    out.push_back(static_cast<uint8_t>(info.PORT));
    out.push_back(static_cast<uint8_t>(info.PORT >> 8));
    PUTU32(out, info.SERVERID);
    out.push_back(static_cast<uint8_t>(players.size()));
    out.push_back(static_cast<uint8_t>(std::clamp(info.SLOTS, 0, 255)));
    PUTSTR(out, info.VERSION, DISCOVERYVERSIONMAX);
    PUTSTR(out, info.NAME, DISCOVERYSERVERNAMEMAX);
    for (const DISCOVERYPLAYER* player : players) {
        out.push_back(static_cast<uint8_t>(player->SLOT));
        PUTSTR(out, player->NAME, DISCOVERYPLAYERNAMEMAX);
    }
    return out;
}

bool DISCOVERYREADANSWER(const uint8_t* bytes, size_t count, DISCOVERYINFO& info) {
    if (bytes == nullptr || count < 20 || count > DISCOVERYMAXANSWERBYTES || !HEADEROK(bytes, ANSWERMAGIC)) return false;
    DISCOVERYINFO read;
    read.TOKEN = GETU32(bytes + 6);
    read.PORT = static_cast<uint16_t>(bytes[10] | bytes[11] << 8);
    read.SERVERID = GETU32(bytes + 12);
    const size_t players = bytes[16];
    read.SLOTS = bytes[17];
    if (players > 16) return false;
    size_t pos = 18;
    if (!GETSTR(bytes, count, pos, DISCOVERYVERSIONMAX, read.VERSION)) return false;
    if (!GETSTR(bytes, count, pos, DISCOVERYSERVERNAMEMAX, read.NAME)) return false;
    std::array<bool, 16> named{};
    for (size_t i = 0; i < players; ++i) {
        if (pos >= count) return false;
        DISCOVERYPLAYER player;
        player.SLOT = bytes[pos++];
        if (player.SLOT > 15 || named[static_cast<size_t>(player.SLOT)]) return false;
        named[static_cast<size_t>(player.SLOT)] = true;
        if (!GETSTR(bytes, count, pos, DISCOVERYPLAYERNAMEMAX, player.NAME)) return false;
        read.PLAYERS.push_back(std::move(player));
    }
    if (pos != count) return false;
    info = std::move(read);
    return true;
}
