#include "platform/win32/main_window.h"

#include "platform/classic_errors.h"
#include "platform/scope_exit.h"
#include "platform/win32/window_layout.h"
#include "resource.h"

namespace stravik::win32 {

namespace {

constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD buttonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_NOTIFY;

struct DisplayDpi {
    int x;
    int y;
};

DisplayDpi displayDpi() {
    const UniqueScreenDc screen(GetDC(nullptr));
    return DisplayDpi{GetDeviceCaps(screen.get(), LOGPIXELSX),
                      GetDeviceCaps(screen.get(), LOGPIXELSY)};
}

HFONT createMessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return nullptr;
    }
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, Win32Platform& platform)
    : instance_(instance), platform_(platform), form_(platform) {}

int MainWindow::run(int showCommand) {
    if (!create()) {
        return 1;
    }
    platform_.attachWindow(window_);

    form_.load();
    if (platform_.programEnded()) {
        return 0;
    }

    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    SetFocus(removeButton_);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The dialog manager gives the window Tab and Enter.
        if (window_ == nullptr || !IsDialogMessageW(window_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The window is gone; the form's terminate event follows, unless the
    // exit sequence ended the program.
    if (!platform_.programEnded()) {
        form_.terminate();
    }
    return static_cast<int>(message.wParam);
}

bool MainWindow::create() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(STRAVIK_ICON));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(STRAVIK_ICON),
                                                        IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = windowClassName;
    if (RegisterClassExW(&windowClass) == 0) {
        return false;
    }

    const DisplayDpi dpi = displayDpi();
    RECT frame{0, 0, twipsToPixels(clientWidthTwips, dpi.x),
               twipsToPixels(clientHeightTwips, dpi.y)};
    AdjustWindowRectEx(&frame, windowStyle, FALSE, 0);
    CreateWindowExW(0, windowClassName, windowCaption, windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance_,
                    this);
    if (window_ == nullptr) {
        return false;
    }

    font_.reset(createMessageFont());
    removeButton_ = createButton(removeButton, dpi.x, dpi.y, BS_DEFPUSHBUTTON);
    exitButton_ = createButton(exitButton, dpi.x, dpi.y, BS_PUSHBUTTON);
    focusedButton_ = removeButton_;
    return removeButton_ != nullptr && exitButton_ != nullptr;
}

HWND MainWindow::createButton(const ButtonLayout& layout, int dpiX, int dpiY, DWORD style) {
    const HWND button = CreateWindowExW(
        0, L"BUTTON", layout.caption, buttonStyle | style, twipsToPixels(layout.leftTwips, dpiX),
        twipsToPixels(layout.topTwips, dpiY), twipsToPixels(layout.widthTwips, dpiX),
        twipsToPixels(layout.heightTwips, dpiY), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.controlId)), instance_, nullptr);
    if (button != nullptr && font_.get() != nullptr) {
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    }
    return button;
}

LRESULT CALLBACK MainWindow::windowProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // No exception may unwind through the window system's frames. The
    // form's operations catch their own; this is the last resort.
    try {
        return self->handleMessage(message, wParam, lParam);
    } catch (...) {
        self->reportInternalError();
        return 0;
    }
}

void MainWindow::reportInternalError() noexcept {
    try {
        platform_.showMessage(formatErrorMessage(classicError(classic::internalError)));
    } catch (...) {
    }
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case DM_GETDEFID:
            // Enter presses the focused button, which is always the default one.
            return MAKELRESULT(GetDlgCtrlID(focusedButton_), DC_HASDEFID);
        case WM_SETFOCUS:
            // Activation gives the focus back to the button that last had it.
            if (focusedButton_ != nullptr) {
                SetFocus(focusedButton_);
            }
            return 0;
        case WM_CLOSE:
            if (handlingClick_) {
                return 0;
            }
            break;
        case WM_DESTROY:
            platform_.detachWindow();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            const HWND window = window_;
            window_ = nullptr;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return DefWindowProcW(window, message, wParam, lParam);
        }
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void MainWindow::onCommand(int controlId, int notification) {
    if (notification == BN_SETFOCUS) {
        makeDefaultButton(GetDlgItem(window_, controlId));
    } else if (notification == BN_CLICKED) {
        deliverClick(controlId);
    }
}

void MainWindow::deliverClick(int controlId) {
    // After the exit sequence no event reaches the form; while a handler
    // runs (a message box is up) a click is not taken.
    if (platform_.programEnded() || handlingClick_) {
        return;
    }
    // Cleared however the handler ends, an exception included.
    handlingClick_ = true;
    const auto clickEnded = scopeExit([this] { handlingClick_ = false; });
    if (controlId == removeButton.controlId) {
        form_.btnRemoveClick();
    } else if (controlId == exitButton.controlId) {
        form_.btnExitClick();
    }
}

void MainWindow::makeDefaultButton(HWND button) {
    if (button == nullptr) {
        return;
    }
    focusedButton_ = button;
    for (const HWND candidate : {removeButton_, exitButton_}) {
        const WPARAM type = candidate == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        SendMessageW(candidate, BM_SETSTYLE, type, TRUE);
    }
}

}  // namespace stravik::win32
