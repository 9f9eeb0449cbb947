#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/stalling_io.h"
#include "platform/posix/system_text.h"

namespace vlt {

namespace {

int Descriptor(StandardStream stream) {
    switch (stream) {
        case StandardStream::Input:
            return STDIN_FILENO;
        case StandardStream::Output:
            return STDOUT_FILENO;
        case StandardStream::Error:
            break;
    }
    return STDERR_FILENO;
}

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Echo stays off while this lives; the newline is still echoed so the cursor moves on.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (::tcgetattr(fd_, &saved_) != 0) {
            throw TerminalError(posix::Reason(errno));
        }
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd_, TCSAFLUSH, &quiet);
    }
    ~EchoOff() { ::tcsetattr(fd_, TCSAFLUSH, &saved_); }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    int fd_;
    termios saved_{};
};

}  // namespace

bool IsTerminal(StandardStream stream) {
    return ::isatty(Descriptor(stream)) == 1;
}

std::optional<int> TerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return std::nullopt;
}

bool TerminalTakesEscapes() {
    return true;
}

struct SecretPrompt::System {
    int fd = -1;  // the controlling terminal, /dev/tty
};

std::optional<SecretPrompt> SecretPrompt::Open() {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    return SecretPrompt(new System{fd});
}

void SecretPrompt::Close::operator()(System* system) const noexcept {
    ::close(system->fd);
    delete system;
}

std::string SecretPrompt::Ask(std::string_view prompt, const CancelSignal& cancel) {
    const int fd = system_->fd;
    EchoOff echoOff(fd);
    WriteAll(fd, prompt);
    std::string line;
    char c = 0;
    for (;;) {
        posix::WaitReady(fd, POLLIN, &cancel);
        const ssize_t n = ::read(fd, &c, 1);
        // Checked after the read too: Ctrl-C may arrive together with the line that ends it.
        cancel.ThrowIfRequested();
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw TerminalError(posix::Reason(errno));
        }
        if (n == 0) {
            WriteAll(fd, "\n");  // end of input (Ctrl-D) echoes no newline
            return line;
        }
        if (c == '\n') {
            return line;
        }
        line.push_back(c);
    }
}

}  // namespace vlt
