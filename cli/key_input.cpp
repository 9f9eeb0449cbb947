#include "cli/key_input.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/command_line.h"
#include "platform/utf8.h"

namespace vlt::cli {
namespace {

// A key file larger than this is surely the wrong file (and /dev/zero never ends).
constexpr std::size_t kMaxKeyFileBytes = 1 << 20;

std::string SystemReason() {
    return std::strerror(errno);
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Echo stays off while this lives; the newline is still echoed so the cursor moves on.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0) {
            throw KeyError("cannot ask for the primary key: the terminal refuses: " +
                           SystemReason());
        }
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd_, TCSAFLUSH, &quiet);
    }
    ~EchoOff() { tcsetattr(fd_, TCSAFLUSH, &saved_); }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    int fd_;
    termios saved_{};
};

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string ReadLine(int fd, std::string_view prompt, const CancelSignal& cancel) {
    EchoOff echoOff(fd);
    WriteAll(fd, prompt);
    std::string line;
    char c = 0;
    for (;;) {
        WaitReady(fd, POLLIN, &cancel);
        const ssize_t n = read(fd, &c, 1);
        // Checked after the read too: Ctrl-C may arrive together with the line that ends it.
        cancel.ThrowIfRequested();
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw KeyError("cannot read the primary key from the terminal: " + SystemReason());
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

}  // namespace

std::string KeyFromFileContent(std::string content) {
    if (content.ends_with("\r\n")) {
        content.resize(content.size() - 2);
    } else if (content.ends_with('\n')) {
        content.pop_back();
    }
    if (content.empty()) {
        throw KeyError(std::string(kEmptyKeyMessage) + " (the key file is empty)");
    }
    if (!IsValidUtf8(content)) {
        throw KeyError("the key file is not valid UTF-8; save the key as UTF-8 text");
    }
    return content;
}

std::string ReadKeyFile(const std::string& path, const CancelSignal& cancel) {
    const bool standardInput = path == kStandardStream;
    const std::string name = standardInput ? "standard input" : path;
    // Non-blocking: a named pipe then waits for its writer in the poll, where Ctrl-C reaches it.
    Descriptor owned(standardInput ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const int fd = standardInput ? STDIN_FILENO : owned.get();
    if (fd < 0) {
        throw KeyError(name + ": cannot open the key file: " + SystemReason());
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        WaitReady(fd, POLLIN, &cancel);
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n < 0) {
            throw KeyError(name + ": cannot read the key file: " + SystemReason());
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
        if (content.size() > kMaxKeyFileBytes) {
            throw KeyError(name + ": the key file is larger than 1 MiB; is it the right file?");
        }
    }
    try {
        return KeyFromFileContent(std::move(content));
    } catch (const KeyError& e) {
        throw KeyError(name + ": " + e.what());
    }
}

std::string AskKey(bool twice, const CancelSignal& cancel) {
    Descriptor terminal(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (terminal.get() < 0) {
        throw KeyError("no terminal to ask for the primary key on; use --key-file FILE");
    }
    std::string key = ReadLine(terminal.get(), "Primary key: ", cancel);
    if (key.empty()) {
        throw KeyError(kEmptyKeyMessage);
    }
    if (!IsValidUtf8(key)) {
        throw KeyError("the key typed is not valid UTF-8; set the terminal to UTF-8");
    }
    if (twice && ReadLine(terminal.get(), "Primary key again: ", cancel) != key) {
        throw KeyError("the two keys typed differ; nothing was done");
    }
    return key;
}

}  // namespace vlt::cli
