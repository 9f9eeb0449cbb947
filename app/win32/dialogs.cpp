#include "app/win32/dialogs.h"

#include <commdlg.h>

#include <filesystem>
#include <vector>

#include "app/form/messages.h"
#include "platform/win32/system_text.h"

namespace vlt {

std::wstring OpenFilter(const std::string& filter) {
    // Windows shows an empty "Files of type" list without a filter.
    std::wstring wide =
        win32::WideFromUtf8(filter.empty() ? std::string(kEveryFileFilter) : filter);
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
                                   const std::string& fileName, const std::string& folder) {
    const std::wstring filterText = OpenFilter(filter);
    // Long paths fit: the dialog writes at most nMaxFile units, its NUL included.
    std::vector<wchar_t> name(32768, L'\0');
    // The last file's name alone: a path in the box would take the dialog to its folder.
    const std::wstring initial =
        std::filesystem::path(win32::WideFromUtf8(fileName)).filename().wstring();
    initial.copy(name.data(), std::min(initial.size(), name.size() - 1));
    const std::wstring startFolder = win32::WideFromUtf8(folder);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filterText.c_str();
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    // Given a folder, Windows does not start where its memory of the program says, and
    // asked to, it adds the file to no recent list and leaves the current folder alone.
    dialog.lpstrInitialDir = startFolder.empty() ? nullptr : startFolder.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                   OFN_DONTADDTORECENT | OFN_NOCHANGEDIR;
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
