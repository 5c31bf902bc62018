// The "Error #" text and its sign position.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "recording_platform.h"
#include "shell/removal_form.h"

namespace stravik::testing {
namespace {

TEST(ErrorMessage, NonNegativeNumbersHaveABlankSignPosition) {
    EXPECT_EQ(formatErrorMessage({76, L"Path not found"}), L"Error # 76: Path not found.");
    EXPECT_EQ(formatErrorMessage({0, L""}), L"Error # 0: .");
    EXPECT_EQ(formatErrorMessage({std::numeric_limits<std::int32_t>::max(), L"x"}),
              L"Error # 2147483647: x.");
}

TEST(ErrorMessage, NegativeNumbersPutTheMinusInTheSignPosition) {
    EXPECT_EQ(formatErrorMessage({-2147024891, L"Access is denied"}),
              L"Error #-2147024891: Access is denied.");
    EXPECT_EQ(formatErrorMessage({std::numeric_limits<std::int32_t>::min(), L"x"}),
              L"Error #-2147483648: x.");
}

TEST(ErrorMessage, DescriptionIsTakenAsItIs) {
    EXPECT_EQ(formatErrorMessage({53, L"Fichier introuvable \x00e9"}),
              L"Error # 53: Fichier introuvable \x00e9.");
}

TEST(ErrorMessage, AFailingMessageBoxIsIgnored) {
    RecordingPlatform platform;
    platform.componentAvailable = false;
    platform.raiseOn["showMessage(Error # 429: ActiveX component can't create object.)"] =
        ErrorInfo{5, L"x"};
    RemovalForm form{platform};
    EXPECT_NO_THROW(form.load());
}

TEST(Trimming, OnlyBlanksAreRemovedFromTheEnds) {
    EXPECT_EQ(trimBlanks(L"  a b  "), L"a b");
    EXPECT_EQ(trimBlanks(Text(L" \0 ", 3)), Text(L"\0", 1));
    EXPECT_EQ(trimBlanks(L"\ta\t"), L"\ta\t");
    EXPECT_EQ(trimBlanks(L"    "), L"");
}

}  // namespace
}  // namespace stravik::testing
