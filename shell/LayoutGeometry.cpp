#include "shell/LayoutGeometry.h"

#include <algorithm>
#include <cmath>

LayoutResult ComputeLayout(const LayoutInput &in)
{
    LayoutResult r;

    // The tab strip fills the window below the navigation bar. 800 stands for
    // the window's frame, title and menu bar plus a margin.
    r.tabStrip.left = 25;
    r.tabStrip.top = in.tabTop;
    r.tabStrip.height = std::fabs(in.H - r.tabStrip.top - in.sbHeight - 800);
    r.tabStrip.width = std::fabs(in.W - 2 * r.tabStrip.left);

    // The three views lie on top of each other inside it, below its tabs.
    r.browser.top = std::fabs(r.tabStrip.top + 400);
    r.browser.left = std::fabs(r.tabStrip.left + 100);
    r.browser.width = std::fabs(r.tabStrip.width - 250);
    r.browser.height = std::fabs(r.tabStrip.height - 500);

    // Status panels: the first takes three quarters of the window, the second
    // the rest of the bar; it ends at the bar's right edge, never past it.
    const float bar = in.sbWidth > 0 ? in.sbWidth : in.W;
    r.panel1Width = std::min(in.W * 0.75f, bar);
    r.panel2Left = r.panel1Width;
    r.panel2Width = std::max(0.0f, bar - r.panel1Width);

    // The progress bar lies over the second panel.
    r.progress.left = r.panel2Left + 50;
    r.progress.height = std::max(0.0f, in.sbHeight - 20);
    r.progress.width = std::max(0.0f, r.panel2Width - 100);
    r.progress.top = in.sbTop;

    // The address box takes the free width; Go follows it at a gap of 50.
    r.txtUrlWidth = std::fabs(in.W - in.txtUrlLeft - in.cmdGoWidth - 200);
    r.cmdWebsiteWidth = std::fabs(in.W - in.cmdWebsiteLeft - 150);
    r.cmdGoLeft = std::max(0.0f, r.txtUrlWidth + in.txtUrlLeft + 50);
    return r;
}
