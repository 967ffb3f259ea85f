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

}  // namespace
