// SPDX-FileCopyrightText: 2026 The Orvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Converting the dialog templates' dialog units to pixels.
#pragma once

#include <QRect>
#include <QSize>

namespace orvane::qt {

// MS Sans Serif 8 pt at 96 DPI: the base units the templates were laid out in.
// Fixed rather than measured from our font, so every control sits where it
// does in the Windows program.
inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;

// Rounds half away from zero, as the Windows conversion does.
constexpr int ScaleRounded(int value, int numerator, int denominator) {
    const int product = value * numerator;
    return product >= 0 ? (product + denominator / 2) / denominator
                        : -((-product + denominator / 2) / denominator);
}

constexpr int UnitsToPixelsX(int units) {
    return ScaleRounded(units, kBaseUnitX, 4);
}
constexpr int UnitsToPixelsY(int units) {
    return ScaleRounded(units, kBaseUnitY, 8);
}

// The templates' font size; the family is the desktop's own sans serif.
inline constexpr int kDialogFontPoints = 8;

inline QRect DialogUnitsToPixels(int x, int y, int width, int height) {
    return QRect(UnitsToPixelsX(x), UnitsToPixelsY(y), UnitsToPixelsX(width),
                 UnitsToPixelsY(height));
}

inline QSize DialogUnitsToPixels(int width, int height) {
    return QSize(UnitsToPixelsX(width), UnitsToPixelsY(height));
}

}  // namespace orvane::qt
