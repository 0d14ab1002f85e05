#include "shell/LayoutGeometry.h"

#include <gtest/gtest.h>

namespace {

TEST(ComputeLayout, MaximisedWindowExample)
{
    LayoutInput in;
    in.W = 12465;
    in.H = 12120;
    in.sbHeight = 315;
    in.sbTop = 10785;
    const LayoutResult r = ComputeLayout(in);

    EXPECT_FLOAT_EQ(r.tabStrip.left, 25);
    EXPECT_FLOAT_EQ(r.tabStrip.top, 960);
    EXPECT_FLOAT_EQ(r.tabStrip.width, 12415);
    EXPECT_FLOAT_EQ(r.tabStrip.height, 10045);
    EXPECT_FLOAT_EQ(r.browser.left, 125);
    EXPECT_FLOAT_EQ(r.browser.top, 1360);
    EXPECT_FLOAT_EQ(r.browser.width, 12165);
    EXPECT_FLOAT_EQ(r.browser.height, 9545);
    EXPECT_FLOAT_EQ(r.panel1Width, 9348.75f);
    EXPECT_FLOAT_EQ(r.panel2Width, 3116.25f);
    EXPECT_FLOAT_EQ(r.panel2Left, 9348.75f);
    EXPECT_FLOAT_EQ(r.progress.left, 9398.75f);
    EXPECT_FLOAT_EQ(r.progress.top, 10785);
    EXPECT_FLOAT_EQ(r.progress.width, 3016.25f);
    EXPECT_FLOAT_EQ(r.progress.height, 295);
    EXPECT_FLOAT_EQ(r.txtUrlWidth, 10630);
    EXPECT_FLOAT_EQ(r.cmdGoLeft, 11220);
    EXPECT_FLOAT_EQ(r.cmdWebsiteWidth, 4935);
}

TEST(ComputeLayout, TinyWindowGivesNoNegativeSize)
{
    // Too short for the tab strip, too narrow for the address box.
    LayoutInput in;
    in.W = 300;
    in.H = 1500;
    in.sbHeight = 315;
    const LayoutResult r = ComputeLayout(in);
    EXPECT_GE(r.tabStrip.height, 0);
    EXPECT_GE(r.browser.height, 0);
    EXPECT_GE(r.browser.width, 0);
    EXPECT_GE(r.tabStrip.width, 0);
    EXPECT_GE(r.panel2Width, 0);
    EXPECT_GE(r.progress.width, 0);
    EXPECT_GE(r.progress.height, 0);
    EXPECT_GE(r.txtUrlWidth, 0);
    EXPECT_GE(r.cmdGoLeft, 0);
    EXPECT_GE(r.cmdWebsiteWidth, 0);

    // A status bar thinner than the progress bar's margin.
    in.sbHeight = 10;
    EXPECT_FLOAT_EQ(ComputeLayout(in).progress.height, 0);
}

TEST(ComputeLayout, TheSecondPanelEndsAtTheBarsEdge)
{
    // Window widths from a narrow one to a wide one, the bar a little
    // narrower than the window (its frame).
    for (float width : {1500.0f, 4000.0f, 10000.0f, 12465.0f, 30000.0f}) {
        LayoutInput in;
        in.W = width;
        in.H = 9000;
        in.sbWidth = width - 120;
        const LayoutResult r = ComputeLayout(in);
        EXPECT_LE(r.panel2Left + r.panel2Width, in.sbWidth + 0.01f) << width;
        EXPECT_GT(r.panel2Width, 0) << width;
        EXPECT_LE(r.progress.left + r.progress.width, in.sbWidth) << width;
        EXPECT_FLOAT_EQ(r.panel1Width, width * 0.75f) << width;
    }
    // A bar narrower than three quarters of the window: the first panel ends
    // with it and the second has no room.
    LayoutInput in;
    in.W = 8000;
    in.sbWidth = 5000;
    const LayoutResult r = ComputeLayout(in);
    EXPECT_FLOAT_EQ(r.panel1Width, 5000);
    EXPECT_FLOAT_EQ(r.panel2Width, 0);
}

} // namespace
