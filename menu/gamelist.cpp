// The pre-game screen's game list: the search button, the list of the games
// that answered with its scroll bar, the status line, and the row clicks
// (press and release on one row, twice within 400 ms to choose at once).
// Main thread only; the search's socket lives from the click until the
// search ends or the screen is left.
#include "menu/gamelist.h"

#include <algorithm>
#include <vector>

#include "main/spine.h"
#include "media/clock.h"
#include "media/surface.h"
#include "media/text.h"

BUTTONTYPE STARTUPFINDBUTTON;
FINDERTYPE STARTUPFINDER;
SCROLLBARTYPE STARTUPGAMESBAR;
int32_t STARTUPFIRSTGAME = 0;

namespace {
constexpr int32_t LISTH = GAMELISTROWS * GAMELISTROWH + 4;
constexpr int32_t BARW = 12;
constexpr int32_t STATUSX = 328, STATUSY = 304, STATUSW = GAMELISTX + GAMELISTW - STATUSX;
constexpr int32_t ADDRESSW = 118, PLAYERSW = 44;

// Row press tracking: the address of the game the left button went down
// on (empty when it went down elsewhere), and the last completed click.
int32_t WASDOWN = 0;
std::string PRESSEDADDRESS;
std::string CLICKEDADDRESS;
uint32_t CLICKEDMS = 0;

int32_t TEXTWIDTH(const std::string& text) {
    int32_t w = 0, h = 0;
    KELTEXTSIZE(text, w, h);
    return w;
}

// TEXT shortened with "..." until it fits WIDTH pixels.
std::string FIT(std::string text, int32_t width) {
    if (TEXTWIDTH(text) <= width) return text;
    while (!text.empty() && TEXTWIDTH(text + "...") > width) text.pop_back();
    return text + "...";
}

// TEXT broken at spaces into lines of at most WIDTH pixels (a word longer
// than a line is cut to fit).
std::vector<std::string> WRAP(const std::string& text, int32_t width) {
    std::vector<std::string> lines;
    std::string line;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find(' ', pos), text.size());
        const std::string word = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && TEXTWIDTH(line + " " + word) > width) lines.push_back(line), line.clear();
        line = FIT(line.empty() ? word : line + " " + word, width);
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool SCROLLS() { return FINDERRESULTS(STARTUPFINDER).size() > static_cast<size_t>(GAMELISTROWS); }
int32_t ROWSW() { return GAMELISTW - 2 - (SCROLLS() ? BARW : 0); }

// The index of the game under the pointer, or -1.
int32_t GAMEUNDERMOUSE() {
    const int32_t row = (KELMOUSEY - GAMELISTY - 2) / GAMELISTROWH;
    if (KELMOUSEX <= GAMELISTX || KELMOUSEX >= GAMELISTX + 1 + ROWSW() || KELMOUSEY < GAMELISTY + 2 ||
        row >= GAMELISTROWS)
        return -1;
    const int32_t game = STARTUPFIRSTGAME + row;
    return game < static_cast<int32_t>(FINDERRESULTS(STARTUPFINDER).size()) ? game : -1;
}
}  // namespace

std::string GAMELISTSTATUS(const FINDERTYPE& finder) {
    const std::string port = "UDP port " + std::to_string(FINDERPORT);
    if (finder.SEARCHED == 0) return "Click Find Games to look for games on this network (" + port + ").";
    if (finder.RUNNING != 0) return "Searching for games on " + port + "...";
    const size_t found = FINDERRESULTS(finder).size();
    if (found == 0 && finder.SENT == 0) return "Cannot search for games: " + finder.ERROR;
    if (found == 0)
        return "No game answered on this network (" + port + "): looked on " + FINDERWHERE(finder) +
               (finder.ERROR.empty() ? "" : " (sending failed: " + finder.ERROR + ")");
    return std::to_string(found) + (found == 1 ? " game" : " games") + " found: click one, double-click joins.";
}

void SETGAMELIST() {
    SETBUTTON(STARTUPFINDBUTTON, GAMELISTX, 300, 100, 22, "Find Games");
    STARTUPFIRSTGAME = 0;
    SETSCROLLBAR(STARTUPGAMESBAR, GAMELISTX + GAMELISTW - 1 - BARW, GAMELISTY + 1, BARW, LISTH - 2, STARTUPFIRSTGAME, 0);
    WASDOWN = 0;
    PRESSEDADDRESS.clear();
    CLICKEDADDRESS.clear();
}

