#include "platform/portable/console_window.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <string_view>

#include "platform/portable/utf8.h"
#include "platform/window_captions.h"

namespace stravik::portable {
namespace {

constexpr std::size_t innerWidth = 36;
// Where a button's key is written, after its caption.
constexpr std::size_t keyColumn = 26;

// "[ Caption ]" with the key that presses it: "[ Exit Removal Tool ]     (e)".
std::string buttonRow(const Text& caption, char key) {
    std::string row = "[ " + encodeUtf8(caption) + " ]";
    row.resize(std::max(row.size() + 1, keyColumn), ' ');
    return row + '(' + key + ')';
}

void drawBorder(std::ostream& output) { output << '+' << std::string(innerWidth, '-') << "+\n"; }

void drawRow(std::ostream& output, std::string_view content) {
    output << "|  " << content << std::string(innerWidth - 2 - content.size(), ' ') << "|\n";
}

}  // namespace

ConsoleWindow::ConsoleWindow(std::istream& input, std::ostream& output)
    : input_(input), output_(output) {}

void ConsoleWindow::draw() {
    drawBorder(output_);
    drawRow(output_, encodeUtf8(windowCaption));
    drawBorder(output_);
    drawRow(output_, "");
    drawRow(output_, buttonRow(removeButtonCaption, 'r'));
    drawRow(output_, "");
    drawRow(output_, buttonRow(exitButtonCaption, 'e'));
    drawRow(output_, "");
    drawBorder(output_);
}

void ConsoleWindow::showMessage(const Text& text) {
    output_ << '[' << encodeUtf8(messageCaption) << "] " << encodeUtf8(text) << "\n[ OK ]\n";
    readLine();
}

std::optional<std::string> ConsoleWindow::readLine() {
    output_.flush();
    std::string line;
    if (!std::getline(input_, line)) {
        return std::nullopt;
    }
    constexpr std::string_view whiteSpace = " \t\r\n";
    const auto first = line.find_first_not_of(whiteSpace);
    if (first == std::string::npos) {
        return std::string();
    }
    return line.substr(first, line.find_last_not_of(whiteSpace) - first + 1);
}

}  // namespace stravik::portable
