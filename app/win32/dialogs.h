#pragma once

// The Open dialog and the message boxes of the Win32 window.

#include <windows.h>

#include <optional>
#include <string>

namespace vlt {

// The dialog's filter: "description|pattern|" pairs as Windows wants them, each part ended
// by a NUL and the whole by a second one; empty for every file.
std::wstring OpenFilter(const std::string& filter);

// GetOpenFileNameW over `owner`, opened at `fileName`: the chosen path, or nothing on cancel.
std::optional<std::string> AskOpen(HWND owner, const std::string& filter,
                                   const std::string& fileName);

// A modal message box titled "Veltrimax"; the button chosen (IDOK, IDYES, IDNO).
int ShowMessage(HWND owner, const std::string& text, UINT type);

}  // namespace vlt
