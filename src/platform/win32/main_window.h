#pragma once

#include "platform/win32/handles.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/window_layout.h"
#include "platform/win32/windows_headers.h"
#include "shell/removal_form.h"

namespace stravik::win32 {

// The top-level window that carries RemovalForm: it creates the form,
// delivers its load, click and terminate events and runs the message loop.
class MainWindow {
public:
    MainWindow(HINSTANCE instance, Win32Platform& platform);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // The program's whole life; returns its exit status.
    int run(int showCommand);

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Shows "Error # 51: Internal error." for an exception that reached the
    // window procedure.
    void reportInternalError() noexcept;

    bool create();
    HWND createButton(const ButtonLayout& layout, int dpiX, int dpiY, DWORD style);
    void onCommand(int controlId, int notification);
    void deliverClick(int controlId);
    void makeDefaultButton(HWND button);

    HINSTANCE instance_;
    Win32Platform& platform_;
    RemovalForm form_;
    HWND window_ = nullptr;
    HWND removeButton_ = nullptr;
    HWND exitButton_ = nullptr;
    HWND focusedButton_ = nullptr;
    UniqueFont font_;
    // A click handler is running; its message boxes must not let a second
    // click in.
    bool handlingClick_ = false;
};

}  // namespace stravik::win32
