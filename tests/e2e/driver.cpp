// Drives stravik.exe through its window the way a user would, for the
// end-to-end scenarios. Usage:
//
//   driver [--timeout SECONDS] [--poll MILLISECONDS] [--hold PATH]...
//          [--arguments TEXT] PROGRAM STEP...
//
// PROGRAM is started at once, with TEXT as its arguments, after each PATH
// is opened without sharing (as the hold step does, but before the start:
// for the console program, which may be done by the first step); the steps
// then run in order:
//   expect-window               the main window appears; its layout is checked
//   click-remove, click-exit    press a button of the main window
//   close                       close the main window by its title bar
//   expect-message TEXT         a message box with exactly TEXT; pressed OK
//   expect-message-prefix TEXT  a message box whose text starts with TEXT
//   expect-exit STATUS          the program ends with STATUS
//   hold PATH                   open PATH without sharing until the driver ends
//   list-files FOLDER           print the folder's files in enumeration order
//   capture PATH                save the main window, frame included, as a BMP
//   capture-message PATH        wait for a message box and save it likewise,
//                               leaving it open for the expect-message step
//   make-files FOLDER COUNT     create COUNT empty files in FOLDER
//   rename FROM TO              rename a file or folder, as another user could
//   peak-memory                 print the program's peak working set
//
// For the benchmark, expect-window also prints how long after the start the
// window was ready, and expect-message how long after the last click the
// message box appeared; --poll sets how often the windows are looked for
// (default 50 ms).
//
// A message box that no expect-message step asked for fails the run, so
// "no message" needs no step of its own. Every wait has a deadline; on
// failure the program is terminated, so a hung scenario never hangs the run.

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/win32/window_layout.h"

namespace {

using stravik::exitButtonCaption;
using stravik::messageCaption;
using stravik::removeButtonCaption;
using stravik::windowCaption;
using stravik::win32::ButtonLayout;
using stravik::win32::UniqueBitmap;
using stravik::win32::UniqueFile;
using stravik::win32::UniqueFind;
using stravik::win32::UniqueHandle;
using stravik::win32::UniqueMemoryDc;
using stravik::win32::UniqueScreenDc;

DWORD pollMilliseconds = 50;
constexpr UINT sendTimeoutMilliseconds = 5000;
constexpr DWORD paintMilliseconds = 1500;

class StepFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

void say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

[[noreturn]] void fail(const std::wstring& why) { throw StepFailure(utf8(why)); }

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// WM_GETTEXT rather than GetWindowText: for another process's controls only
// the message gives their text.
std::wstring windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                             sendTimeoutMilliseconds, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, sendTimeoutMilliseconds, &copied);
    text.resize(copied);
    return text;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectVisibleOfProcess(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window)) search.found.push_back(window);
    return TRUE;
}

