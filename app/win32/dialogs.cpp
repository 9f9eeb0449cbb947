#include "app/win32/dialogs.h"

#include <commdlg.h>

#include <vector>

#include "app/form/messages.h"
#include "platform/win32/system_text.h"

namespace vlt {

std::wstring OpenFilter(const std::string& filter) {
    std::wstring wide = win32::WideFromUtf8(filter);
    if (wide.empty()) {
        return wide;
    }
    for (wchar_t& each : wide) {
        if (each == L'|') {
            each = L'\0';
        }
    }
    // A filter without its closing "|" still ends its last part.
    if (wide.back() != L'\0') {
        wide.push_back(L'\0');
    }
    wide.push_back(L'\0');
    return wide;
}

std::optional<std::string> AskOpen(HWND owner, const std::string& filter,
                                   const std::string& fileName) {
    const std::wstring filterText = OpenFilter(filter);
    // Long paths fit: the dialog writes at most nMaxFile units, its NUL included.
    std::vector<wchar_t> name(32768, L'\0');
    const std::wstring initial = win32::WideFromUtf8(fileName);
    initial.copy(name.data(), std::min(initial.size(), name.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filterText.empty() ? nullptr : filterText.c_str();
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog)) {
        return std::nullopt;
    }
    return win32::Utf8FromWide(name.data());
}

int ShowMessage(HWND owner, const std::string& text, UINT type) {
    return MessageBoxW(owner, win32::WideFromUtf8(text).c_str(),
                       win32::WideFromUtf8(kMessageTitle).c_str(), type);
}

}  // namespace vlt
