#pragma once

// The Open dialog and the message boxes of the Win32 window.

#include <windows.h>

#include <optional>
#include <string>

namespace vlt {

// What the dialog lists without a filter of the window's.
inline constexpr const char* kEveryFileFilter = "All files (*.*)|*.*|";

// The dialog's filter: "description|pattern|" pairs as Windows wants them, each part ended
// by a NUL and the whole by a second one; an empty one is kEveryFileFilter.
std::wstring OpenFilter(const std::string& filter);

// GetOpenFileNameW over `owner`, started in `folder` with the name of `fileName` in its box:
// the chosen path, or nothing on cancel.
std::optional<std::string> AskOpen(HWND owner, const std::string& filter,
                                   const std::string& fileName, const std::string& folder);

// A modal message box titled "Veltrimax"; the button chosen (IDOK, IDYES, IDNO).
int ShowMessage(HWND owner, const std::string& text, UINT type);

}  // namespace vlt
