// Buttons: the press state machine across frames, the hit edges, the bevel
// pixels of both looks and the label position.
#include <SDL_ttf.h>

#include "media/text.h"
#include "media/video.h"
#include "menu/button.h"
#include "tests/menu/menutest.h"

namespace {
class BUTTONS : public MENUTEST {
protected:
    void SetUp() override {
        MENUTEST::SetUp();
        SETBUTTON(B, 10, 100, 200, 100, "Go");
    }
    // One frame: the mouse as sampled, then the poll.
    int32_t POLL(int32_t x, int32_t y, int32_t buttons) {
        MOUSE(x, y, buttons);
        return BUTTONPRESSED(B);
    }
    bool SUNKEN() const { return B.INNERR < 199; }
    BUTTONTYPE B;
};

TEST_F(BUTTONS, PressThenReleaseOnTheButtonClicksOnTheReleaseFrame) {
    EXPECT_EQ(POLL(100, 150, 0), 0);  // hovering does nothing
    EXPECT_EQ(POLL(100, 150, 1), 0);
    EXPECT_TRUE(SUNKEN());
    EXPECT_EQ(ALMOSTPRESSED, "Go");
    EXPECT_EQ(POLL(100, 150, 1), 0);  // held: stays armed, no second swap
    EXPECT_TRUE(SUNKEN());
    EXPECT_EQ(POLL(101, 151, 0), 1);
    EXPECT_FALSE(SUNKEN());
    EXPECT_EQ(ALMOSTPRESSED, "");
    EXPECT_EQ(POLL(101, 151, 0), 0);  // one click only
}

TEST_F(BUTTONS, DraggingOffHoldsTwoUntilReleaseAndDraggingBackReArms) {
    ASSERT_EQ(POLL(100, 150, 1), 0);
    EXPECT_EQ(POLL(300, 150, 1), 2);
    EXPECT_FALSE(SUNKEN());  // drawn raised while held off
    EXPECT_EQ(POLL(400, 20, 1), 2);
    EXPECT_EQ(POLL(100, 150, 1), 0);  // back on: armed again
    EXPECT_TRUE(SUNKEN());
    EXPECT_EQ(POLL(300, 150, 1), 2);
    EXPECT_EQ(POLL(300, 150, 0), 0);  // released off the button
    EXPECT_EQ(POLL(100, 150, 0), 0);  // and coming back later is no click
    EXPECT_FALSE(SUNKEN());

    // Released over the button from held-off: no longer armed, no click.
    ASSERT_EQ(POLL(100, 150, 1), 0);
    ASSERT_EQ(POLL(300, 150, 1), 2);
    EXPECT_EQ(POLL(100, 150, 0), 0);
    EXPECT_EQ(MOUSENOTRELEASED, 0);
    EXPECT_EQ(MOUSENOTRELEASEDSTRING, "");
}

TEST_F(BUTTONS, APressStartedElsewhereAndDraggedOnArmsAndClicks) {
    EXPECT_EQ(POLL(500, 500, 1), 0);
    EXPECT_EQ(POLL(100, 150, 1), 0);
    EXPECT_TRUE(SUNKEN());
    EXPECT_EQ(POLL(100, 150, 0), 1);
}

TEST_F(BUTTONS, HitEdgesAreStrictOnTheLeftAndTop) {
    // Left column and top row do not count; right column and bottom row do.
    EXPECT_EQ(POLL(10, 150, 1), 0);
    EXPECT_FALSE(SUNKEN());
    EXPECT_EQ(POLL(10, 150, 0), 0);
    EXPECT_EQ(POLL(100, 100, 1), 0);
    EXPECT_FALSE(SUNKEN());
    EXPECT_EQ(POLL(100, 100, 0), 0);
    EXPECT_EQ(POLL(210, 150, 1), 0);
    EXPECT_FALSE(SUNKEN());
    EXPECT_EQ(POLL(210, 150, 0), 0);
    EXPECT_EQ(POLL(100, 200, 1), 0);
    EXPECT_FALSE(SUNKEN());
    EXPECT_EQ(POLL(100, 200, 0), 0);

    EXPECT_EQ(POLL(209, 199, 1), 0);
    EXPECT_TRUE(SUNKEN());
    EXPECT_EQ(POLL(209, 199, 0), 1);
    EXPECT_EQ(POLL(11, 101, 1), 0);
    EXPECT_EQ(POLL(11, 101, 0), 1);
}

TEST_F(BUTTONS, AButtonWhoseArmIsTakenByAnotherGetsItsRaisedLookBack) {
    // Polled in the order OTHER, B: dragging from B onto OTHER arms OTHER
    // before B is polled in that frame.
    BUTTONTYPE other;
    SETBUTTON(other, 10, 210, 200, 100, "Other");
    auto frame = [&](int32_t x, int32_t y, int32_t buttons, int32_t& rother, int32_t& rb) {
        MOUSE(x, y, buttons);
        rother = BUTTONPRESSED(other);
        rb = BUTTONPRESSED(B);
    };
    int32_t ro = 0, rb = 0;
    frame(100, 150, 1, ro, rb);
    EXPECT_TRUE(SUNKEN());
    frame(100, 250, 1, ro, rb);
    EXPECT_EQ(ro, 0);
    EXPECT_EQ(rb, 0);
    EXPECT_TRUE(other.INNERR < 199);
    EXPECT_FALSE(SUNKEN()) << "B still looks pressed after the pointer moved to another button";
    frame(100, 250, 0, ro, rb);
    EXPECT_EQ(ro, 1);
    EXPECT_EQ(rb, 0);
    // B's next click shows it sunken while held, not inverted.
    frame(100, 150, 1, ro, rb);
    EXPECT_TRUE(SUNKEN());
    frame(100, 150, 0, ro, rb);
    EXPECT_EQ(rb, 1);
    EXPECT_FALSE(SUNKEN());
    EXPECT_EQ(B.OUTERR, 128);
    EXPECT_EQ(B.INNERR, 212);
}

TEST_F(BUTTONS, RaisedBevel) {
    B.TEXT = " ";  // a blank label keeps the face plain
    BUTTONRENDER(B);
    // Top row and left column white, then the shade inside a black edge.
    EXPECT_EQ(READPIXEL(10, 100), WHITE);
    EXPECT_EQ(READPIXEL(207, 100), WHITE);
    EXPECT_EQ(READPIXEL(208, 100), GREY);
    EXPECT_EQ(READPIXEL(209, 100), BLACK);
    EXPECT_EQ(READPIXEL(10, 197), WHITE);
    EXPECT_EQ(READPIXEL(10, 198), GREY);
    EXPECT_EQ(READPIXEL(10, 199), BLACK);
    EXPECT_EQ(READPIXEL(208, 150), GREY);
    EXPECT_EQ(READPIXEL(209, 150), BLACK);
    EXPECT_EQ(READPIXEL(100, 198), GREY);
    EXPECT_EQ(READPIXEL(100, 199), BLACK);
    EXPECT_EQ(READPIXEL(209, 199), BLACK);
    EXPECT_EQ(READPIXEL(11, 101), BUTTONFACE);
    EXPECT_EQ(READPIXEL(207, 197), BUTTONFACE);
    // Nothing outside the rectangle.
    EXPECT_EQ(READPIXEL(9, 150), MARKER);
    EXPECT_EQ(READPIXEL(210, 150), MARKER);
    EXPECT_EQ(READPIXEL(100, 99), MARKER);
    EXPECT_EQ(READPIXEL(100, 200), MARKER);
}

TEST_F(BUTTONS, SunkenBevelWhileArmedAndWhenTheOwnerSetsIt) {
    B.TEXT = " ";
    MOUSE(100, 150, 1);
    BUTTONPRESSED(B);
    BUTTONRENDER(B);
    // Two black lines top and left, the grey shade, the face shifted by two,
    // and a white line just outside the right and bottom edges.
    EXPECT_EQ(READPIXEL(10, 100), BLACK);
    EXPECT_EQ(READPIXEL(11, 101), BLACK);
    EXPECT_EQ(READPIXEL(12, 102), GREY);
    EXPECT_EQ(READPIXEL(100, 102), GREY);
    EXPECT_EQ(READPIXEL(12, 150), GREY);
    EXPECT_EQ(READPIXEL(13, 103), BUTTONFACE);
    EXPECT_EQ(READPIXEL(209, 199), BUTTONFACE);
    EXPECT_EQ(READPIXEL(209, 102), BLACK);
    EXPECT_EQ(READPIXEL(210, 150), WHITE);
    EXPECT_EQ(READPIXEL(150, 200), WHITE);
    EXPECT_EQ(READPIXEL(210, 200), WHITE);
    EXPECT_EQ(READPIXEL(211, 150), MARKER);
    EXPECT_EQ(READPIXEL(10, 200), MARKER);

    PAINTSCREEN(MARKER.R, MARKER.G, MARKER.B);
    BUTTONTYPE owned;
    SETBUTTON(owned, 300, 300, 50, 30, "");
    owned.INNERR = 198;
    owned.INNERG = 10;
    owned.INNERB = 20;
    BUTTONRENDER(owned);
    EXPECT_EQ(READPIXEL(300, 300), BLACK);
    EXPECT_EQ(READPIXEL(302, 302), (RGB{198, 10, 20}));
    EXPECT_EQ(READPIXEL(350, 330), WHITE);
    owned.INNERR = 199;  // the first raised value
    BUTTONRENDER(owned);
    EXPECT_EQ(READPIXEL(300, 300), WHITE);
}

TEST_F(BUTTONS, ColourComponentsUseOnlyTheirLowByte) {
    B.TEXT = " ";
    B.OUTERR = 256 + 10;
    B.OUTERG = 512 + 20;
    B.OUTERB = -256 + 30;
    BUTTONRENDER(B);
    EXPECT_EQ(READPIXEL(208, 150), (RGB{10, 20, 30}));
}

TEST_F(BUTTONS, TinyButtonsDrawOnlyInsideTheirRectangle) {
    // Width and height below the bevel's three pixels must not turn into
    // rectangles that run to the screen's edge.
    BUTTONTYPE tiny;
    SETBUTTON(tiny, 400, 400, 1, 1, "");
    BUTTONRENDER(tiny);
    EXPECT_EQ(READPIXEL(400, 400), BLACK);
    EXPECT_EQ(READPIXEL(401, 400), MARKER);
    EXPECT_EQ(READPIXEL(400, 401), MARKER);
    EXPECT_EQ(READPIXEL(799, 599), MARKER);
}

// The label of a 200 x 100 button at (10, 100) that measures 120 x 18 sits at
// (50, 141) raised and (52, 143) sunken. Twelve zeros in the game's font at
// 15 points measure exactly that.
TEST_F(BUTTONS, LabelPositionRaisedAndSunken) {
    TTF_Font* big = TTF_OpenFont("data/vera.ttf", 15);
    ASSERT_NE(big, nullptr);
    TTF_Font* saved = KELFONT;
    KELFONT = big;
    const std::string label(12, '0');
    int32_t tw = 0, th = 0;
    KELTEXTSIZE(label, tw, th);
    ASSERT_EQ(tw, 120);
    ASSERT_EQ(th, 18);

    // Where the fully opaque ink lies inside the label's own picture.
    SDL_Surface* picture = TTF_RenderText_Blended(big, label.c_str(), SDL_Color{0, 0, 0, 0});
    ASSERT_NE(picture, nullptr);
    int inkleft = picture->w, inktop = picture->h;
    SDL_LockSurface(picture);
    for (int y = 0; y < picture->h; ++y) {
        for (int x = 0; x < picture->w; ++x) {
            Uint32 pixel = static_cast<Uint32*>(picture->pixels)[y * picture->pitch / 4 + x];
            Uint8 r, g, b, a;
            SDL_GetRGBA(pixel, picture->format, &r, &g, &b, &a);
            if (a == 255) {
                inkleft = std::min(inkleft, x);
                inktop = std::min(inktop, y);
            }
        }
    }
    SDL_UnlockSurface(picture);
    SDL_FreeSurface(picture);
    ASSERT_LT(inkleft, 120);

    SETBUTTON(B, 10, 100, 200, 100, label);
    BUTTONRENDER(B);
    int left = 0, top = 0, right = 0, bottom = 0;
    ASSERT_TRUE(FINDCOLOURBOX(BLACK, 14, 104, 205, 195, left, top, right, bottom));
    EXPECT_EQ(left - inkleft, 50);
    EXPECT_EQ(top - inktop, 141);

    PAINTSCREEN(MARKER.R, MARKER.G, MARKER.B);
    MOUSE(100, 150, 1);
    BUTTONPRESSED(B);
    BUTTONRENDER(B);
    ASSERT_TRUE(FINDCOLOURBOX(BLACK, 14, 104, 205, 195, left, top, right, bottom));
    EXPECT_EQ(left - inkleft, 52);
    EXPECT_EQ(top - inktop, 143);

    KELFONT = saved;
    TTF_CloseFont(big);
}
}  // namespace
