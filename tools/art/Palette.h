#pragma once

#include <QColor>

// The colours every picture is drawn with; the skin definition uses the same.
namespace palette {
inline const QColor ink{0x1b, 0x2c, 0x3e};   // deep slate: outlines, dark text
inline const QColor slate{0x2a, 0x4d, 0x6e}; // frame and title accent
inline const QColor sky{0x3b, 0x86, 0xb4};   // light end of the blue gradients
inline const QColor amber{0xe9, 0xa2, 0x3b}; // highlight, the arrow
inline const QColor amberDark{0xb8, 0x74, 0x1c};
inline const QColor brick{0xc9, 0x4f, 0x3d}; // stop
inline const QColor ivory{0xf7, 0xf4, 0xec}; // paper
inline const QColor mist{0xdd, 0xe5, 0xec};  // window background
inline const QColor leaf{0x3f, 0x9a, 0x6e};  // the start page's landscape
} // namespace palette
