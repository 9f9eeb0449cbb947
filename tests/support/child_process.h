#pragma once

// Processes forked by a test and owned by it: killed and reaped when dropped.
// Either a program started the way a user's shell would, with its standard
// output and error captured, optionally on a pseudo-terminal that answers its
// prompts; or a piece of a test run in a child of its own, for what must not
// touch the test process itself (a private mount, dropped privileges) or what
// is killed on purpose, its report coming back as text.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vlt::testing_support {

struct Terminal {
    bool used = false;  // give the program a controlling terminal
    bool stdinOnIt = false, stdoutOnIt = false, stderrOnIt = false;
    std::vector<std::string> typed;  // one line typed after each prompt (text ending in ": ")
};

struct Launch {
    std::vector<std::string> argv;
    std::vector<std::string> environment;  // NAME=VALUE
    std::string folder;                    // working folder
    std::string stdinPath = "/dev/null";
    std::string stdoutPath, stderrPath;  // capture files
    Terminal terminal;
};

struct Finished {
    int status = 0;  // exit status, or 128 + signal number as a shell reports it
    std::string terminalOutput;
};

class ChildProcess {
  public:
    // Starts the program `launch` names.
    explicit ChildProcess(const Launch& launch);
    // Runs `body` in the child; what it returns (or the exception it throws) is the report.
    explicit ChildProcess(const std::function<std::string()>& body);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signal) const;
    // Waits for the program's end, answering prompts meanwhile; kills it after `limit`.
    Finished Wait(std::chrono::seconds limit);
    // Waits for the body's end; returns its report (empty when it was killed).
    std::string WaitForReport();

  private:
    pid_t pid_ = -1;
    int master_ = -1;  // the pseudo-terminal
    int report_ = -1;  // the body's report
    Terminal terminal_;
    bool done_ = false;
};

}  // namespace vlt::testing_support
