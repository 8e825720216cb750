#pragma once

#include <QRect>

// Layout figures are kept in twips, 15 to a logical pixel; Qt scales logical pixels
// for high-DPI screens itself.
inline constexpr int twipsPerPixel = 15;

inline constexpr int twipsToPixels(int twips) {
    return (twips + twipsPerPixel / 2) / twipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}
