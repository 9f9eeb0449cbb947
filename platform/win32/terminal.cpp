#include "platform/terminal.h"

#include <windows.h>

#include <utility>

#include "platform/win32/stalling_io.h"
#include "platform/win32/system_text.h"

namespace vlt {

namespace {

DWORD StandardHandle(StandardStream stream) {
    switch (stream) {
        case StandardStream::Input:
            return STD_INPUT_HANDLE;
        case StandardStream::Output:
            return STD_OUTPUT_HANDLE;
        case StandardStream::Error:
            break;
    }
    return STD_ERROR_HANDLE;
}

HANDLE OpenConsole(const wchar_t* name) {
    return ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
}

// In UTF-16, whatever the console's code page.
void WriteAll(HANDLE console, std::wstring_view text) {
    while (!text.empty()) {
        DWORD n = 0;
        if (!::WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) ||
            n == 0) {
            return;
        }
        text.remove_prefix(n);
    }
}

// Echo stays off while this lives; lines are still edited and Ctrl-C still
// reaches the handler (processed input), which ends the read.
class EchoOff {
  public:
    explicit EchoOff(HANDLE input) : input_(input) {
        if (!::GetConsoleMode(input_, &saved_)) {
            throw TerminalError(win32::Reason(::GetLastError()));
        }
        ::SetConsoleMode(
            input_, (saved_ | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
    }
    ~EchoOff() { ::SetConsoleMode(input_, saved_); }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    HANDLE input_;
    DWORD saved_ = 0;
};

}  // namespace

bool IsTerminal(StandardStream stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(StandardHandle(stream)), &mode) != FALSE;
}

std::optional<int> TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
        return std::nullopt;
    }
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? std::optional<int>(columns) : std::nullopt;
}

bool TerminalTakesEscapes() {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(error, &mode)) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE;
}

// The console the process is attached to, by the names that reach it
// whatever the standard handles are.
struct SecretPrompt::System {
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
};

std::optional<SecretPrompt> SecretPrompt::Open() {
    const HANDLE input = OpenConsole(L"CONIN$");
    const HANDLE output = OpenConsole(L"CONOUT$");
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE ||
        !::GetConsoleMode(input, &mode)) {
        for (HANDLE handle : {input, output}) {
            if (handle != INVALID_HANDLE_VALUE) {
                ::CloseHandle(handle);
            }
        }
        return std::nullopt;
    }
    return SecretPrompt(new System{input, output});
}

void SecretPrompt::Close::operator()(System* system) const noexcept {
    ::CloseHandle(system->input);
    ::CloseHandle(system->output);
    delete system;
}

std::string SecretPrompt::Ask(std::string_view prompt, const CancelSignal& cancel) {
    EchoOff echoOff(system_->input);
    WriteAll(system_->output, win32::WideFromUtf8(prompt));
    std::wstring line;
    for (;;) {
        // Until something is typed; the read then waits for the line's end,
        // which Ctrl-C also ends.
        win32::WaitWithCancel(system_->input, &cancel, INFINITE);
        wchar_t typed[256];
        DWORD n = 0;
        const bool ok = ::ReadConsoleW(system_->input, typed, 256, &n, nullptr) != FALSE;
        const DWORD error = ok ? 0 : ::GetLastError();
        // Checked after the read too: Ctrl-C may arrive together with the line that ends it.
        cancel.ThrowIfRequested();
        if (!ok) {
            throw TerminalError(win32::Reason(error));
        }
        line.append(typed, n);
        // Ctrl-Z is the console's end of input, as Ctrl-D is a terminal's.
        const std::size_t end = line.find_first_of(L"\n\x1a");
        if (n == 0 || end != std::wstring::npos) {
            line.resize(std::min(end, line.size()));
            if (!line.empty() && line.back() == L'\r') {
                line.pop_back();
            }
            WriteAll(system_->output, L"\r\n");  // the Enter that echo left out
            return win32::Utf8FromWide(line);
        }
    }
}

}  // namespace vlt