BOOL CALLBACK collectAll(HWND window, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindowsOf(DWORD processId) {
    WindowSearch search{processId, {}};
    EnumWindows(collectVisibleOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> childrenOf(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, collectAll, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool isClass(HWND window, const wchar_t* name) {
    return _wcsicmp(className(window).c_str(), name) == 0;
}

// As Windows computes it, not as the program does: the check is independent.
int twipsToPixels(int twips, int dpi) { return MulDiv(twips, dpi, stravik::win32::twipsPerInch); }

using Clock = std::chrono::steady_clock;

long long microsecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

class Driver {
public:
    Driver(std::wstring program, std::wstring arguments, DWORD timeoutMilliseconds)
        : program_(std::move(program)),
          arguments_(std::move(arguments)),
          timeout_(timeoutMilliseconds) {}

    void start() {
        started_ = Clock::now();
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        std::wstring commandLine = L"\"" + program_ + L"\"";
        if (!arguments_.empty()) commandLine += L" " + arguments_;
        if (!CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, &startup, &info))
            fail(L"cannot start " + program_ + L": error " + std::to_wstring(GetLastError()));
        process_.reset(info.hProcess);
        const UniqueHandle thread(info.hThread);
        processId_ = info.dwProcessId;
    }

    void terminateIfRunning() {
        if (process_ && running()) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), timeout_);
        }
    }

    bool running() const { return WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

    void expectWindow() {
        const HWND window = waitFor(L"the main window", [&] { return findMainWindow(); });
        checkLayout(window);
        say("  ready " + std::to_string(microsecondsSince(started_)) + " us after the start");
    }

    void clickButton(const std::wstring& caption) {
        const HWND button = findButton(requireMainWindow(), caption);
        // Posted, so that a message box opened by the click cannot block us.
        lastClick_ = Clock::now();
        PostMessageW(button, BM_CLICK, 0, 0);
    }

    void closeByTitleBar() { PostMessageW(requireMainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0); }

    void expectMessage(const std::wstring& expected, bool prefixOnly) {
        const HWND box = waitFor(
            L"a message box", [&] { return findMessageBox(); }, true);
        if (lastClick_)
            say("  shown " + std::to_string(microsecondsSince(*lastClick_)) +
                " us after the click");
        const std::wstring text = messageText(box);
        say("  message: " + utf8(text));
        const bool matches =
            prefixOnly ? text.compare(0, expected.size(), expected) == 0 : text == expected;
        checkMessageBoxShape(box);
        pressOk(box);
        if (!matches)
            fail(L"message text differs; expected " + std::wstring(prefixOnly ? L"prefix " : L"") +
                 L"\"" + expected + L"\"");
    }

    void expectExit(DWORD expectedStatus) {
        waitFor(L"the program to end",
                [&]() -> HWND { return running() ? nullptr : reinterpret_cast<HWND>(1); });
        DWORD status = 0;
        GetExitCodeProcess(process_.get(), &status);
        if (status != expectedStatus)
            fail(L"exit status " + std::to_wstring(status) + L", expected " +
                 std::to_wstring(expectedStatus));
    }

    void peakMemory() const {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (!GetProcessMemoryInfo(process_.get(), &counters, sizeof counters))
            fail(L"cannot read the program's memory use: error " + std::to_wstring(GetLastError()));
        say("  peak working set: " + std::to_string(counters.PeakWorkingSetSize) + " bytes");
    }

    void hold(const std::wstring& path) {
        UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) fail(L"cannot open " + path + L": error " + std::to_wstring(GetLastError()));
        heldFiles_.push_back(std::move(file));
    }

    // Empty files named file0000.dat and on, for timing their removal.
    static void makeFiles(const std::wstring& folder, unsigned long count) {
        for (unsigned long i = 0; i < count; ++i) {
            wchar_t name[32];
            swprintf(name, 32, L"\\file%04lu.dat", i);
            const UniqueFile file(CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) fail(L"cannot create files in " + folder);
        }
    }

    static void rename(const std::wstring& from, const std::wstring& to) {
        if (!MoveFileW(from.c_str(), to.c_str())) fail(L"cannot rename " + from + L" to " + to);
    }

    static void listFiles(const std::wstring& folder) {
        WIN32_FIND_DATAW entry{};
        const UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &entry));
        if (!find) fail(L"cannot list " + folder);
        do {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                say("  file: " + utf8(entry.cFileName));
        } while (FindNextFileW(find.get(), &entry));
    }

    void captureMainWindow(const std::wstring& path) const { capture(requireMainWindow(), path); }

    void captureMessage(const std::wstring& path) {
        capture(waitFor(
                    L"a message box", [&] { return findMessageBox(); }, true),
                path);
    }

