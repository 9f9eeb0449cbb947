#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace vlt::testing_support {
namespace {

[[noreturn]] void ChildFails(const char* what) {
    const std::string text =
        std::string("cannot start: ") + what + ": " + std::strerror(errno) + "\n";
    (void)!write(STDERR_FILENO, text.data(), text.size());
    _exit(127);
}

void Redirect(const std::string& path, int flags, int target) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0 || dup2(fd, target) < 0) {
        ChildFails(path.c_str());
    }
    close(fd);
}

int ShellStatus(int status) {
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// Where each thread of a program that did not end is waiting, read before
// it is killed: a hang seen once on a loaded machine can then be understood.
std::string WhereStuck(pid_t pid) {
    std::string report;
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream wchan(task.path() / "wchan"), stack(task.path() / "stack");
        std::string waitsIn, frames((std::istreambuf_iterator<char>(stack)), {});
        std::getline(wchan, waitsIn);
        report += "; thread " + task.path().filename().string() + " waits in " +
                  (waitsIn.empty() ? "?" : waitsIn) + (frames.empty() ? "" : ":\n" + frames);
    }
    return report;
}

}  // namespace

ChildProcess::ChildProcess(const Launch& launch) : terminal_(launch.terminal) {
    std::vector<char*> argv;
    for (const std::string& word : launch.argv) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> environment;
    for (const std::string& entry : launch.environment) {
        environment.push_back(const_cast<char*>(entry.c_str()));
    }
    environment.push_back(nullptr);

    int slave = -1;
    if (terminal_.used && openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (pid_ == 0) {
        // A session of its own: without a terminal of ours, /dev/tty cannot be
        // opened, just as in a cron job or on CI.
        setsid();
        if (terminal_.used) {
            close(master_);
            ioctl(slave, TIOCSCTTY, 0);
        }
        Redirect(launch.stdinPath, O_RDONLY, STDIN_FILENO);
        Redirect(launch.stdoutPath, O_WRONLY | O_CREAT | O_TRUNC, STDOUT_FILENO);
        Redirect(launch.stderrPath, O_WRONLY | O_CREAT | O_TRUNC, STDERR_FILENO);
        if (terminal_.used) {
            if (terminal_.stdinOnIt)
                dup2(slave, STDIN_FILENO);
            if (terminal_.stdoutOnIt)
                dup2(slave, STDOUT_FILENO);
            if (terminal_.stderrOnIt)
                dup2(slave, STDERR_FILENO);
            close(slave);
        }
        if (chdir(launch.folder.c_str()) != 0) {
            ChildFails(launch.folder.c_str());
        }
        environ = environment.data();
        execvp(argv[0], argv.data());
        ChildFails(argv[0]);
    }
    if (slave >= 0) {
        close(slave);
    }
}

ChildProcess::ChildProcess(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe");
    }
    pid_ = fork();
    if (pid_ < 0) {
        const int error = errno;
        close(fds[0]);
        close(fds[1]);
        throw std::system_error(error, std::generic_category(), "fork");
    }
    if (pid_ == 0) {
        close(fds[0]);
        // Whatever happens, the child ends here and never runs on into the test runner.
        std::string report;
        try {
            report = body();
        } catch (const std::exception& error) {
            report = std::string("exception: ") + error.what();
        }
        for (std::size_t done = 0; done < report.size();) {
            const ssize_t n = write(fds[1], report.data() + done, report.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    report_ = fds[0];
}

ChildProcess::~ChildProcess() {
    if (!done_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (const int fd : {master_, report_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void ChildProcess::Signal(int signal) const {
    kill(pid_, signal);
}

Finished ChildProcess::Wait(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    Finished finished;
    std::size_t answered = 0;    // typed lines sent so far
    std::size_t promptFrom = 0;  // terminal output after the last answer
    int status = 0;
    for (;;) {
        if (master_ >= 0) {
            pollfd wanted{master_, POLLIN, 0};
            if (poll(&wanted, 1, 10) > 0) {
                char buffer[4096];
                const ssize_t n = read(master_, buffer, sizeof buffer);
                if (n > 0) {
                    finished.terminalOutput.append(buffer, static_cast<std::size_t>(n));
                }
            }
            const std::string_view recent =
                std::string_view(finished.terminalOutput).substr(promptFrom);
            if (answered < terminal_.typed.size() && recent.ends_with(": ")) {
                const std::string line = terminal_.typed[answered++] + "\n";
                (void)!write(master_, line.data(), line.size());
                promptFrom = finished.terminalOutput.size();
            }
        } else {
            usleep(10'000);
        }
        const pid_t ended = waitpid(pid_, &status, WNOHANG);
        if (ended == pid_) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            const std::string stuck = WhereStuck(pid_);
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            done_ = true;
            throw std::runtime_error("did not end within " + std::to_string(limit.count()) +
                                     " s and was killed" + stuck);
        }
    }
    done_ = true;
    if (master_ >= 0) {
        // What the program wrote last is still in the terminal's buffer.
        char buffer[4096];
        pollfd wanted{master_, POLLIN, 0};
        while (poll(&wanted, 1, 0) > 0) {
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            finished.terminalOutput.append(buffer, static_cast<std::size_t>(n));
        }
    }
    finished.status = ShellStatus(status);
    return finished;
}

std::string ChildProcess::WaitForReport() {
    std::string report;
    char buffer[4096];
    for (ssize_t n; report_ >= 0 && (n = read(report_, buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<std::size_t>(n));
    }
    waitpid(pid_, nullptr, 0);
    done_ = true;
    return report;
}

}  // namespace vlt::testing_support
