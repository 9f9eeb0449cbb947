#include "platform/output_system.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/side_by_side.h"
#include "platform/utf8.h"
#include "platform/win32/long_path.h"
#include "platform/win32/open_file.h"
#include "platform/win32/system_text.h"

namespace vlt {

namespace fs = std::filesystem;

namespace {

// Handles are not scarce on Windows (some sixteen million per process); the
// bound only keeps a batch's memory and open files reasonable.
constexpr std::size_t kMostOpenOutputs = 512;

// "" once the content is on disk, else the reason. Only disk files are
// flushed: a pipe's flush would wait until its reader has read everything,
// and devices such as NUL take none.
std::string Flush(const PendingOutput& output) {
    const HANDLE handle = output.file->handle;
    if (::GetFileType(handle) != FILE_TYPE_DISK || ::FlushFileBuffers(handle)) {
        return {};
    }
    const DWORD error = ::GetLastError();
    return output.temporary.empty() && error == ERROR_INVALID_FUNCTION ? std::string()
                                                                       : win32::Reason(error);
}

}  // namespace

namespace output_system {

std::string RemoveFile(const fs::path& file) noexcept {
    if (::DeleteFileW(win32::LongPath(file).c_str())) {
        return {};
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return {};
    }
    return win32::Reason(error);
}

// Windows has no flush of a whole volume short of administrator rights: every
// output gets its own FlushFileBuffers, issued side by side.
std::vector<std::string> FlushAll(const std::vector<PendingOutput>& outputs) {
    std::vector<std::string> errors(outputs.size());
    SideBySide(outputs.size(), [&](std::size_t i) { errors[i] = Flush(outputs[i]); });
    return errors;
}

std::string CloseFile(OpenFile* file) noexcept {
    const HANDLE handle = file->handle;
    delete file;
    return handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle)
               ? std::string()
               : win32::Reason(::GetLastError());
}

namespace {

// Renames the file open as `handle` to `to`, never over a file there.
bool RenameOpen(HANDLE handle, const fs::path& to) {
    const std::wstring name = win32::LongPath(to);
    std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    info->FileName[name.size()] = L'\0';
    return ::SetFileInformationByHandle(handle, FileRenameInfo, info,
                                        static_cast<DWORD>(buffer.size())) != FALSE;
}

// Whether the old file will go once its last handle closes; one that stays
// keeps its temporary name, which says that it is safe to delete.
bool MarkForDeletion(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                        sizeof disposition) != FALSE;
}

// Windows may refuse to rename over a file that is open, even one opened
// with leave to delete it (Wine always does), as the run's own input is when
// the output is the input; or over a read-only one. POSIX systems replace
// both. So the old file steps aside to a temporary name, the new one moves
// in, and the old one goes when the last handle on it closes; each step is
// undone when the next one fails, so the old file is never lost. An old file
// that cannot be marked for deletion, or moved back, is named.
Placing ReplaceAside(const PendingOutput& output, const std::wstring& target) {
    const HANDLE old = ::CreateFileW(
        target.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    FILE_BASIC_INFO was{};
    if (old == INVALID_HANDLE_VALUE ||
        !::GetFileInformationByHandleEx(old, FileBasicInfo, &was, sizeof was)) {
        const DWORD error = ::GetLastError();
        if (old != INVALID_HANDLE_VALUE) {
            ::CloseHandle(old);
        }
        return {Placed::Failed, win32::Reason(error)};
    }
    DWORD error = ERROR_ALREADY_EXISTS;
    bool aside = false;
    fs::path asideName;
    for (int attempt = 0; attempt < 100 && !aside && error == ERROR_ALREADY_EXISTS; ++attempt) {
        asideName = TemporaryBeside(output.target);
        aside = RenameOpen(old, asideName);
        error = aside ? 0 : ::GetLastError();
    }
    const std::string left = "the old file stays as '" + Utf8Of(asideName) + "'";
    if (aside) {
        FILE_BASIC_INFO writable{};  // times of 0 stay as they are
        writable.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        ::SetFileInformationByHandle(old, FileBasicInfo, &writable, sizeof writable);
        if (::MoveFileExW(win32::LongPath(output.temporary).c_str(), target.c_str(),
                          MOVEFILE_WRITE_THROUGH | MOVEFILE_REPLACE_EXISTING)) {
            // Only now that the new file is in place: a kill before this
            // leaves the old one under its temporary name, never deleted.
            const bool marked = MarkForDeletion(old);
            const DWORD why = marked ? 0 : ::GetLastError();
            ::CloseHandle(old);
            return {Placed::Done, marked ? std::string() : left + ": " + win32::Reason(why)};
        }
        error = ::GetLastError();
        ::SetFileInformationByHandle(old, FileBasicInfo, &was, sizeof was);
        if (!RenameOpen(old, output.target)) {
            const DWORD undo = ::GetLastError();
            ::CloseHandle(old);
            return {Placed::Failed,
                    win32::Reason(error) + "; " + left + ": " + win32::Reason(undo)};
        }
    }
    ::CloseHandle(old);
    return {Placed::Failed, win32::Reason(error)};
}

}  // namespace

// One rename that either replaces or refuses a file in the way, the check
// and the rename in one step. Written through: it returns once the rename is
// on disk.
Placing PutInPlace(const PendingOutput& output) {
    const std::wstring target = win32::LongPath(output.target);
    const DWORD flags =
        MOVEFILE_WRITE_THROUGH | (output.mayReplace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(win32::LongPath(output.temporary).c_str(), target.c_str(), flags)) {
        return {};
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return {Placed::Exists, {}};
    }
    if (error == ERROR_ACCESS_DENIED && output.mayReplace) {
        return ReplaceAside(output, target);
    }
    return {Placed::Failed, win32::Reason(error)};
}

// Nothing to do: NTFS journals the rename, and MOVEFILE_WRITE_THROUGH has
// already waited for it to reach the disk.
std::string FlushFolder(const fs::path&) {
    return {};
}

std::size_t MostOpenOutputs() {
    return kMostOpenOutputs;
}

}  // namespace output_system
}  // namespace vlt
