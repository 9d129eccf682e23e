// SPDX-License-Identifier: Apache-2.0
// The program veskar.exe: the converter's window. It takes nothing from its command line.
// <windows.h> comes before the headers that build on it.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include <exception>

#include "app/core/window_texts.h"
#include "app/win32/ansi_text_win32.h"
#include "app/win32/control_ids_win32.h"
#include "app/win32/tveskar_win32.h"

using namespace veskar;

namespace {

LRESULT CALLBACK ApplicationProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// The application window: it owns the form, bears the application's title and is what the
// task bar shows; it has no area of its own on the screen.
HWND CreateApplicationWindow(HINSTANCE instance) {
    WNDCLASSA application{};
    application.lpfnWndProc = ApplicationProcedure;
    application.hInstance = instance;
    application.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(1));
    application.lpszClassName = test_hook::kApplicationClass;
    ::RegisterClassA(&application);
    const std::string title = AnsiText(texts::kApplicationTitle);
    return ::CreateWindowExA(0, test_hook::kApplicationClass, title.c_str(),
                             WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                             nullptr, nullptr, instance, nullptr);
}

void ShowException(const char* what) {
    const std::string title = AnsiText(texts::kApplicationTitle);
    ::MessageBoxA(nullptr, what, title.c_str(), MB_OK | MB_ICONSTOP);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The folder dialog of the Browse buttons, in its new style, needs COM in a single-threaded
    // apartment on the window's thread.
    const bool com = SUCCEEDED(::OleInitialize(nullptr));
    try {
        INITCOMMONCONTROLSEX controls{sizeof controls,
                                      ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        ::InitCommonControlsEx(&controls);
        HWND application = CreateApplicationWindow(instance);
        // Shown without size, as the task bar's entry for the form it owns.
        ::ShowWindow(application, SW_SHOWNA);
        TVESKAR form(instance, application);
        ::ShowWindow(form.Handle(), SW_SHOWNORMAL);
        ::UpdateWindow(form.Handle());
        MSG message;
        while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (form.TakePageKey(message)) continue;
            if (::IsDialogMessageA(form.Handle(), &message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        VESKAR = nullptr;
        ::DestroyWindow(application);
    } catch (const std::exception& error) {
        ShowException(error.what());
    } catch (...) {
        ShowException("");
    }
    if (com) ::OleUninitialize();
    return 0;
}
