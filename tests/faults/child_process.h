#pragma once

// Runs a piece of a test in a child process: for what must not touch the test
// process itself (a private mount, dropped privileges) or what is killed on
// purpose. The child's report comes back as text.

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <functional>
#include <string>
#include <system_error>

namespace vlt::testing_support {

class Child {
  public:
    // Starts `body` in a forked child; what it returns is the report.
    explicit Child(const std::function<std::string()>& body) {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::system_error(errno, std::generic_category(), "pipe");
        }
        pid_ = ::fork();
        if (pid_ < 0) {
            const int error = errno;
            ::close(fds[0]);
            ::close(fds[1]);
            throw std::system_error(error, std::generic_category(), "fork");
        }
        if (pid_ == 0) {
            ::close(fds[0]);
            // Whatever happens, the child ends here and never runs on into the test runner.
            std::string report;
            try {
                report = body();
            } catch (const std::exception& error) {
                report = std::string("exception: ") + error.what();
            }
            for (std::size_t done = 0; done < report.size();) {
                const ssize_t n = ::write(fds[1], report.data() + done, report.size() - done);
                if (n <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(n);
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        readFd_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (readFd_ >= 0) {
            ::close(readFd_);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void Kill(int signal) const { ::kill(pid_, signal); }

    // Waits for the child; returns its report (empty when it was killed).
    std::string Wait() {
        std::string report;
        char buffer[4096];
        for (ssize_t n; readFd_ >= 0 && (n = ::read(readFd_, buffer, sizeof buffer)) > 0;) {
            report.append(buffer, static_cast<std::size_t>(n));
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        waited_ = true;
        return report;
    }

  private:
    pid_t pid_ = -1;
    int readFd_ = -1;
    bool waited_ = false;
};

}  // namespace vlt::testing_support