int32_t GAMELISTPRESSED() {
    // A click while a search runs does not start another: the servers'
    // answer budgets are spent on one search at a time.
    if (BUTTONPRESSED(STARTUPFINDBUTTON) != 0 && STARTUPFINDER.RUNNING == 0) {
        STARTUPFIRSTGAME = 0;
        FINDERSTART(STARTUPFINDER, FINDERLOCALPLACES(), KELGETTICKS());
    }
    FINDERPOLL(STARTUPFINDER, KELGETTICKS());
    const int32_t games = static_cast<int32_t>(FINDERRESULTS(STARTUPFINDER).size());
    STARTUPGAMESBAR.MAXVALUE = std::max(0, games - GAMELISTROWS);
    STARTUPFIRSTGAME = std::clamp(STARTUPFIRSTGAME, 0, STARTUPGAMESBAR.MAXVALUE);
    if (SCROLLS()) SCROLLBARPRESSED(STARTUPGAMESBAR);

    const bool down = (KELMOUSEBUTTONS & 1) != 0;
    const int32_t under = GAMEUNDERMOUSE();
    const std::string address = under >= 0 ? FINDERRESULTS(STARTUPFINDER)[static_cast<size_t>(under)].ADDRESS : "";
    int32_t chosen = 0;
    if (down && WASDOWN == 0) PRESSEDADDRESS = address;
    if (!down && WASDOWN != 0 && !address.empty() && address == PRESSEDADDRESS) {
        const uint32_t now = KELGETTICKS();
        chosen = address == CLICKEDADDRESS && now - CLICKEDMS <= GAMELISTDOUBLECLICKMS ? 1 : 0;
        VX_HOSTNAME = address;
        CLICKEDADDRESS = chosen != 0 ? "" : address;
        CLICKEDMS = now;
    }
    if (!down) PRESSEDADDRESS.clear();
    WASDOWN = down ? 1 : 0;
    return chosen;
}

void GAMELISTRENDER() {
    BUTTONRENDER(STARTUPFINDBUTTON);
    const std::vector<FINDERGAME>& games = FINDERRESULTS(STARTUPFINDER);
    const std::string status = GAMELISTSTATUS(STARTUPFINDER);
    MENUFILL(GAMELISTX - 1, GAMELISTY - 1, GAMELISTW + 2, LISTH + 2, 128, 128, 128);
    MENUFILL(GAMELISTX, GAMELISTY, GAMELISTW, LISTH, 255, 255, 255);
    if (games.empty()) {
        // Nothing listed: the list says why, as many lines as it needs.
        const std::vector<std::string> lines = WRAP(status, GAMELISTW - 8);
        for (size_t i = 0; i < lines.size() && i < static_cast<size_t>(GAMELISTROWS); ++i)
            KELPRINT(GAMELISTX + 4, GAMELISTY + 2 + static_cast<int32_t>(i) * GAMELISTROWH, KELCOLOUR(0, 0, 0), lines[i]);
        return;
    }
    KELPRINT(STATUSX, STATUSY, KELCOLOUR(0, 0, 0), FIT(status, STATUSW));
    const int32_t roww = ROWSW();
    const std::string selected = TRIMSPACES(VX_HOSTNAME);
    for (int32_t row = 0; row < GAMELISTROWS; ++row) {
        const size_t index = static_cast<size_t>(STARTUPFIRSTGAME + row);
        if (index >= games.size()) break;
        const FINDERGAME& game = games[index];
        const int32_t y = GAMELISTY + 2 + row * GAMELISTROWH;
        SDL_Color ink = KELCOLOUR(0, 0, 0);
        if (game.ADDRESS == selected) {
            MENUFILL(GAMELISTX + 1, y, roww, GAMELISTROWH, 10, 36, 106);
            ink = KELCOLOUR(255, 255, 255);
        }
        const std::string players = std::to_string(game.PLAYERS) + "/" + std::to_string(game.SLOTS);
        KELPRINT(GAMELISTX + 4, y + 1, ink, FIT(game.SHOWN, ADDRESSW - 4));
        KELPRINT(GAMELISTX + ADDRESSW, y + 1, ink, FIT(FINDERPRINTABLE(game.NAME), roww - ADDRESSW - PLAYERSW - 4));
        KELPRINT(GAMELISTX + 1 + roww - 4 - TEXTWIDTH(players), y + 1, ink, players);
    }
    if (SCROLLS()) SCROLLBARRENDER(STARTUPGAMESBAR);
}

void GAMELISTSTOP() { FINDERSTOP(STARTUPFINDER); }
