#include "platform/file_access.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/utf8.h"
#include "platform/win32/long_path.h"
#include "platform/win32/open_file.h"
#include "platform/win32/stalling_io.h"
#include "platform/win32/system_text.h"

namespace vlt {

namespace fs = std::filesystem;
using win32::LongPath;
using win32::Reason;
using win32::StallingIo;

namespace win32 {

namespace {

// The name without trailing colons ("CON:"), in capitals.
std::wstring DeviceStem(const fs::path& path) {
    std::wstring name = path.filename().native();
    while (!name.empty() && name.back() == L':') {
        name.pop_back();
    }
    std::transform(name.begin(), name.end(), name.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return name;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

bool IsConsoleName(const fs::path& path) {
    const std::wstring stem = DeviceStem(path);
    return stem == L"CON" || stem == L"CONIN$" || stem == L"CONOUT$";
}

bool IsDeviceName(const fs::path& path) {
    if (StartsWith(path.native(), L"\\\\.\\")) {
        return true;
    }
    const std::wstring stem = DeviceStem(path);
    if (IsConsoleName(path) || stem == L"NUL" || stem == L"PRN" || stem == L"AUX") {
        return true;
    }
    return stem.size() == 4 && (StartsWith(stem, L"COM") || StartsWith(stem, L"LPT")) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

std::wstring LongPath(const fs::path& path) {
    const std::wstring& name = path.native();
    if (name.empty() || StartsWith(name, L"\\\\?\\") || IsDeviceName(path)) {
        return name;
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error) {
        return name;
    }
    const std::wstring full = absolute.lexically_normal().make_preferred().native();
    if (StartsWith(full, L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

}  // namespace win32

namespace {

bool NotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A handle that only looks: no access asked, so no sharing conflicts with
// whoever has the file open; folders too, links followed.
HANDLE OpenToLook(const std::wstring& name) {
    return ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The attributes of what is at `path`, the link itself for a link; none when
// nothing is. Only "no such file" means absent: any other failure to look is
// an error, never taken for absence.
std::optional<DWORD> LookUp(const fs::path& path, const std::string& name) {
    const DWORD attributes = ::GetFileAttributesW(LongPath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return attributes;
    }
    const DWORD error = ::GetLastError();
    if (NotFound(error)) {
        return std::nullopt;
    }
    throw FileError(name, "cannot tell whether it exists", Reason(error));
}

// The name the system has for an open file, "\\?\" taken off again where the
// name does not need it, since it shows in messages.
std::optional<fs::path> FinalName(HANDLE handle) {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(length);
    }
    if (name.size() - 4 < MAX_PATH && name.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        return fs::path(L"\\\\" + name.substr(8));
    }
    if (name.size() - 4 < MAX_PATH && name.rfind(L"\\\\?\\", 0) == 0) {
        return fs::path(name.substr(4));
    }
    return fs::path(name);
}

// Pipes and consoles may keep a run waiting: they are read and written by a
// thread of their own. Files on disk never do, nor devices such as NUL, which
// would pay a hand-over between threads for every piece for nothing.
std::unique_ptr<StallingIo> LaneFor(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const DWORD type = ::GetFileType(handle);
    DWORD mode = 0;
    if (type == FILE_TYPE_DISK || (type == FILE_TYPE_CHAR && !::GetConsoleMode(handle, &mode))) {
        return nullptr;
    }
    return std::make_unique<StallingIo>(handle);
}

// ReadFile and WriteFile take at most 4 GiB - 1 at a time.
constexpr std::size_t kMostAtOnce = 1u << 30;

std::size_t ReadFully(HANDLE handle, StallingIo* lane, std::span<std::uint8_t> buffer,
                      const std::string& name, const CancelSignal* cancel) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        const std::span<std::uint8_t> rest = buffer.subspan(got);
        DWORD n = 0;
        DWORD error = 0;
        const bool ok = lane != nullptr
                            ? lane->Read(rest, n, error, cancel)
                            : ::ReadFile(handle, rest.data(),
                                         static_cast<DWORD>(std::min(rest.size(), kMostAtOnce)), &n,
                                         nullptr) != FALSE;
        if (!ok) {
            error = lane != nullptr ? error : ::GetLastError();
            // The writer of a pipe has closed it: that is its end.
            if (error == ERROR_BROKEN_PIPE) {
                break;
            }
            if (cancel != nullptr) {
                cancel->ThrowIfRequested();  // a read the system called off for the request
            }
            throw FileError(name, "cannot read", Reason(error));
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

// Adds what is written to `written`, which so counts even the part of a
// failed or cancelled write that reached the file.
void WriteFully(HANDLE handle, StallingIo* lane, std::span<const std::uint8_t> data,
                const std::string& name, const CancelSignal* cancel, std::uint64_t& written) {
    while (!data.empty()) {
        DWORD n = 0;
        DWORD error = 0;
        const bool ok = lane != nullptr
                            ? lane->Write(data, n, error, cancel)
                            : ::WriteFile(handle, data.data(),
                                          static_cast<DWORD>(std::min(data.size(), kMostAtOnce)),
                                          &n, nullptr) != FALSE;
        if (!ok && lane == nullptr) {
            error = ::GetLastError();
        }
        data = data.subspan(n);
        written += n;
        if (!ok || n == 0) {
            if (cancel != nullptr) {
                cancel->ThrowIfRequested();
            }
            throw FileError(name, "cannot write", Reason(ok ? ERROR_WRITE_FAULT : error));
        }
    }
}

// A named pipe whose instances are all taken is tried again every few
// milliseconds, between which a request to stop ends the wait.
template <typename Open>
HANDLE OpenWaitingForPipe(Open open, const CancelSignal* cancel) {
    constexpr int kRetryMs = 10;
    for (;;) {
        const HANDLE handle = open();
        if (handle != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_PIPE_BUSY) {
            return handle;
        }
        if (cancel != nullptr) {
            cancel->Pause(std::chrono::milliseconds(kRetryMs));
        } else {
            ::Sleep(kRetryMs);
        }
    }
}

// A handle with what its calls need: the lane a read or write that may stall
// runs on, and the signal that stops the wait.
struct WaitableHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::unique_ptr<StallingIo> lane;
    const CancelSignal* cancel = nullptr;
};

// For the files a run opens itself: the lane ends before the handle closes.
void CloseOwned(WaitableHandle& file) noexcept {
    file.lane.reset();
    if (file.handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file.handle);
    }
}

}  // namespace

struct InputFile::System : WaitableHandle {};

void InputFile::Close::operator()(System* system) const noexcept {
    CloseOwned(*system);
    delete system;
}

void InputFile::Open(const fs::path& path, const CancelSignal* cancel) {
    system_.reset(new System);
    system_->cancel = cancel;
    const std::wstring wide = LongPath(path);
    // Others may go on writing, renaming and removing the file meanwhile, as
    // they may on POSIX systems; a change of its size is seen at its end.
    const HANDLE handle = system_->handle = OpenWaitingForPipe(
        [&] {
            return ::CreateFileW(wide.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        },
        cancel);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A folder cannot be opened as a file: access to it is "denied".
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            throw FileError(name_, "is a folder, not a file");
        }
        throw FileError(name_, "cannot open for reading", Reason(error));
    }
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        system_->lane = LaneFor(handle);
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw FileError(name_, "is a folder, not a file");
    }
    // Some files list 0 bytes and hold more (as in /proc under Wine): a size
    // of 0 tells nothing. There are no permission bits to pass on: the
    // output gets the folder's permissions, as every new file does here.
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size)) {
        throw FileError(name_, "cannot read", Reason(::GetLastError()));
    }
    if (size.QuadPart > 0) {
        size_ = static_cast<std::uint64_t>(size.QuadPart);
    }
}

std::size_t InputFile::ReadSome(std::span<std::uint8_t> buffer) {
    return ReadFully(system_->handle, system_->lane.get(), buffer, name_, system_->cancel);
}

struct OutputFile::System : WaitableHandle {};

void OutputFile::Close::operator()(System* system) const noexcept {
    CloseOwned(*system);
    delete system;
}

void OutputFile::OpenDirectly(const fs::path& path, const CancelSignal* cancel) {
    system_.reset(new System);
    system_->cancel = cancel;
    system_->handle = OpenWaitingForPipe(
        [&] {
            return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        },
        cancel);
    if (system_->handle == INVALID_HANDLE_VALUE) {
        throw FileError(name_, "cannot open for writing", Reason(::GetLastError()));
    }
    system_->lane = LaneFor(system_->handle);
}

// The new file gets the folder's permissions (its inherited ACL), as any
// file made here does: `permissions` has no counterpart, nor has an owner
// to keep. Others may read it and remove it (as on POSIX systems), not write it.
OutputFile::Creation OutputFile::CreateExclusive(const fs::path& temporary, std::uint32_t, bool) {
    const HANDLE handle = ::CreateFileW(LongPath(temporary).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        const bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
        return {taken, taken ? std::string() : Reason(error)};
    }
    system_.reset(new System{{handle, nullptr, nullptr}});
    return {};
}

// Nothing paces the writing back here: Windows' cache manager starts writing
// a file's dirty pages back within a second or so on its own, so the flush
// finds little left to do.
void OutputFile::Write(std::span<const std::uint8_t> data) {
    WriteFully(system_->handle, system_->lane.get(), data, name_, system_->cancel, written_);
}

// The write lane ends first: the batch flushes the handle on this thread.
OwnedFile OutputFile::TakeFile() noexcept {
    system_->lane.reset();
    return win32::Own(std::exchange(system_->handle, INVALID_HANDLE_VALUE));
}

// The standard streams' handles are the process's: used, never closed.
struct StandardInput::System : WaitableHandle {};

StandardInput::StandardInput(const CancelSignal* cancel) : system_(std::make_unique<System>()) {
    system_->handle = ::GetStdHandle(STD_INPUT_HANDLE);
    system_->lane = LaneFor(system_->handle);
    system_->cancel = cancel;
}

StandardInput::~StandardInput() = default;

// Straight from the handle: the C runtime's text mode would drop \r and stop at Ctrl-Z.
std::size_t StandardInput::Read(std::span<std::uint8_t> buffer) {
    return ReadFully(system_->handle, system_->lane.get(), buffer, name_, system_->cancel);
}

struct StandardOutput::System : WaitableHandle {};

StandardOutput::StandardOutput(const CancelSignal* cancel) : system_(std::make_unique<System>()) {
    system_->handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
    system_->lane = LaneFor(system_->handle);
    system_->cancel = cancel;
}

StandardOutput::~StandardOutput() = default;

void StandardOutput::Write(std::span<const std::uint8_t> data) {
    WriteFully(system_->handle, system_->lane.get(), data, name_, system_->cancel, written_);
}

namespace {

// Standard input's file read from its start through the shared handle, each
// read at its own offset: the handle has no name to open again by under Wine
// (a file the shell opened), and a name may be gone by now. The handle's
// position is put back after each read, so the run that follows, and the
// process that handed the file over, find it where it was.
class StandardInputAgain final : public ByteSource {
  public:
    explicit StandardInputAgain(HANDLE handle) : handle_(handle) {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(handle_, &size)) {
            throw FileError(name_, "cannot read", Reason(::GetLastError()));
        }
        if (size.QuadPart > 0) {
            size_ = static_cast<std::uint64_t>(size.QuadPart);
        }
    }

