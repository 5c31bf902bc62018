#include <gtest/gtest.h>

#include "platform/win32/window_layout.h"
#include "platform/win32/windows_headers.h"

namespace stravik::win32 {
namespace {

TEST(TwipsToPixels, GivesTheWindowsPixelSizesAtNinetySixDpi) {
    EXPECT_EQ(twipsToPixels(clientWidthTwips, 96), 312);
    EXPECT_EQ(twipsToPixels(clientHeightTwips, 96), 135);
    for (const ButtonLayout& button : {removeButton, exitButton}) {
        EXPECT_EQ(twipsToPixels(button.leftTwips, 96), 32);
        EXPECT_EQ(twipsToPixels(button.widthTwips, 96), 241);
        EXPECT_EQ(twipsToPixels(button.heightTwips, 96), 41);
    }
    EXPECT_EQ(twipsToPixels(removeButton.topTwips, 96), 16);
    EXPECT_EQ(twipsToPixels(exitButton.topTwips, 96), 72);
}

TEST(TwipsToPixels, RoundsLikeMulDivAtEveryCommonDpi) {
    // 2025 twips at 144 DPI are 202.5 pixels: halves round up.
    EXPECT_EQ(twipsToPixels(clientHeightTwips, 144), 203);
    for (const int dpi : {72, 96, 120, 144, 168, 192, 240, 288}) {
        for (int twips = 0; twips <= 6000; twips += 5) {
            ASSERT_EQ(twipsToPixels(twips, dpi), MulDiv(twips, dpi, twipsPerInch))
                << twips << " twips at " << dpi << " DPI";
        }
    }
}

}  // namespace
}  // namespace stravik::win32
