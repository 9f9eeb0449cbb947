#include "tests/cli/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

namespace scenario {
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

ChildProcess::~ChildProcess() {
    if (!done_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) {
        close(master_);
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
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            done_ = true;
            throw std::runtime_error("did not end within " + std::to_string(limit.count()) +
                                     " s and was killed");
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

}  // namespace scenario
