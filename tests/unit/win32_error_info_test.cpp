#include <gtest/gtest.h>

#include "platform/win32/error_info.h"
#include "platform/win32/handles.h"
#include "raised_error.h"
#include "shell/removal_form.h"

namespace stravik::win32 {
namespace {

TEST(ErrorInfoFromFailure, ControlErrorsGiveTheirLowWordAndTheClassicText) {
    // What the file-system component raises for a missing folder, with no
    // description of its own.
    const ErrorInfo pathNotFound = errorInfoFromFailure(static_cast<HRESULT>(0x800A004C));
    EXPECT_EQ(pathNotFound.number, 76);
    EXPECT_EQ(pathNotFound.description, L"Path not found");
    EXPECT_EQ(formatErrorMessage(pathNotFound), L"Error # 76: Path not found.");

    const ErrorInfo fileNotFound = errorInfoFromFailure(static_cast<HRESULT>(0x800A0035));
    EXPECT_EQ(fileNotFound.number, 53);
    EXPECT_EQ(fileNotFound.description, L"File not found");
}

struct WellKnownFailure {
    HRESULT failure;
    const wchar_t* message;
};

class WellKnownFailureTest : public ::testing::TestWithParam<WellKnownFailure> {};

// System failures read as the run-time errors of the same meaning.
TEST_P(WellKnownFailureTest, ReadsAsTheRunTimeErrorOfTheSameMeaning) {
    EXPECT_EQ(formatErrorMessage(errorInfoFromFailure(GetParam().failure)), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    SystemFailures, WellKnownFailureTest,
    ::testing::Values(
        WellKnownFailure{HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), L"Error # 76: Path not found."},
        WellKnownFailure{HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L"Error # 53: File not found."},
        WellKnownFailure{HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED),
                         L"Error # 70: Permission denied."},
        WellKnownFailure{HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION),
                         L"Error # 70: Permission denied."},
        WellKnownFailure{HRESULT_FROM_WIN32(ERROR_INVALID_DRIVE),
                         L"Error # 68: Device unavailable."},
        WellKnownFailure{HRESULT_FROM_WIN32(ERROR_DEV_NOT_EXIST),
                         L"Error # 68: Device unavailable."},
        WellKnownFailure{E_OUTOFMEMORY, L"Error # 7: Out of memory."},
        WellKnownFailure{DISP_E_UNKNOWNNAME,
                         L"Error # 438: Object doesn't support this property or method."}));

// Each way of raising reads the same for the same failure.
TEST(RaisedFailure, EachWayRaisesTheFailureItIsGiven) {
    const auto message = [](auto raise) {
        return formatErrorMessage(stravik::testing::raisedBy(raise));
    };
    EXPECT_EQ(message([] { raiseFailure(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)); }),
              L"Error # 76: Path not found.");
    EXPECT_EQ(message([] { raiseWindowsError(ERROR_ACCESS_DENIED); }),
              L"Error # 70: Permission denied.");
    EXPECT_EQ(message([] {
                  SetLastError(ERROR_FILE_NOT_FOUND);
                  raiseLastError();
              }),
              L"Error # 53: File not found.");
}

TEST(ErrorInfoFromFailure, OtherFailuresKeepTheirNumberAndTheSystemMessage) {
    const ErrorInfo info = errorInfoFromFailure(E_NOTIMPL);
    EXPECT_EQ(info.number, static_cast<std::int32_t>(0x80004001));
    EXPECT_LT(info.number, 0);
    ASSERT_FALSE(info.description.empty());
    EXPECT_EQ(info.description, systemMessageText(E_NOTIMPL));
    EXPECT_NE(info.description.back(), L'.');
    EXPECT_NE(info.description.back(), L'\n');
    EXPECT_EQ(formatErrorMessage(info).rfind(L"Error #-2147467263: ", 0), 0u);
}

TEST(ErrorInfoFromFailure, ExceptionsTakeTheComponentsCodeAndText) {
    EXCEPINFO exception{};
    exception.scode = static_cast<SCODE>(0x800A0046);
    exception.bstrDescription = SysAllocString(L"Access is denied here.\r\n");
    exception.bstrSource = SysAllocString(L"Scripting");

    const ErrorInfo info = errorInfoFromFailure(DISP_E_EXCEPTION, &exception);
    EXPECT_EQ(info.number, 70);
    // The report adds its own period.
    EXPECT_EQ(info.description, L"Access is denied here");
    // The strings were taken over and freed.
    EXPECT_EQ(exception.bstrDescription, nullptr);
    EXPECT_EQ(exception.bstrSource, nullptr);
}

TEST(ErrorInfoFromFailure, ExceptionsWithoutTextGetTheClassicText) {
    EXCEPINFO withCode{};
    withCode.scode = static_cast<SCODE>(0x800A004C);
    EXPECT_EQ(errorInfoFromFailure(DISP_E_EXCEPTION, &withCode).description, L"Path not found");

    EXCEPINFO withWordCode{};
    withWordCode.wCode = 53;
    const ErrorInfo info = errorInfoFromFailure(DISP_E_EXCEPTION, &withWordCode);
    EXPECT_EQ(info.number, 53);
    EXPECT_EQ(info.description, L"File not found");
}

HRESULT STDAPICALLTYPE fillInPermissionDenied(EXCEPINFO* exception) {
    exception->scode = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    exception->bstrDescription = SysAllocString(L"Permission denied");
    return S_OK;
}

TEST(ErrorInfoFromFailure, DeferredExceptionsAreFilledInFirst) {
    EXCEPINFO exception{};
    exception.pfnDeferredFillIn = fillInPermissionDenied;
    const ErrorInfo info = errorInfoFromFailure(DISP_E_EXCEPTION, &exception);
    EXPECT_EQ(info.number, 70);
    EXPECT_EQ(info.description, L"Permission denied");
}

TEST(ErrorInfoFromFailure, EveryCataloguedControlErrorReadsItsClassicText) {
    const ErrorInfo deviceUnavailable = errorInfoFromFailure(static_cast<HRESULT>(0x800A0044));
    EXPECT_EQ(formatErrorMessage(deviceUnavailable), L"Error # 68: Device unavailable.");
    for (const ClassicError& entry : classicErrors()) {
        const HRESULT failure = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, entry.number);
        const ErrorInfo info = errorInfoFromFailure(failure);
        EXPECT_EQ(info.number, entry.number);
        EXPECT_EQ(formatErrorMessage(info),
                  L"Error # " + std::to_wstring(entry.number) + L": " + Text(entry.text) + L".");
    }
}

// A number with no classic text and no system message still reads as
// something: the report falls back to the application-defined error.
TEST(ErrorInfoFromFailure, NumbersWithoutAnyTextStillReadAsAnError) {
    const ErrorInfo unknownControlError = errorInfoFromFailure(static_cast<HRESULT>(0x800A03EC));
    EXPECT_EQ(unknownControlError.number, 1004);
    EXPECT_EQ(formatErrorMessage(unknownControlError),
              L"Error # 1004: Application-defined or object-defined error.");

    EXCEPINFO silent{};
    silent.wCode = 68;
    silent.bstrDescription = SysAllocString(L"");
    EXPECT_EQ(formatErrorMessage(errorInfoFromFailure(DISP_E_EXCEPTION, &silent)),
              L"Error # 68: Device unavailable.");
}

}  // namespace
}  // namespace stravik::win32
