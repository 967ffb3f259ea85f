// Writers, readers and whole-message checks of every message; see protocol.h.
// Each writer sits next to its reader so a layout is only ever stated here.
// Threads: none of their own (the caller's connection and tables).
#include "shared/protocol.h"

#include <array>
#include <cstring>
#include <utility>

namespace {

// Reads one string length at OFFSET: -1 on a bad length, 0 when the length
// is not buffered yet, else the length plus one (so 0-length strings count).
int64_t STRINGAT(const uint8_t* bytes, size_t count, size_t offset) {
    if (count < offset + 4) return 0;
    const int32_t length = NETREADINT(bytes + offset);
    if (length < 0 || length > NETMAXSTRING) return -1;
    return static_cast<int64_t>(length) + 1;
}

// A message of FIXED bytes followed by one string: the whole length, 0 or -1.
int64_t WITHSTRING(const uint8_t* bytes, size_t count, size_t fixed) {
    const int64_t length = STRINGAT(bytes, count, fixed);
    if (length <= 0) return length;
    const int64_t total = static_cast<int64_t>(fixed) + 4 + (length - 1);
    return static_cast<int64_t>(count) >= total ? total : 0;
}

int64_t FIXED(size_t count, int64_t total) { return static_cast<int64_t>(count) >= total ? total : 0; }

// An UPDATE's length from START (4 after the kind, 0 for the body alone):
// the whole length, 0 while not all buffered, -1 on a bad name length.
int64_t UPDATELENGTH(const uint8_t* bytes, size_t count, int32_t ownslot, size_t start = 4) {
    size_t position = start;
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
        if (count < position + 4) return 0;
        const int32_t connected = NETREADINT(bytes + position);
        position += 4;
        if (slot != ownslot && connected != 0) {
            const int64_t length = STRINGAT(bytes, count, position + 64);
            if (length <= 0) return length;
            position += 68 + static_cast<size_t>(length - 1);
        } else if (slot == ownslot) {
            position += 36;
        }
    }
    return count >= position ? static_cast<int64_t>(position) : 0;
}

}  // namespace

bool PROTOVALIDSLOT(int32_t slot) { return slot >= 0 && slot < MAXPLAYERS; }
bool PROTOVALIDINDEX(int32_t index) { return index >= 0 && index < MAXBULLETS; }

int64_t PROTOTOSERVERLENGTH(const uint8_t* bytes, size_t count) {
    if (count < 4) return 0;
    switch (NETREADINT(bytes)) {
        case CONTROLS: return FIXED(count, CONTROLSBYTES);
        case CHAT: return WITHSTRING(bytes, count, 4);
        default: return 4;
    }
}

int64_t PROTOTOCLIENTLENGTH(const uint8_t* bytes, size_t count, int32_t ownslot) {
    if (count < 4) return 0;
    switch (NETREADINT(bytes)) {
        case FULLSTATE: return FIXED(count, FULLSTATEBYTES);
        case UPDATE: return UPDATELENGTH(bytes, count, ownslot);
        case SHOTFIRED: return FIXED(count, SHOTFIREDBYTES);
        case SHOTGONE: return FIXED(count, SHOTGONEBYTES);
        case CHAT: return WITHSTRING(bytes, count, 4);
        case NAMEINFO: return WITHSTRING(bytes, count, 8);
        case KILLCOUNT: return FIXED(count, KILLCOUNTBYTES);
        default: return 4;
    }
}

int64_t PROTOTOSERVERLENGTH(const NETCONNECTION& conn) { return PROTOTOSERVERLENGTH(NETPEEK(conn), NETUNREAD(conn)); }

int64_t PROTOTOCLIENTLENGTH(const NETCONNECTION& conn, int32_t ownslot) {
    return PROTOTOCLIENTLENGTH(NETPEEK(conn), NETUNREAD(conn), ownslot);
}

void PROTOWRITEKIND(NETCONNECTION& conn, int32_t kind) { NETPUTINT(conn, kind); }

// --- FULLSTATE -------------------------------------------------------------

// Built whole in one buffer and appended at once: the same bytes as
// appending value by value, for a fraction of the work (every join and
// leave sends one to every player).
void PROTOWRITEFULLSTATE(NETCONNECTION& conn, const SHIPTABLE& ships) {
    std::array<uint8_t, FULLSTATEBYTES> bytes;
    uint8_t* at = bytes.data();
    const auto INT = [&at](int32_t value) {
        NETWRITEINT(at, value);
        at += 4;
    };
    const auto DBL = [&INT](double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        INT(static_cast<int32_t>(static_cast<uint32_t>(bits)));
        INT(static_cast<int32_t>(static_cast<uint32_t>(bits >> 32)));
    };
    INT(FULLSTATE);
    for (const SHIPTYPE& ship : ships) {
        DBL(ship.X);
        DBL(ship.Y);
        DBL(ship.XVELOC);
        DBL(ship.YVELOC);
        DBL(ship.SUBDIRECTION);
        DBL(ship.DELTATHETA);
        DBL(ship.GUNTIMER);
        INT(ship.SHOOTING);
        INT(ship.DAMAGE);
        INT(ship.HEALTH);
        INT(ship.FRAME);
        INT(ship.DIRECTION);
        INT(ship.CURRENTACCELERATION);
        INT(ship.CONNECTED);
    }
    NETPUTBYTES(conn, bytes.data(), bytes.size());
}

