#pragma once

// The main window's resizable geometry, in twips, from its outer size. Kept
// apart from the window so that it can be checked number by number.
struct LayoutInput {
    float W = 0;          // outer width of the window
    float H = 0;          // outer height (border, title bar and menu bar included)
    float sbHeight = 315; // the status bar's height
    float sbTop = 0;      // the status bar's top edge (it is docked at the bottom)
    float sbWidth = 0;    // the status bar's width (0: the window's)
    float tabTop = 960;   // these four never change with the window's size
    float txtUrlLeft = 540;
    float cmdGoWidth = 1095;
    float cmdWebsiteLeft = 7380;
};

struct Rect {
    float left = 0, top = 0, width = 0, height = 0;
};

struct LayoutResult {
    Rect tabStrip;
    Rect browser; // each of the three views gets the same rectangle
    float panel1Width = 0;
    float panel2Left = 0;
    float panel2Width = 0;
    Rect progress;
    float txtUrlWidth = 0;
    float cmdGoLeft = 0;
    float cmdWebsiteWidth = 0;
};

LayoutResult ComputeLayout(const LayoutInput &in);