private:
    // Copies the window's pixels from the screen, so the frame drawn around
    // it is in the picture too.
    static void capture(HWND window, const std::wstring& path) {
        // A window just shown may not have painted yet: a round trip through
        // its queue, then time for the paint, which is slow where the
        // program's code is emulated.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, sendTimeoutMilliseconds,
                            &ignored);
        Sleep(paintMilliseconds);
        RECT place{};
        GetWindowRect(window, &place);
        const int width = place.right - place.left;
        const int height = place.bottom - place.top;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        const UniqueScreenDc screen(GetDC(nullptr));
        const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
        void* pixels = nullptr;
        const UniqueBitmap bitmap(
            CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
        if (!memory.get() || !bitmap.get()) fail(L"cannot make a bitmap for the capture");
        const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), place.left, place.top, SRCCOPY);
        SelectObject(memory.get(), previous);

        const DWORD pixelBytes = static_cast<DWORD>(((width * 3 + 3) & ~3) * height);
        BITMAPFILEHEADER header{};
        header.bfType = 0x4D42;  // "BM"
        header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        header.bfSize = header.bfOffBits + pixelBytes;
        const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !WriteFile(file.get(), &header, sizeof header, &written, nullptr) ||
            !WriteFile(file.get(), &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) ||
            !WriteFile(file.get(), pixels, pixelBytes, &written, nullptr))
            fail(L"cannot write " + path);
    }

    // Polls `probe` until it yields a window. While waiting, a message box
    // that nobody expects fails the step, and so does the program ending.
    template <typename Probe>
    HWND waitFor(const std::wstring& what, Probe probe, bool messageExpected = false) {
        const ULONGLONG deadline = GetTickCount64() + timeout_;
        for (;;) {
            if (const HWND found = probe()) return found;
            if (!messageExpected) {
                if (const HWND box = findMessageBox()) {
                    const std::wstring text = messageText(box);
                    pressOk(box);
                    fail(L"unexpected message box: " + text);
                }
            }
            if (!running()) {
                // One last look: the program may have ended right after.
                if (const HWND found = probe()) return found;
                DWORD status = 0;
                GetExitCodeProcess(process_.get(), &status);
                fail(L"the program ended with status " + std::to_wstring(status) +
                     L" while waiting for " + what);
            }
            if (GetTickCount64() > deadline) fail(L"timed out waiting for " + what);
            Sleep(pollMilliseconds);
        }
    }

    HWND findMainWindow() const {
        for (HWND window : topLevelWindowsOf(processId_))
            if (!isClass(window, L"#32770") && windowText(window) == windowCaption) return window;
        return nullptr;
    }

    HWND findMessageBox() const {
        for (HWND window : topLevelWindowsOf(processId_))
            if (isClass(window, L"#32770") && windowText(window) == messageCaption) return window;
        return nullptr;
    }

    HWND requireMainWindow() const {
        const HWND window = findMainWindow();
        if (!window) fail(L"the main window is not shown");
        return window;
    }

    static std::vector<HWND> buttonsOf(HWND parent) {
        std::vector<HWND> buttons;
        for (HWND child : childrenOf(parent))
            if (isClass(child, L"Button") && IsWindowVisible(child)) buttons.push_back(child);
        return buttons;
    }

    static HWND findButton(HWND parent, const std::wstring& caption) {
        for (HWND button : buttonsOf(parent))
            if (windowText(button) == caption) return button;
        fail(L"no button \"" + caption + L"\"");
    }

    static std::wstring messageText(HWND box) {
        std::vector<std::wstring> texts;
        for (HWND child : childrenOf(box)) {
            const LONG style = GetWindowLongW(child, GWL_STYLE);
            if (isClass(child, L"Static") && (style & SS_TYPEMASK) != SS_ICON) {
                const std::wstring text = windowText(child);
                if (!text.empty()) texts.push_back(text);
            }
        }
        if (texts.size() != 1) fail(L"a message box without exactly one text");
        return texts.front();
    }

    // OK only and no icon.
    static void checkMessageBoxShape(HWND box) {
        const std::vector<HWND> buttons = buttonsOf(box);
        if (buttons.size() != 1 || windowText(buttons.front()) != L"OK")
            fail(L"the message box has buttons other than one OK");
        // The icon control may be there without an icon in it.
        for (HWND child : childrenOf(box)) {
            const LONG style = GetWindowLongW(child, GWL_STYLE);
            if (!isClass(child, L"Static") || (style & SS_TYPEMASK) != SS_ICON ||
                !IsWindowVisible(child))
                continue;
            DWORD_PTR icon = 0;
            SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, sendTimeoutMilliseconds,
                                &icon);
            if (icon != 0) fail(L"the message box shows an icon");
        }
    }

    void pressOk(HWND box) const {
        for (HWND button : buttonsOf(box))
            if (windowText(button) == L"OK") PostMessageW(button, BM_CLICK, 0, 0);
        const ULONGLONG deadline = GetTickCount64() + timeout_;
        while (IsWindow(box) && IsWindowVisible(box)) {
            if (GetTickCount64() > deadline) fail(L"the message box did not close");
            Sleep(pollMilliseconds);
        }
    }

    void checkLayout(HWND window) const {
        if (windowText(window) != windowCaption) fail(L"wrong caption");
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        if ((style & WS_THICKFRAME) || (style & WS_MAXIMIZEBOX) || !(style & WS_MINIMIZEBOX) ||
            !(style & WS_SYSMENU))
            fail(L"the frame is not fixed-size with close and minimise boxes only");

        const UniqueScreenDc screen(GetDC(nullptr));
        const int dpiX = GetDeviceCaps(screen.get(), LOGPIXELSX);
        const int dpiY = GetDeviceCaps(screen.get(), LOGPIXELSY);

        RECT client{};
        GetClientRect(window, &client);
        expectSize(L"client area", client.right - client.left, client.bottom - client.top,
                   twipsToPixels(stravik::win32::clientWidthTwips, dpiX),
                   twipsToPixels(stravik::win32::clientHeightTwips, dpiY));

        const std::vector<HWND> buttons = buttonsOf(window);
        if (buttons.size() != 2)
            fail(L"the window has " + std::to_wstring(buttons.size()) + L" buttons, expected 2");
        const HWND remove = findButton(window, removeButtonCaption);
        const HWND exit = findButton(window, exitButtonCaption);
        checkButtonPlace(window, remove, L"Remove", stravik::win32::removeButton, dpiX, dpiY);
        checkButtonPlace(window, exit, L"Exit", stravik::win32::exitButton, dpiX, dpiY);

        if ((GetWindowLongW(remove, GWL_STYLE) & BS_TYPEMASK) != BS_DEFPUSHBUTTON)
            fail(L"Remove is not the default button");
        GUITHREADINFO thread{};
        thread.cbSize = sizeof thread;
        const DWORD threadId = GetWindowThreadProcessId(window, nullptr);
        const ULONGLONG deadline = GetTickCount64() + timeout_;
        for (;;) {
            if (GetGUIThreadInfo(threadId, &thread) && thread.hwndFocus == remove) break;
            if (GetTickCount64() > deadline) fail(L"Remove does not have the focus");
            Sleep(pollMilliseconds);
        }
    }

    static void checkButtonPlace(HWND window, HWND button, const std::wstring& name,
                                 const ButtonLayout& layout, int dpiX, int dpiY) {
        RECT place{};
        GetWindowRect(button, &place);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
        const int left = twipsToPixels(layout.leftTwips, dpiX);
        const int top = twipsToPixels(layout.topTwips, dpiY);
        if (place.left != left || place.top != top)
            fail(name + L" button at (" + std::to_wstring(place.left) + L"," +
                 std::to_wstring(place.top) + L"), expected (" + std::to_wstring(left) + L"," +
                 std::to_wstring(top) + L")");
        expectSize(name + L" button", place.right - place.left, place.bottom - place.top,
                   twipsToPixels(layout.widthTwips, dpiX), twipsToPixels(layout.heightTwips, dpiY));
    }

    static void expectSize(const std::wstring& what, int width, int height, int expectedWidth,
                           int expectedHeight) {
        if (width != expectedWidth || height != expectedHeight)
            fail(what + L" is " + std::to_wstring(width) + L"x" + std::to_wstring(height) +
                 L", expected " + std::to_wstring(expectedWidth) + L"x" +
                 std::to_wstring(expectedHeight));
    }

    std::wstring program_;
    std::wstring arguments_;
    DWORD timeout_;
    UniqueHandle process_;
    DWORD processId_ = 0;
    Clock::time_point started_;
    std::optional<Clock::time_point> lastClick_;
    std::vector<UniqueFile> heldFiles_;
};

