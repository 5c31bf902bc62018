#include "platform/portable/console_window.h"

#include <istream>
#include <ostream>
#include <string_view>

#include "platform/portable/utf8.h"

namespace stravik::portable {
namespace {

constexpr std::string_view windowCaption = "Remove Halvoran OCX";
constexpr std::string_view removeButton = "[ Remove Halvoran OCX ]   (r)";
constexpr std::string_view exitButton = "[ Exit Removal Tool ]     (e)";
constexpr std::size_t innerWidth = 36;
constexpr std::string_view messageCaption = "Stravik";

void drawBorder(std::ostream& output) { output << '+' << std::string(innerWidth, '-') << "+\n"; }

void drawRow(std::ostream& output, std::string_view content) {
    output << "|  " << content << std::string(innerWidth - 2 - content.size(), ' ') << "|\n";
}

}  // namespace

ConsoleWindow::ConsoleWindow(std::istream& input, std::ostream& output)
    : input_(input), output_(output) {}

void ConsoleWindow::draw() {
    drawBorder(output_);
    drawRow(output_, windowCaption);
    drawBorder(output_);
    drawRow(output_, "");
    drawRow(output_, removeButton);
    drawRow(output_, "");
    drawRow(output_, exitButton);
    drawRow(output_, "");
    drawBorder(output_);
}

void ConsoleWindow::showMessage(const Text& text) {
    output_ << '[' << messageCaption << "] " << encodeUtf8(text) << "\n[ OK ]\n";
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
