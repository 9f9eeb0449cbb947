// veltrimax.exe: the window that encrypts and decrypts one file with a primary key.

#include <windows.h>

#include "app/win32/form1_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    vlt::Form1Window form(instance);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab and Shift+Tab move the focus, Space clicks a focused button; Enter clicks
        // it too, there being no default button.
        if (form.ClickFocusedButton(message) || IsDialogMessageW(form.Handle(), &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