struct Step {
    std::wstring name;
    std::vector<std::wstring> arguments;
};

// The steps and how many arguments each takes.
const std::vector<std::pair<std::wstring, int>> stepKinds = {
    {L"expect-window", 0},   {L"click-remove", 0},
    {L"click-exit", 0},      {L"close", 0},
    {L"expect-message", 1},  {L"expect-message-prefix", 1},
    {L"expect-exit", 1},     {L"hold", 1},
    {L"list-files", 1},      {L"capture", 1},
    {L"capture-message", 1}, {L"make-files", 2},
    {L"rename", 2},          {L"peak-memory", 0},
};

std::optional<int> argumentCount(const std::wstring& name) {
    for (const auto& [kind, count] : stepKinds)
        if (kind == name) return count;
    return std::nullopt;
}

void run(Driver& driver, const Step& step) {
    const std::wstring& name = step.name;
    const auto& arguments = step.arguments;
    if (name == L"expect-window")
        driver.expectWindow();
    else if (name == L"click-remove")
        driver.clickButton(removeButtonCaption);
    else if (name == L"click-exit")
        driver.clickButton(exitButtonCaption);
    else if (name == L"close")
        driver.closeByTitleBar();
    else if (name == L"expect-message")
        driver.expectMessage(arguments[0], false);
    else if (name == L"expect-message-prefix")
        driver.expectMessage(arguments[0], true);
    else if (name == L"expect-exit")
        driver.expectExit(std::wcstoul(arguments[0].c_str(), nullptr, 10));
    else if (name == L"hold")
        driver.hold(arguments[0]);
    else if (name == L"list-files")
        Driver::listFiles(arguments[0]);
    else if (name == L"capture")
        driver.captureMainWindow(arguments[0]);
    else if (name == L"capture-message")
        driver.captureMessage(arguments[0]);
    else if (name == L"make-files")
        Driver::makeFiles(arguments[0], std::wcstoul(arguments[1].c_str(), nullptr, 10));
    else if (name == L"rename")
        Driver::rename(arguments[0], arguments[1]);
    else if (name == L"peak-memory")
        driver.peakMemory();
}

