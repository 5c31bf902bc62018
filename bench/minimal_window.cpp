// The start-up floor: the least a Win32 program does to show a window with
// two buttons, ready for a click. It has the main window's caption, frame,
// size and buttons, so that the test driver finds and checks it as it does
// stravik.exe, and nothing else: no resources, no font, no COM, no registry.
// Exit ends it; Remove does nothing.

#include <windows.h>

#include "platform/win32/window_layout.h"

namespace {

using namespace stravik::win32;
using stravik::windowCaption;

constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == exitButton.controlId) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createButton(HWND parent, const ButtonLayout& layout, int dpiX, int dpiY, DWORD type) {
    return CreateWindowExW(
        0, L"BUTTON", layout.caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | type,
        twipsToPixels(layout.leftTwips, dpiX), twipsToPixels(layout.topTwips, dpiY),
        twipsToPixels(layout.widthTwips, dpiX), twipsToPixels(layout.heightTwips, dpiY), parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.controlId)), nullptr, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"MinimalWindow";
    RegisterClassW(&windowClass);

    const HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT frame{0, 0, twipsToPixels(clientWidthTwips, dpiX), twipsToPixels(clientHeightTwips, dpiY)};
    AdjustWindowRectEx(&frame, windowStyle, FALSE, 0);
    const HWND window = CreateWindowExW(
        0, windowClass.lpszClassName, windowCaption, windowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    const HWND remove = createButton(window, removeButton, dpiX, dpiY, BS_DEFPUSHBUTTON);
    createButton(window, exitButton, dpiX, dpiY, BS_PUSHBUTTON);
    ShowWindow(window, showCommand);
    SetFocus(remove);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