    std::size_t Read(std::span<std::uint8_t> buffer) override {
        LARGE_INTEGER position{};
        if (!::SetFilePointerEx(handle_, LARGE_INTEGER{}, &position, FILE_CURRENT)) {
            throw FileError(name_, "cannot read", Reason(::GetLastError()));
        }
        std::size_t got = 0;
        DWORD error = 0;
        while (got < buffer.size() && error == 0) {
            OVERLAPPED at{};
            const std::uint64_t offset = read_ + got;
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD n = 0;
            const DWORD most = static_cast<DWORD>(std::min(buffer.size() - got, kMostAtOnce));
            if (!::ReadFile(handle_, buffer.data() + got, most, &n, &at)) {
                error = ::GetLastError();
            } else if (n == 0) {
                break;
            }
            got += n;
        }
        ::SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN);
        if (error != 0 && error != ERROR_HANDLE_EOF) {
            throw FileError(name_, "cannot read", Reason(error));
        }
        file_system::CountRead(read_, got, buffer.size(), size_, name_);
        return got;
    }
    std::optional<std::uint64_t> Size() const override { return size_; }
    const std::string& Name() const override { return name_; }

  private:
    HANDLE handle_;
    std::string name_ = "standard input";
    std::optional<std::uint64_t> size_;
    std::uint64_t read_ = 0;
};

}  // namespace

std::unique_ptr<ByteSource> ReopenStandardInput(const CancelSignal*) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE ||
        ::GetFileType(input) != FILE_TYPE_DISK) {
        return nullptr;
    }
    return std::make_unique<StandardInputAgain>(input);
}

