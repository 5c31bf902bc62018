#include "platform/portable/windows1252.h"

#include <gtest/gtest.h>

namespace stravik::portable {
namespace {

TEST(Windows1252, EveryByteSurvivesTheRoundTrip) {
    NarrowText allBytes;
    for (int byte = 0; byte < 256; ++byte) allBytes.push_back(static_cast<char>(byte));
    const Text wide = fromWindows1252(allBytes);
    ASSERT_EQ(wide.size(), 256u);
    EXPECT_EQ(toWindows1252(wide), allBytes);
}

TEST(Windows1252, MapsTheHighControlBlockAsWindowsDoes) {
    EXPECT_EQ(fromWindows1252("\x80\x8A\x9F\xE9\xFF"), L"\u20AC\u0160\u0178\u00E9\u00FF");
    // The five bytes the code page leaves undefined.
    EXPECT_EQ(fromWindows1252("\x81\x8D\x8F\x90\x9D"), L"\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(toWindows1252(L"\u20AC\u2122\u0081"), "\x80\x99\x81");
}

TEST(Windows1252, UnmappableCharactersBecomeOneQuestionMarkEach) {
    // No best fit: A-macron does not become A, and the C1 controls that the
    // code page replaced are not bytes of their own.
    EXPECT_EQ(toWindows1252(L"\u0100\u4E2D\u0080\u009F"), "????");
    EXPECT_EQ(toWindows1252(L"a\U0001F600b"), "a?b");
}

TEST(Windows1252, KeepsEmbeddedTerminators) {
    const Text wide(L"C:\0x", 4);
    const NarrowText narrow("C:\0x", 4);
    EXPECT_EQ(toWindows1252(wide), narrow);
    EXPECT_EQ(fromWindows1252(narrow), wide);
}

}  // namespace
}  // namespace stravik::portable
