#include "menu/scrollbar.h"
#include "tests/support/screen.h"

namespace {
class SCROLLBARS : public MENUTEST {
protected:
    int32_t POLL(int32_t x, int32_t y, int32_t buttons) {
        MOUSE(x, y, buttons);
        SCROLLBARPRESSED(BAR);
        return VALUE;
    }
    SCROLLBARTYPE BAR;
    int32_t VALUE = 0;
};

TEST_F(SCROLLBARS, ThumbFollowsTheValueAlongTheTrough) {
    VALUE = 50;
    SETSCROLLBAR(BAR, 10, 10, 110, 20, VALUE, 100);
    EXPECT_EQ(BAR.SCROLLBUTTON.X, 60);
    EXPECT_EQ(BAR.SCROLLBUTTON.Y, 10);
    EXPECT_EQ(BAR.SCROLLBUTTON.W, 10);
    EXPECT_EQ(BAR.SCROLLBUTTON.H, 20);
    VALUE = 0;
    SCROLLBARPRESSED(BAR);
    EXPECT_EQ(BAR.SCROLLBUTTON.X, 10);
    VALUE = 100;
    SCROLLBARPRESSED(BAR);
    EXPECT_EQ(BAR.SCROLLBUTTON.X, 110);
    VALUE = -50;  // the sign is ignored
    SCROLLBARPRESSED(BAR);
    EXPECT_EQ(BAR.SCROLLBUTTON.X, 60);
    VALUE = 1;  // (110 - 10) * 1 % = one pixel along
    SCROLLBARPRESSED(BAR);
    EXPECT_EQ(BAR.SCROLLBUTTON.X, 11);

    SCROLLBARTYPE upright;
    int32_t level = 25;
    SETSCROLLBAR(upright, 300, 100, 20, 210, level, 100);
    EXPECT_EQ(upright.SCROLLBUTTON.X, 300);
    EXPECT_EQ(upright.SCROLLBUTTON.Y, 150);
    EXPECT_EQ(upright.SCROLLBUTTON.W, 20);
    EXPECT_EQ(upright.SCROLLBUTTON.H, 10);

    SCROLLBARTYPE odd;
    int32_t half = 1;
    SETSCROLLBAR(odd, 0, 0, 35, 5, half, 2);
    EXPECT_EQ(odd.SCROLLBUTTON.X, 12);

    SCROLLBARTYPE none;
    int32_t any = 7;
    SETSCROLLBAR(none, 0, 50, 100, 10, any, 0);
    EXPECT_EQ(none.SCROLLBUTTON.X, 0);
}

TEST_F(SCROLLBARS, DraggingTheThumbSetsTheValueInSteps) {
    VALUE = 0;
    SETSCROLLBAR(BAR, 10, 10, 110, 20, VALUE, 100);  // thumb over x 10 to 19
    EXPECT_EQ(POLL(15, 20, 1), 0);
    EXPECT_EQ(POLL(18, 25, 1), 0);  // still on the thumb
    EXPECT_EQ(POLL(65, 20, 1), 50);  // 55 / 110 of the way
    EXPECT_EQ(BAR.SCROLLBUTTON.X, 60);
    EXPECT_EQ(POLL(65, 20, 1), 50);  // the thumb is back under the pointer
    EXPECT_EQ(POLL(200, 20, 1), 100);
    EXPECT_EQ(BAR.SCROLLBUTTON.X, 110);
    EXPECT_EQ(POLL(0, 300, 1), 0);  // far off the bar still drags
    EXPECT_EQ(POLL(93, 20, 1), 75);  // 83 / 110 * 100 = 75.45
    EXPECT_EQ(POLL(93, 20, 0), 75);
    EXPECT_EQ(POLL(30, 20, 0), 75);  // released: moving does nothing
    EXPECT_EQ(BAR.SCROLLBUTTON.X, 85);
}

TEST_F(SCROLLBARS, PressingBesideTheThumbDoesNothing) {
    VALUE = 0;
    SETSCROLLBAR(BAR, 10, 10, 110, 20, VALUE, 100);
    EXPECT_EQ(POLL(70, 20, 1), 0);
    EXPECT_EQ(POLL(90, 20, 1), 0);
    EXPECT_EQ(POLL(90, 20, 0), 0);
}

TEST_F(SCROLLBARS, EveryThumbTracksItsOwnDrag) {
    int32_t first = 0, second = 0;
    SCROLLBARTYPE a, b;
    SETSCROLLBAR(a, 10, 10, 110, 20, first, 100);
    SETSCROLLBAR(b, 10, 40, 110, 20, second, 100);
    EXPECT_NE(a.SCROLLBUTTON.TEXT, b.SCROLLBUTTON.TEXT);
    EXPECT_EQ(b.SCROLLBUTTON.TEXT, a.SCROLLBUTTON.TEXT + " ");
    auto frame = [&](int32_t x, int32_t y, int32_t buttons) {
        MOUSE(x, y, buttons);
        SCROLLBARPRESSED(a);
        SCROLLBARPRESSED(b);
    };
    frame(15, 50, 1);  // press on b's thumb
    frame(65, 50, 1);
    frame(65, 20, 1);  // over a's trough, off both thumbs
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 50);
    frame(65, 20, 0);
}

}  // namespace

TEST_F(SCROLLBARS, IntegerReadOutNeverClearsLessThanItsWidestNumber) {
    int32_t shown = 123;
    INTMONITORTYPE monitor;
    SETINTMONITOR(monitor, 300, 300, shown);
    INTMONITORRENDER(monitor);  // 5 * 3 + 5 = 20 pixels
    EXPECT_EQ(monitor.MAXLEN, 20);
    int l, t, r, b;
    EXPECT_TRUE(FINDCOLOURBOX(BLACK, 300, 300, 330, 314, l, t, r, b)) << "the number is drawn";

    shown = 7;
    PAINTSCREEN(MARKER.R, MARKER.G, MARKER.B);
    INTMONITORRENDER(monitor);
    EXPECT_EQ(monitor.MAXLEN, 20);
    EXPECT_EQ(READPIXEL(319, 311), BACKGROUND);
    EXPECT_EQ(READPIXEL(320, 311), MARKER);
    EXPECT_EQ(READPIXEL(319, 312), MARKER);  // twelve rows high

    // Setting the monitor up again keeps its widest width.
    SETINTMONITOR(monitor, 300, 300, shown);
    EXPECT_EQ(monitor.MAXLEN, 20);

    // A fresh read-out of 7 clears 10 pixels; of -45, 15.
    INTMONITORTYPE fresh;
    SETINTMONITOR(fresh, 400, 400, shown);
    PAINTSCREEN(MARKER.R, MARKER.G, MARKER.B);
    INTMONITORRENDER(fresh);
    EXPECT_EQ(READPIXEL(409, 411), BACKGROUND);
    EXPECT_EQ(READPIXEL(410, 411), MARKER);
    shown = -45;
    INTMONITORRENDER(fresh);
    EXPECT_EQ(fresh.MAXLEN, 20);
}
