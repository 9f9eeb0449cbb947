// veltrimax.exe: the window that encrypts and decrypts one file with a primary key.

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/win32/form1_window.h"
#include "app/win32/text.h"

namespace {

// The files named after the program's own name, as Explorer passes "%1".
std::vector<std::string> FilesToOpen() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> files;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        files.push_back(vlt::Utf8(arguments[i]));
    }
    LocalFree(arguments);
    return files;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    vlt::Form1Window form(instance);
    form.FilesOpened(FilesToOpen());
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
