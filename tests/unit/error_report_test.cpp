// The "Error #" text and its sign position.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "platform/classic_errors.h"
#include "recording_platform.h"
#include "shell/removal_form.h"

namespace stravik::testing {
namespace {

TEST(ErrorMessage, NonNegativeNumbersHaveABlankSignPosition) {
    EXPECT_EQ(formatErrorMessage({76, L"Path not found"}), L"Error # 76: Path not found.");
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

TEST(ErrorMessage, EveryCataloguedNumberReadsItsClassicText) {
    EXPECT_EQ(formatErrorMessage({68, L""}), L"Error # 68: Device unavailable.");
    EXPECT_EQ(formatErrorMessage(classicError(68)), L"Error # 68: Device unavailable.");
    std::int32_t previous = 0;
    for (const ClassicError& entry : classicErrors()) {
        EXPECT_GT(entry.number, previous) << "catalogue out of order at " << entry.number;
        previous = entry.number;
        ASSERT_FALSE(entry.text.empty()) << entry.number;
        EXPECT_NE(entry.text.back(), L'.') << entry.number;  // the report adds its own
        EXPECT_EQ(formatErrorMessage({entry.number, L""}),
                  L"Error # " + std::to_wstring(entry.number) + L": " + Text(entry.text) + L".");
    }
    // Every number the file-system component can raise.
    for (std::int32_t number = 52; number <= 76; ++number) {
        const bool unused = number == 56 || number == 60 || number == 64 || number == 65 ||
                            number == 66 || number == 69 || number == 72 || number == 73;
        EXPECT_EQ(classicErrorText(number).empty(), unused) << number;
    }
}

TEST(ErrorMessage, NoDescriptionIsEverEmpty) {
    for (const std::int32_t number : {0, 1004, 65535, -2147467259}) {
        EXPECT_EQ(describedError({number, L""}), L"Application-defined or object-defined error");
    }
    EXPECT_EQ(formatErrorMessage({0, L""}),
              L"Error # 0: Application-defined or object-defined error.");
    EXPECT_EQ(formatErrorMessage({70, L" \r\n"}), L"Error # 70: Permission denied.");
    EXPECT_EQ(classicError(999).description, L"Application-defined or object-defined error");
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