bool PROTOREADFULLSTATE(NETCONNECTION& conn, SHIPTABLE& ships) {
    // The whole body is buffered first, so the values go straight into the
    // table and a short message leaves it as it was.
    if (!NETWAITFOR(conn, static_cast<size_t>(FULLSTATEBYTES) - 4)) return false;
    for (SHIPTYPE& ship : ships) {
        const bool whole = NETRECVDBL(conn, ship.X) && NETRECVDBL(conn, ship.Y) && NETRECVDBL(conn, ship.XVELOC) &&
                           NETRECVDBL(conn, ship.YVELOC) && NETRECVDBL(conn, ship.SUBDIRECTION) &&
                           NETRECVDBL(conn, ship.DELTATHETA) && NETRECVDBL(conn, ship.GUNTIMER) &&
                           NETRECVINT(conn, ship.SHOOTING) && NETRECVINT(conn, ship.DAMAGE) &&
                           NETRECVINT(conn, ship.HEALTH) && NETRECVINT(conn, ship.FRAME) &&
                           NETRECVINT(conn, ship.DIRECTION) && NETRECVINT(conn, ship.CURRENTACCELERATION) &&
                           NETRECVINT(conn, ship.CONNECTED);
        if (!whole) return false;
    }
    return true;
}

// --- CONTROLS --------------------------------------------------------------

void PROTOWRITECONTROLS(NETCONNECTION& conn, const SHIPTYPE& ship) {
    NETPUTINT(conn, CONTROLS);
    NETPUTINT(conn, ship.CURRENTACCELERATION);
    NETPUTINT(conn, ship.SHOOTING);
    NETPUTDBL(conn, ship.SUBDIRECTION);
    NETPUTDBL(conn, ship.DELTATHETA);
}

bool PROTOREADCONTROLS(NETCONNECTION& conn, SHIPTYPE& ship) {
    int32_t acceleration = 0, shooting = 0;
    double subdirection = 0, deltatheta = 0;
    if (!(NETRECVINT(conn, acceleration) && NETRECVINT(conn, shooting) && NETRECVDBL(conn, subdirection) &&
          NETRECVDBL(conn, deltatheta)))
        return false;
    ship.CURRENTACCELERATION = acceleration;
    ship.SHOOTING = shooting;
    ship.SUBDIRECTION = subdirection;
    ship.DELTATHETA = deltatheta;
    return true;
}

// --- UPDATE ----------------------------------------------------------------

void PROTOWRITEUPDATE(NETCONNECTION& conn, const SHIPTABLE& ships, int32_t ownslot) {
    NETPUTINT(conn, UPDATE);
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
        const SHIPTYPE& ship = ships[static_cast<size_t>(slot)];
        NETPUTINT(conn, ship.CONNECTED);
        if (slot != ownslot && ship.CONNECTED != 0) {
            NETPUTDBL(conn, ship.X);
            NETPUTDBL(conn, ship.Y);
            NETPUTDBL(conn, ship.XVELOC);
            NETPUTDBL(conn, ship.YVELOC);
            NETPUTDBL(conn, ship.SUBDIRECTION);
            NETPUTDBL(conn, ship.DELTATHETA);
            NETPUTINT(conn, ship.SHOOTING);
            NETPUTINT(conn, ship.HEALTH);
            NETPUTINT(conn, ship.DIRECTION);
            NETPUTINT(conn, ship.CURRENTACCELERATION);
            NETPUTSTR(conn, ship.PLAYERNAME);
        } else if (slot == ownslot) {
            NETPUTDBL(conn, ship.X);
            NETPUTDBL(conn, ship.Y);
            NETPUTDBL(conn, ship.XVELOC);
            NETPUTDBL(conn, ship.YVELOC);
            NETPUTINT(conn, ship.HEALTH);
        }
    }
}

