// Ship and projectile motion rules shared by the server's step and the
// client's prediction; see physics.h.
// Threads: none of their own (the caller's tables and clock).
#include "shared/physics.h"

#include <array>
#include <cmath>

#include "media/clock.h"

namespace {
// Beyond this distance from the range the wrap first takes a remainder; up
// to it, the plain loop runs at most about a thousand times.
constexpr double WRAPLOOPLIMIT = 64.0 * 1024.0;
}  // namespace

double PHYSICSBEGINSTEP(PHYSICSCLOCK& clock) {
    if (clock.DELTAT <= 0) clock.DELTAT = FALLBACKSTEP;
    return clock.DELTAT;
}

void PHYSICSENDSTEP(PHYSICSCLOCK& clock) {
    clock.DELTAT = (static_cast<double>(KELGETTICKS()) - clock.LASTTIME) / 1000.0;
    clock.LASTTIME = static_cast<double>(KELGETTICKS());
}

int32_t SHIPTURN(SHIPTYPE& ship, double deltat) {
    const int32_t accelconst3 = ROUNDEVEN((ship.SUBDIRECTION + deltat * ship.DELTATHETA) * HEADINGTORADIANS);
    ship.SUBDIRECTION = ship.SUBDIRECTION + deltat * ship.DELTATHETA;
    return accelconst3;
}

void SHIPWRAPHEADING(double& subdirection) {
    if (!std::isfinite(subdirection)) {
        subdirection = HEADINGTURN;
        return;
    }
    if (std::fabs(subdirection) > WRAPLOOPLIMIT) subdirection = std::fmod(subdirection, HEADINGTURN);
    while (subdirection > HEADINGTURN) subdirection -= HEADINGTURN;
    while (subdirection <= 0) subdirection += HEADINGTURN;
}

void SHIPCLIENTWRAPHEADING(double& subdirection) {
    if (subdirection > HEADINGTURN) subdirection -= HEADINGTURN;
    if (subdirection < 0) subdirection += HEADINGTURN;
}

int32_t SHIPWHOLEHEADING(double subdirection) { return FLOORINT(std::fabs(subdirection)); }

void SHIPMOVE(SHIPTYPE& ship, int32_t thrust, int32_t accelconst3, double deltat) {
    const double force = thrust;  // widened first: a hostile thrust may be INT32_MIN
    ship.XACCEL = force * std::sin(static_cast<double>(accelconst3));
    ship.YACCEL = -force * std::cos(static_cast<double>(accelconst3));
    ship.X = ship.X + deltat * ship.XVELOC + (deltat * deltat / 2) * ship.XACCEL;
    ship.Y = ship.Y + deltat * ship.YVELOC + (deltat * deltat / 2) * ship.YACCEL;
    ship.XVELOC = ship.XVELOC + deltat * ship.XACCEL;
    ship.YVELOC = ship.YVELOC + deltat * ship.YACCEL;
    if (ship.X > ARENAEDGE) {
        ship.XVELOC = -ship.XVELOC;
        ship.X = ship.X + ship.XVELOC;
    }
    if (ship.X < -ARENAEDGE) {
        ship.XVELOC = -ship.XVELOC;
        ship.X = ship.X + ship.XVELOC;
    }
    if (ship.Y > ARENAEDGE) {
        ship.YVELOC = -ship.YVELOC;
        ship.Y = ship.Y + ship.YVELOC;
    }
    if (ship.Y < -ARENAEDGE) {
        ship.YVELOC = -ship.YVELOC;
        ship.Y = ship.Y + ship.YVELOC;
    }
}

bool SHIPGUN(SHIPTYPE& ship, double deltat) {
    if (ship.SHOOTING == 0) {
        ship.GUNTIMER = GUNIDLE;
        return false;
    }
    ship.GUNTIMER = ship.GUNTIMER + deltat;
    if (ship.GUNTIMER >= GUNINTERVAL) {
        ship.GUNTIMER = 0;
        return true;
    }
    return false;
}

int32_t SHIPSHOTSPEED(const SHIPTYPE& ship) {
    return ROUNDEVEN(std::sqrt(ship.XVELOC * ship.XVELOC + ship.YVELOC * ship.YVELOC) + SHOTBASESPEED);
}

void SHIPDRAG(SHIPTYPE& ship, double deltat) {
    ship.XVELOC = ship.XVELOC - ship.XVELOC * deltat * DRAGFACTOR;
    ship.YVELOC = ship.YVELOC - ship.YVELOC * deltat * DRAGFACTOR;
}

namespace {
// Sine and cosine of the 65 whole headings a projectile can fly along,
// computed once with the same expressions as any other heading.
struct HEADINGTABLE {
    std::array<double, 65> SIN{};
    std::array<double, 65> COS{};
    HEADINGTABLE() {
        for (int32_t d = 0; d <= 64; ++d) {
            SIN[static_cast<size_t>(d)] = std::sin(d * HEADINGTORADIANS);
            COS[static_cast<size_t>(d)] = std::cos(d * HEADINGTORADIANS);
        }
    }
};
const HEADINGTABLE& HEADINGS() {
    static const HEADINGTABLE table;
    return table;
}
}  // namespace

void BULLETMOVE(BULLETTYPE& bullet, double deltat) {
    double sine;
    double cosine;
    if (bullet.DIRECTION >= 0 && bullet.DIRECTION <= 64) {
        sine = HEADINGS().SIN[static_cast<size_t>(bullet.DIRECTION)];
        cosine = HEADINGS().COS[static_cast<size_t>(bullet.DIRECTION)];
    } else {
        const double radians = bullet.DIRECTION * HEADINGTORADIANS;
        sine = std::sin(radians);
        cosine = std::cos(radians);
    }
    const double speed = bullet.SPEED;
    bullet.X = static_cast<float>(static_cast<double>(bullet.X) + speed * sine * deltat);
    bullet.Y = static_cast<float>(static_cast<double>(bullet.Y) + speed * (-cosine) * deltat);
}

bool BULLETOUTOFBOUNDS(const BULLETTYPE& bullet) {
    if (!std::isfinite(bullet.X) || !std::isfinite(bullet.Y)) return true;
    return bullet.X >= 5000.0f || bullet.X <= -5000.0f || bullet.Y >= 4999.0f || bullet.Y <= -5000.0f;
}
