#pragma once

// Runs a piece of a test in a child process: for what must not touch the test
// process itself (a private mount, dropped privileges) or what is killed on
// purpose. The child's report comes back as text.

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace vlt::testing_support {

class Child {
  public:
    // Starts `body` in a forked child; what it returns is the report.
    explicit Child(const std::function<std::string()>& body) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string report = body();
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

    bool started() const { return pid_ > 0; }
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
        killedBy_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        return report;
    }
    int killedBy() const { return killedBy_; }

  private:
    pid_t pid_ = -1;
    int readFd_ = -1;
    bool waited_ = false;
    int killedBy_ = 0;
};

}  // namespace vlt::testing_support
