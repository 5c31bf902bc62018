#pragma once

// The main window's layout and control identifiers. Sizes are in twips
// (1440 to the inch) and become pixels at the display's real DPI. Test
// drivers include this header to find and check the window.

#include "platform/window_captions.h"

namespace stravik::win32 {

inline constexpr wchar_t windowClassName[] = L"StravikRemovalForm";

inline constexpr int twipsPerInch = 1440;
inline constexpr int clientWidthTwips = 4680;
inline constexpr int clientHeightTwips = 2025;

struct ButtonLayout {
    int controlId;
    const wchar_t* caption;
    int leftTwips;
    int topTwips;
    int widthTwips;
    int heightTwips;
};

// In tab order; the first has the focus and is the default button.
inline constexpr ButtonLayout removeButton{1001, removeButtonCaption, 480, 240, 3615, 615};
inline constexpr ButtonLayout exitButton{1002, exitButtonCaption, 480, 1080, 3615, 615};

// Rounds half away from zero, as MulDiv does.
constexpr int twipsToPixels(int twips, int dotsPerInch) {
    const long long scaled = static_cast<long long>(twips) * dotsPerInch;
    const long long half = twipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / twipsPerInch
                                        : -((-scaled + half) / twipsPerInch));
}

}  // namespace stravik::win32
