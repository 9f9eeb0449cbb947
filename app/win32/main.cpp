// veltrimax.exe: the window that encrypts and decrypts one file with a primary key.

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/win32/form1_window.h"
#include "platform/win32/system_text.h"

namespace {

// The arguments after the program's own name, as Explorer passes them ("%1").
std::vector<std::string> Arguments() {
    int count = 0;
    wchar_t** given = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; given != nullptr && i < count; ++i) {
        arguments.push_back(vlt::win32::Utf8FromWide(given[i]));
    }
    LocalFree(given);
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    vlt::Form1Window form(instance);
    form.CommandLine(Arguments());
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
