#pragma once

// Starting a program the way a user's shell would, with its standard output and
// error captured, optionally on a pseudo-terminal that answers its prompts.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace scenario {

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
    explicit ChildProcess(const Launch& launch);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signal) const;
    // Waits for the end, answering prompts meanwhile; kills the program after `limit`.
    Finished Wait(std::chrono::seconds limit);

  private:
    pid_t pid_ = -1;
    int master_ = -1;
    Terminal terminal_;
    bool done_ = false;
};

}  // namespace scenario
