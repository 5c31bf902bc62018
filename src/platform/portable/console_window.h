#pragma once

// The stand-in for the window system: the window and the message boxes are
// drawn as text on the console, and the user answers with lines of input.

#include <iosfwd>
#include <optional>
#include <string>

#include "platform/platform_services.h"

namespace stravik::portable {

class ConsoleWindow {
public:
    ConsoleWindow(std::istream& input, std::ostream& output);

    // Draws the window: its caption and its two buttons.
    void draw();
    // Shows a message box captioned "Stravik" and waits for one line (OK);
    // the end of input counts as OK.
    void showMessage(const Text& text);
    // The next line without surrounding white space, or nothing at the end
    // of input. Everything drawn so far is flushed first.
    std::optional<std::string> readLine();

private:
    std::istream& input_;
    std::ostream& output_;
};

}  // namespace stravik::portable
