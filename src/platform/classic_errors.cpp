#include "platform/classic_errors.h"

#include <algorithm>
#include <iterator>

namespace stravik {

namespace {

// The texts exactly as the classic Visual Basic run-time gives them. A
// number missing here (1004 among them) reads as the application-defined
// error, as it does there.
constexpr ClassicError catalogue[] = {
    {3, L"Return without GoSub"},
    {5, L"Invalid procedure call or argument"},
    {6, L"Overflow"},
    {7, L"Out of memory"},
    {9, L"Subscript out of range"},
    {10, L"This array is fixed or temporarily locked"},
    {11, L"Division by zero"},
    {13, L"Type mismatch"},
    {14, L"Out of string space"},
    {16, L"Expression too complex"},
    {17, L"Can't perform requested operation"},
    {18, L"User interrupt occurred"},
    {20, L"Resume without error"},
    {28, L"Out of stack space"},
    {35, L"Sub or Function not defined"},
    {47, L"Too many DLL application clients"},
    {48, L"Error in loading DLL"},
    {49, L"Bad DLL calling convention"},
    {51, L"Internal error"},
    {52, L"Bad file name or number"},
    {53, L"File not found"},
    {54, L"Bad file mode"},
    {55, L"File already open"},
    {57, L"Device I/O error"},
    {58, L"File already exists"},
    {59, L"Bad record length"},
    {61, L"Disk full"},
    {62, L"Input past end of file"},
    {63, L"Bad record number"},
    {67, L"Too many files"},
    {68, L"Device unavailable"},
    {70, L"Permission denied"},
    {71, L"Disk not ready"},
    {74, L"Can't rename with different drive"},
    {75, L"Path/File access error"},
    {76, L"Path not found"},
    {91, L"Object variable or With block variable not set"},
    {92, L"For loop not initialized"},
    {93, L"Invalid pattern string"},
    {94, L"Invalid use of Null"},
    {96,
     L"Unable to sink events of object because the object is already firing events to the "
     L"maximum number of event receivers that it supports"},
    {97, L"Can not call friend function on object which is not an instance of defining class"},
    {98,
     L"A property or method call cannot include a reference to a private object, either as an "
     L"argument or as a return value"},
    {321, L"Invalid file format"},
    {322, L"Can't create necessary temporary file"},
    {325, L"Invalid format in resource file"},
    {380, L"Invalid property value"},
    {381, L"Invalid property array index"},
    {382, L"Set not supported at runtime"},
    {383, L"Set not supported (read-only property)"},
    {385, L"Need property array index"},
    {387, L"Set not permitted"},
    {393, L"Get not supported at runtime"},
    {394, L"Get not supported (write-only property)"},
    {422, L"Property not found"},
    {423, L"Property or method not found"},
    {424, L"Object required"},
    {425, L"Invalid object use"},
    {429, L"ActiveX component can't create object"},
    {430, L"Class does not support Automation or does not support expected interface"},
    {432, L"File name or class name not found during Automation operation"},
    {438, L"Object doesn't support this property or method"},
    {440, L"Automation error"},
    {442,
     L"Connection to type library or object library for remote process has been lost. Press OK "
     L"for dialog to remove reference"},
    {443, L"Automation object does not have a default value"},
    {445, L"Object doesn't support this action"},
    {446, L"Object doesn't support named arguments"},
    {447, L"Object doesn't support current locale setting"},
    {448, L"Named argument not found"},
    {449, L"Argument not optional"},
    {450, L"Wrong number of arguments or invalid property assignment"},
    {451,
     L"Property let procedure not defined and property get procedure did not return an object"},
    {452, L"Invalid ordinal"},
    {453, L"Specified DLL function not found"},
    {454, L"Code resource not found"},
    {455, L"Code resource lock error"},
    {457, L"This key is already associated with an element of this collection"},
    {458, L"Variable uses an Automation type not supported in Visual Basic"},
    {459, L"Object or class does not support the set of events"},
    {460, L"Invalid clipboard format"},
    {461, L"Method or data member not found"},
    {462, L"The remote server machine does not exist or is unavailable"},
    {463, L"Class not registered on local machine"},
    {481, L"Invalid picture"},
    {482, L"Printer error"},
    {735, L"Can't save file to TEMP"},
    {744, L"Search text not found"},
    {746, L"Replacements too long"},
};

static_assert(std::is_sorted(std::begin(catalogue), std::end(catalogue),
                             [](const ClassicError& a, const ClassicError& b) {
                                 return a.number < b.number;
                             }),
              "classicErrorText searches the catalogue by halves");

bool isBlank(wchar_t character) {
    return character == L' ' || character == L'\t' || character == L'\r' || character == L'\n';
}

}  // namespace

std::span<const ClassicError> classicErrors() { return catalogue; }

std::wstring_view classicErrorText(std::int32_t number) {
    const auto found = std::lower_bound(
        std::begin(catalogue), std::end(catalogue), number,
        [](const ClassicError& entry, std::int32_t n) { return entry.number < n; });
    return found != std::end(catalogue) && found->number == number ? found->text
                                                                   : std::wstring_view();
}

ErrorInfo classicError(std::int32_t number) {
    return ErrorInfo{number, describedError({number, {}})};
}

void raiseClassicError(std::int32_t number) { throw RaisedError(classicError(number)); }

Text describedError(const ErrorInfo& error) {
    if (!std::all_of(error.description.begin(), error.description.end(), isBlank)) {
        return error.description;
    }
    const std::wstring_view classic = classicErrorText(error.number);
    return Text(classic.empty() ? applicationDefinedErrorText : classic);
}

}  // namespace stravik
