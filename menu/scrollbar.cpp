// Scroll bars and the integer and string read-outs. Main thread only.
#include "menu/scrollbar.h"

#include <cmath>

#include "media/surface.h"
#include "media/text.h"
#include "shared/world.h"

std::string BARSET;

namespace {
constexpr int32_t THUMBLENGTH = 10;

bool HORIZONTAL(const SCROLLBARTYPE& bar) { return bar.W > bar.H; }

// Moves the thumb to the variable's place along the trough. The sign of the
// value is ignored; a bar without a maximum keeps its thumb at the start.
void PLACETHUMB(SCROLLBARTYPE& bar) {
    double p = 0.0;
    if (bar.VALUE != nullptr && bar.MAXVALUE != 0) {
        p = std::fabs(static_cast<double>(*bar.VALUE) / static_cast<double>(bar.MAXVALUE));
    }
    BUTTONTYPE& thumb = bar.SCROLLBUTTON;
    if (HORIZONTAL(bar)) {
        thumb.X = ROUNDEVEN(bar.X + (bar.W - thumb.W) * p);
        thumb.Y = bar.Y;
    } else {
        thumb.X = bar.X;
        thumb.Y = ROUNDEVEN(bar.Y + (bar.H - thumb.H) * p);
    }
}
}  // namespace

void SETSCROLLBAR(SCROLLBARTYPE& bar, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& value, int32_t maxvalue) {
    BARSET += " ";
    bar.X = x;
    bar.Y = y;
    bar.W = w;
    bar.H = h;
    bar.VALUE = &value;
    bar.MAXVALUE = maxvalue;
    bar.OUTERR = 64;
    bar.OUTERG = 64;
    bar.OUTERB = 64;
    bar.INNERR = 128;
    bar.INNERG = 128;
    bar.INNERB = 128;
    if (HORIZONTAL(bar)) {
        SETBUTTON(bar.SCROLLBUTTON, x, y, THUMBLENGTH, h, BARSET);
    } else {
        SETBUTTON(bar.SCROLLBUTTON, x, y, w, THUMBLENGTH, BARSET);
    }
    PLACETHUMB(bar);
}

void SCROLLBARRENDER(SCROLLBARTYPE& bar) {
    MENUFILL(bar.X, bar.Y, bar.W, bar.H, bar.OUTERR, bar.OUTERG, bar.OUTERB);
    MENUFILL(bar.X + 2, bar.Y + 1, bar.W - 4, bar.H - 1, bar.INNERR, bar.INNERG, bar.INNERB);
    BUTTONRENDER(bar.SCROLLBUTTON);
}

void SCROLLBARPRESSED(SCROLLBARTYPE& bar) {
    if (BUTTONPRESSED(bar.SCROLLBUTTON) == 2 && bar.VALUE != nullptr) {
        double f = 0.0;
        if (HORIZONTAL(bar)) {
            if (bar.W > 0) f = static_cast<double>(KELMOUSEX - bar.X) / bar.W;
        } else {
            if (bar.H > 0) f = static_cast<double>(KELMOUSEY - bar.Y) / bar.H;
        }
        if (f > 1.0) f = 1.0;
        if (f < 0.0) f = 0.0;
        *bar.VALUE = ROUNDEVEN(f * bar.MAXVALUE);
    }
    PLACETHUMB(bar);
}

void SETINTMONITOR(INTMONITORTYPE& monitor, int32_t x, int32_t y, int32_t& value) {
    monitor.X = x;
    monitor.Y = y;
    monitor.VALUE = &value;
}

void SETSTRMONITOR(STRMONITORTYPE& monitor, int32_t x, int32_t y, std::string& value) {
    monitor.X = x;
    monitor.Y = y;
    monitor.VALUE = &value;
}

void INTMONITORRENDER(INTMONITORTYPE& monitor) {
    if (monitor.VALUE == nullptr) return;
    const std::string text = std::to_string(*monitor.VALUE);
    int32_t width = 5 * static_cast<int32_t>(text.size()) + 5;
    if (width > monitor.MAXLEN) {
        monitor.MAXLEN = width;
    } else {
        width = monitor.MAXLEN;
    }
    MENUFILL(monitor.X, monitor.Y, width, 12, 212, 208, 200);
    KELPRINT(monitor.X, monitor.Y, KELCOLOUR(0, 0, 0), text);
}

void STRMONITORRENDER(STRMONITORTYPE& monitor) {
    if (monitor.VALUE == nullptr) return;
    KELPRINT(monitor.X, monitor.Y, KELCOLOUR(0, 0, 0), *monitor.VALUE);
}