namespace file_system {

// The system resolves every link of a name at once: the name it gives the
// file opened through them. A link that leads nowhere is written through its
// own name (the system follows no link that leads nowhere).
std::optional<fs::path> LinkTarget(const fs::path& path) {
    const std::optional<DWORD> attributes = LookUp(path, Utf8Of(path));
    if (!attributes || (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return std::nullopt;
    }
    const HANDLE handle = OpenToLook(LongPath(path));
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::optional<fs::path> final = FinalName(handle);
    ::CloseHandle(handle);
    if (final && *final == path) {
        return std::nullopt;  // a reparse point that is no link (a placeholder, a dedup file)
    }
    return final;
}

std::string NameTakenReason() {
    return Reason(ERROR_FILE_EXISTS);
}

}  // namespace file_system

FileKind KindOf(const fs::path& path) {
    const std::string name = Utf8Of(path);
    if (win32::IsDeviceName(path)) {
        if (!win32::IsConsoleName(path)) {
            return FileKind::Other;  // NUL, a port, a named pipe (looking would take its instance)
        }
        const HANDLE handle =
            ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD mode = 0;
        const bool console = handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
        return console ? FileKind::Terminal : FileKind::Other;
    }
    std::optional<DWORD> attributes = LookUp(path, name);
    if (!attributes) {
        return FileKind::Absent;
    }
    if ((*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        const HANDLE handle = OpenToLook(LongPath(path));
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (NotFound(error)) {
                return FileKind::Regular;  // a dangling link
            }
            throw FileError(name, "cannot tell whether it exists", Reason(error));
        }
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = ::GetFileInformationByHandle(handle, &info);
        ::CloseHandle(handle);
        if (known) {
            attributes = info.dwFileAttributes;
        }
    }
    return (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder : FileKind::Regular;
}

std::optional<NameEntry> LookAtName(const fs::path& path) {
    if (win32::IsDeviceName(path)) {
        return std::nullopt;
    }
    const HANDLE handle = ::CreateFileW(
        LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(handle, &info);
    ::CloseHandle(handle);
    if (!known) {
        return std::nullopt;
    }
    return NameEntry{(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                     {info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow}};
}

std::optional<FileId> IdentifyFile(const fs::path& path) {
    if (win32::IsDeviceName(path)) {
        return std::nullopt;
    }
    const HANDLE handle = OpenToLook(LongPath(path));
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(handle, &info);
    ::CloseHandle(handle);
    if (!known) {
        return std::nullopt;
    }
    return FileId{info.dwVolumeSerialNumber,
                  (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// Asked of the folder's own handle, for the name length alone: asking for the
// volume's label and serial too (GetVolumeInformationW) makes Wine complain
// on standard error about volumes it cannot read them from.
std::size_t file_system::LongestName(const fs::path& folder) {
    constexpr DWORD kUsual = 255;
    const HANDLE handle = OpenToLook(LongPath(folder.empty() ? fs::path(L".") : folder));
    if (handle == INVALID_HANDLE_VALUE) {
        return kUsual;
    }
    DWORD longest = 0;
    const bool known =
        ::GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, &longest, nullptr, nullptr, 0);
    ::CloseHandle(handle);
    return known && longest > 0 ? longest : kUsual;
}

}  // namespace vlt