int usage() {
    say("usage: driver [--timeout SECONDS] [--poll MILLISECONDS] [--hold PATH]... "
        "[--arguments TEXT] PROGRAM STEP...");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetProcessDPIAware();
    // Plain line ends for the scripts that read the output.
    _setmode(_fileno(stdout), _O_BINARY);
    int next = 1;
    DWORD timeoutMilliseconds = 30000;
    std::vector<std::wstring> heldBeforeStart;
    std::wstring arguments;
    for (; next + 1 < argc && std::wstring(argv[next]).starts_with(L"--"); next += 2) {
        const std::wstring option = argv[next];
        const std::wstring value = argv[next + 1];
        if (option == L"--timeout")
            timeoutMilliseconds = 1000 * std::wcstoul(value.c_str(), nullptr, 10);
        else if (option == L"--poll")
            pollMilliseconds = std::max(1UL, std::wcstoul(value.c_str(), nullptr, 10));
        else if (option == L"--hold")
            heldBeforeStart.push_back(value);
        else if (option == L"--arguments")
            arguments = value;
        else
            return usage();
    }
    if (next >= argc) return usage();
    const std::wstring program = argv[next++];

    std::vector<Step> steps;
    while (next < argc) {
        Step step{argv[next++], {}};
        const std::optional<int> count = argumentCount(step.name);
        if (!count) {
            say("unknown step: " + utf8(step.name));
            return usage();
        }
        if (next + *count > argc) return usage();
        for (int i = 0; i < *count; ++i) step.arguments.push_back(argv[next++]);
        steps.push_back(std::move(step));
    }

    Driver driver(program, arguments, timeoutMilliseconds);
    std::string current = "start";
    try {
        for (const std::wstring& path : heldBeforeStart) driver.hold(path);
        const auto began = std::chrono::steady_clock::now();
        driver.start();
        say("started " + utf8(program) + " (" +
            std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - began)
                               .count()) +
            " ms)");
        auto stepBegan = began;
        for (const Step& step : steps) {
            current = utf8(step.name);
            for (const std::wstring& argument : step.arguments)
                current += " \"" + utf8(argument) + "\"";
            say("step: " + current);
            stepBegan = std::chrono::steady_clock::now();
            run(driver, step);
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - stepBegan);
            say("  ok (" + std::to_string(took.count()) + " ms)");
        }
        if (driver.running()) fail(L"the program is still running after the last step");
    } catch (const StepFailure& failure) {
        say("FAIL: " + current + ": " + failure.what());
        driver.terminateIfRunning();
        return 1;
    }
    say("PASS");
    return 0;
}