bool PROTOREADUPDATE(NETCONNECTION& conn, SHIPTABLE& ships, int32_t ownslot) {
    // As with FULLSTATE: the whole body first (waiting, bounded, while only
    // part of it is here), then straight into the table.
    int64_t length = 0;
    while ((length = UPDATELENGTH(NETPEEK(conn), NETUNREAD(conn), ownslot, 0)) == 0)
        if (!NETWAITFOR(conn, NETUNREAD(conn) + 1)) return false;
    if (length < 0 || conn.FAILED) {
        NETFAIL(conn);
        return false;
    }
    for (int32_t slot = 0; slot < MAXPLAYERS; ++slot) {
        SHIPTYPE& ship = ships[static_cast<size_t>(slot)];
        if (!NETRECVINT(conn, ship.CONNECTED)) return false;
        bool whole = true;
        if (slot != ownslot && ship.CONNECTED != 0) {
            whole = NETRECVDBL(conn, ship.X) && NETRECVDBL(conn, ship.Y) && NETRECVDBL(conn, ship.XVELOC) &&
                    NETRECVDBL(conn, ship.YVELOC) && NETRECVDBL(conn, ship.SUBDIRECTION) &&
                    NETRECVDBL(conn, ship.DELTATHETA) && NETRECVINT(conn, ship.SHOOTING) &&
                    NETRECVINT(conn, ship.HEALTH) && NETRECVINT(conn, ship.DIRECTION) &&
                    NETRECVINT(conn, ship.CURRENTACCELERATION) && NETRECVSTR(conn, ship.PLAYERNAME);
        } else if (slot == ownslot) {
            whole = NETRECVDBL(conn, ship.X) && NETRECVDBL(conn, ship.Y) && NETRECVDBL(conn, ship.XVELOC) &&
                    NETRECVDBL(conn, ship.YVELOC) && NETRECVINT(conn, ship.HEALTH);
        }
        if (!whole) return false;
    }
    return true;
}

// --- SHOTFIRED / SHOTGONE ------------------------------------------------------

void PROTOWRITESHOTFIRED(NETCONNECTION& conn, int32_t index, const BULLETTYPE& bullet) {
    NETPUTINT(conn, SHOTFIRED);
    NETPUTINT(conn, index);
    NETPUTSNG(conn, bullet.X);
    NETPUTSNG(conn, bullet.Y);
    NETPUTINT(conn, bullet.SPRITE);
    NETPUTINT(conn, bullet.DIRECTION);
    NETPUTINT(conn, bullet.SPEED);
}

bool PROTOREADSHOTFIRED(NETCONNECTION& conn, BULLETTABLE& bullets) {
    int32_t index = 0, sprite = 0, direction = 0, speed = 0;
    float x = 0, y = 0;
    if (!(NETRECVINT(conn, index) && NETRECVSNG(conn, x) && NETRECVSNG(conn, y) && NETRECVINT(conn, sprite) &&
          NETRECVINT(conn, direction) && NETRECVINT(conn, speed)))
        return false;
    if (!PROTOVALIDINDEX(index)) return true;
    BULLETTYPE& bullet = bullets[static_cast<size_t>(index)];
    bullet.X = x;
    bullet.Y = y;
    bullet.SPRITE = sprite;
    bullet.DIRECTION = direction;
    bullet.SPEED = speed;
    return true;
}

void PROTOWRITESHOTGONE(NETCONNECTION& conn, int32_t index) {
    NETPUTINT(conn, SHOTGONE);
    NETPUTINT(conn, index);
}

bool PROTOREADSHOTGONE(NETCONNECTION& conn, BULLETTABLE& bullets) {
    int32_t index = 0;
    if (!NETRECVINT(conn, index)) return false;
    if (PROTOVALIDINDEX(index)) bullets[static_cast<size_t>(index)].SPRITE = 0;
    return true;
}

// --- CHAT ------------------------------------------------------------------

void PROTOWRITECHAT(NETCONNECTION& conn, const std::string& text) {
    NETPUTINT(conn, CHAT);
    NETPUTSTR(conn, text);
}

bool PROTOREADCHAT(NETCONNECTION& conn, std::string& text) { return NETRECVSTR(conn, text); }

// --- NAMEINFO / KILLCOUNT ------------------------------------------------------

void PROTOWRITENAMEINFO(NETCONNECTION& conn, int32_t slot, const std::string& name) {
    NETPUTINT(conn, NAMEINFO);
    NETPUTINT(conn, slot);
    NETPUTSTR(conn, name);
}

bool PROTOREADNAMEINFO(NETCONNECTION& conn, SHIPTABLE& ships) {
    int32_t slot = 0;
    std::string name;
    if (!(NETRECVINT(conn, slot) && NETRECVSTR(conn, name))) return false;
    if (PROTOVALIDSLOT(slot)) ships[static_cast<size_t>(slot)].PLAYERNAME = std::move(name);
    return true;
}

void PROTOWRITEKILLCOUNT(NETCONNECTION& conn, int32_t slot, int32_t kills) {
    NETPUTINT(conn, KILLCOUNT);
    NETPUTINT(conn, slot);
    NETPUTINT(conn, kills);
}

bool PROTOREADKILLCOUNT(NETCONNECTION& conn, SHIPTABLE& ships) {
    int32_t slot = 0, kills = 0;
    if (!(NETRECVINT(conn, slot) && NETRECVINT(conn, kills))) return false;
    if (PROTOVALIDSLOT(slot)) ships[static_cast<size_t>(slot)].KILLS = kills;
    return true;
}
