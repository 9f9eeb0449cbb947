// Runs one scenario file against the built vlt in a fresh temporary folder.
// Usage: vlt_scenario_runner [--windows RUN PREFIX] VLT_BINARY SCENARIO_FILE
// With --windows, VLT_BINARY is vlt.exe and every "vlt" the scenario runs (also
// inside "sh -c") is "RUN PREFIX vlt.exe" (tools/wine/run.sh: Wine in that prefix).
// A line may start with a condition: "[unix]" or "[windows]" runs it only for
// that system's vlt, "[!unix]" and "[!windows]" only for the other one.
// "end REASON" ends the scenario there, passed: what follows does not apply to
// this system's vlt (a pseudo-terminal for the Windows one, say).
// Commands (a leading "!" expects failure or absence):
//   exec PROG ARGS... [&]   run; without "!" it must exit 0; "&" runs it in the background
//   wait [SECONDS] | kill [-INT|-TERM|-HUP]  the background program
//   sleep MS
//   status N                the last program's exit status
//   stdout|stderr|tty REGEX what it wrote (tty: on its terminal) matches; ^ and $ match at lines
//   stdin FILE              standard input of the next exec (else /dev/null)
//   stdoutto FILE           standard output of the next exec (else captured)
//   mkfifo NAME | hold FIFO [TEXT]  a named pipe; held open until the end with
//                           TEXT in it: a writer and a reader that both stall
//   terminal [stdin] [stdout] [stderr]  the next exec gets a pseudo-terminal
//   type TEXT               typed at the next exec's next prompt
//   env NAME=VALUE          for the following execs
//   cmp A B                 same bytes (A may be stdout)
//   exists PATTERN...       files (globs, dot files included)
//   waitfor PATTERN         until such a file appears
//   size FILE N | write FILE TEXT | hexfile FILE HEX | random FILE N
//   damage FILE OFFSET      adds 5 (mod 10) to the digit byte there
//   mkdir DIR | symlink TARGET LINK | rm PATH
//   engine-encrypt IN OUT KEY CODEPAGE  what vlt::EncryptFile makes of it

#include <fcntl.h>
#include <glob.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>
#include <utility>

#include "cipher/engine.h"
#include "tests/cli/scenario_script.h"
#include "tests/support/child_process.h"

namespace fs = std::filesystem;
using namespace scenario;
using vlt::testing_support::ChildProcess;
using vlt::testing_support::Finished;
using vlt::testing_support::Launch;
using vlt::testing_support::Terminal;

namespace {

constexpr std::chrono::seconds kTimeLimit{60};

class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The rest of the scenario does not apply here.
class EndedHere : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw Failure("cannot read " + path.string());
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw Failure("cannot write " + path.string());
    }
}

std::string Printable(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n' || (byte >= 0x20 && byte < 0x7f) || byte >= 0x80) {
            out.push_back(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        }
    }
    return out;
}

class Scenario {
  public:
    using Words = std::vector<std::string>;

    // `wine` (the runner script and its prefix) runs a Windows vlt.
    Scenario(fs::path vlt, fs::path root, const Words& wine)
        : vlt_(std::move(vlt)), root_(std::move(root)), windows_(!wine.empty()) {
        work_ = root_ / "work";
        fs::create_directory(work_);
        if (windows_) {
            vlt_ = WineWrapper(wine);
        }
        variables_["WORK"] = work_.string();
        variables_["VLT"] = vlt_.string();
        // A predictable environment: no code page or locale from the caller.
        environment_ = {{"PATH", vlt_.parent_path().string() + ":/usr/bin:/bin"},
                        {"HOME", work_.string()},
                        {"LC_ALL", "C.UTF-8"},
                        {"VLT", vlt_.string()}};
    }

    ~Scenario() {
        for (const int fd : held_) {
            close(fd);
        }
    }
    Scenario(const Scenario&) = delete;
    Scenario& operator=(const Scenario&) = delete;

    void Run(const Script& script) {
        for (const auto& [name, content] : script.files) {
            fs::create_directories((work_ / name).parent_path());
            WriteFile(work_ / name, content);
        }
        for (const Command& command : script.commands) {
            if (!Holds(command)) {
                continue;
            }
            std::cout << "> " << command.text << std::endl;
            try {
                Do(command);
            } catch (const Failure& failure) {
                throw Failure("line " + std::to_string(command.line) + ": " + failure.what());
            }
        }
        if (background_) {
            throw Failure("a background program was never waited for");
        }
    }

  private:
    // A script named vlt that runs vlt.exe under Wine, first on PATH.
    fs::path WineWrapper(const Words& wine) const {
        const fs::path wrapper = root_ / "bin" / "vlt";
        fs::create_directory(wrapper.parent_path());
        std::string line = "exec";
        for (const std::string& word : Words{wine[0], wine[1], vlt_.string()}) {
            line += " '" + word + "'";
        }
        WriteFile(wrapper, "#!/bin/sh\n" + line + " \"$@\"\n");
        fs::permissions(wrapper, fs::perms::owner_all);
        return wrapper;
    }

    bool Holds(const Command& command) const {
        if (command.condition.empty()) {
            return true;
        }
        const bool negated = command.condition.starts_with('!');
        const std::string name = command.condition.substr(negated ? 1 : 0);
        if (name != "unix" && name != "windows") {
            throw Failure("line " + std::to_string(command.line) + ": unknown condition [" +
                          command.condition + "]");
        }
        return (name == (windows_ ? "windows" : "unix")) != negated;
    }

    void Do(const Command& command) {
        Words words;
        for (const std::string& word : command.words) {
            words.push_back(Expand(word, variables_));
        }
        const std::string name = words.front();
        words.erase(words.begin());
        const bool negated = command.negated;
        if (command.background && name != "exec") {
            throw Failure("only exec runs in the background");
        }
        static const std::map<std::string, void (Scenario::*)(const Words&, bool)> kCommands = {
            {"cmp", &Scenario::Cmp},
            {"damage", &Scenario::Damage},
            {"env", &Scenario::Env},
            {"exists", &Scenario::Exists},
            {"hexfile", &Scenario::HexFile},
            {"hold", &Scenario::Hold},
            {"kill", &Scenario::Kill},
            {"mkdir", &Scenario::MakeDir},
            {"mkfifo", &Scenario::MakeFifo},
            {"random", &Scenario::Random},
            {"rm", &Scenario::Remove},
            {"size", &Scenario::Size},
            {"sleep", &Scenario::Sleep},
            {"status", &Scenario::Status},
            {"stdin", &Scenario::Stdin},
            {"stdoutto", &Scenario::StdoutTo},
            {"symlink", &Scenario::Symlink},
            {"terminal", &Scenario::UseTerminal},
            {"type", &Scenario::Type},
            {"wait", &Scenario::WaitBackground},
            {"waitfor", &Scenario::WaitFor},
            {"write", &Scenario::Write},
            {"engine-encrypt", &Scenario::EngineEncrypt},
        };
        if (name == "end") {
            throw EndedHere(words.empty() ? "" : words[0]);
        }
        if (name == "exec") {
            Exec(words, negated, command.background);
        } else if (name == "stdout" || name == "stderr" || name == "tty") {
            Match(name, words, negated);
        } else if (const auto found = kCommands.find(name); found != kCommands.end()) {
            (this->*found->second)(words, negated);
        } else {
            throw Failure("unknown command " + name);
        }
    }

    static void Need(const Words& words, std::size_t count, const char* usage) {
        if (words.size() != count) {
            throw Failure(std::string("usage: ") + usage);
        }
    }

    static void NotNegated(bool negated) {
        if (negated) {
            throw Failure("this command cannot be negated");
        }
    }

    fs::path InWork(const std::string& name) const { return work_ / name; }

    void Exec(const Words& words, bool negated, bool background) {
        if (words.empty()) {
            throw Failure("usage: exec PROG ARGS...");
        }
        if (background_) {
            throw Failure("wait for the background program first");
        }
        Launch launch;
        launch.argv = words;
        for (const auto& [key, value] : environment_) {
            launch.environment.push_back(key + "=" + value);
        }
        launch.folder = work_.string();
        launch.stdinPath = nextStdin_.value_or("/dev/null");
        launch.stdoutPath = nextStdout_.value_or((root_ / "stdout").string());
        nextStdout_.reset();
        launch.stderrPath = (root_ / "stderr").string();
        launch.terminal = std::exchange(nextTerminal_, {});
        nextStdin_.reset();
        auto child = std::make_unique<ChildProcess>(launch);
        if (background) {
            background_ = std::move(child);
            backgroundNegated_ = negated;
            return;
        }
        Ended(*child, negated);
    }

    void Ended(ChildProcess& child, bool negated, std::chrono::seconds limit = kTimeLimit) {
        Finished finished;
        try {
            finished = child.Wait(limit);
        } catch (const std::runtime_error& e) {
            throw Failure(e.what());
        }
        status_ = finished.status;
        stdout_ = ReadFile(root_ / "stdout");
        stderr_ = ReadFile(root_ / "stderr");
        tty_ = finished.terminalOutput;
        for (const auto& [label, text] : {std::pair{"stdout", &stdout_},
                                          std::pair{"stderr", &stderr_}, std::pair{"tty", &tty_}}) {
            if (!text->empty()) {
                std::cout << "[" << label << "]\n" << Printable(*text) << std::endl;
            }
        }
        std::cout << "[exit status " << status_ << "]" << std::endl;
        if (negated != (status_ != 0)) {
            throw Failure(negated ? "succeeded unexpectedly" : "failed unexpectedly");
        }
    }

    void WaitBackground(const Words& words, bool negated) {
        if (words.size() > 1) {
            throw Failure("usage: wait [SECONDS]");
        }
        NotNegated(negated);
        if (!background_) {
            throw Failure("no background program");
        }
        const auto child = std::move(background_);
        Ended(*child, backgroundNegated_,
              words.empty() ? kTimeLimit : std::chrono::seconds(std::stoi(words[0])));
    }

    void Kill(const Words& words, bool negated) {
        NotNegated(negated);
        if (!background_) {
            throw Failure("no background program");
        }
        const std::string which = words.empty() ? "-INT" : words.front();
        const std::map<std::string, int> signals = {
            {"-INT", SIGINT}, {"-TERM", SIGTERM}, {"-HUP", SIGHUP}};
        if (words.size() > 1 || !signals.contains(which)) {
            throw Failure("usage: kill [-INT|-TERM|-HUP]");
        }
        background_->Signal(signals.at(which));
    }

    void Status(const Words& words, bool negated) {
        Need(words, 1, "status N");
        if ((std::to_string(status_) == words[0]) == negated) {
            throw Failure("exit status is " + std::to_string(status_));
        }
    }

    void Match(const std::string& stream, const Words& words, bool negated) {
        Need(words, 1, "stdout|stderr|tty REGEX");
        const std::string& text = stream == "stdout"   ? stdout_
                                  : stream == "stderr" ? stderr_
                                                       : tty_;
        const bool found = std::regex_search(
            text, std::regex(words[0], std::regex::ECMAScript | std::regex::multiline));
        if (found == negated) {
            throw Failure(stream + (negated ? " matches " : " does not match ") + words[0]);
        }
    }

    void Stdin(const Words& words, bool negated) {
        Need(words, 1, "stdin FILE");
        NotNegated(negated);
        nextStdin_ = InWork(words[0]).string();
    }

    void StdoutTo(const Words& words, bool negated) {
        Need(words, 1, "stdoutto FILE");
        NotNegated(negated);
        nextStdout_ = InWork(words[0]).string();
    }

    void Sleep(const Words& words, bool negated) {
        Need(words, 1, "sleep MS");
        NotNegated(negated);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(words[0])));
    }

    void MakeFifo(const Words& words, bool negated) {
        Need(words, 1, "mkfifo NAME");
        NotNegated(negated);
        if (mkfifo(InWork(words[0]).c_str(), 0644) != 0) {
            throw Failure("cannot make the named pipe " + words[0]);
        }
    }

    // Open for reading and writing, the pipe never makes its other side wait
    // for an open, and never delivers an end.
    void Hold(const Words& words, bool negated) {
        if (words.empty() || words.size() > 2) {
            throw Failure("usage: hold FIFO [TEXT]");
        }
        NotNegated(negated);
        const int fd = open(InWork(words[0]).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            throw Failure("cannot open " + words[0]);
        }
        held_.push_back(fd);
        const std::string text = words.size() == 2 ? Unescape(words[1]) : "";
        if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            throw Failure("cannot write into " + words[0]);
        }
    }

    void UseTerminal(const Words& words, bool negated) {
        NotNegated(negated);
        nextTerminal_.used = true;
        for (const std::string& stream : words) {
            if (stream == "stdin") {
                nextTerminal_.stdinOnIt = true;
            } else if (stream == "stdout") {
                nextTerminal_.stdoutOnIt = true;
            } else if (stream == "stderr") {
                nextTerminal_.stderrOnIt = true;
            } else {
                throw Failure("usage: terminal [stdin] [stdout] [stderr]");
            }
        }
    }

    void Type(const Words& words, bool negated) {
        Need(words, 1, "type TEXT");
        NotNegated(negated);
        nextTerminal_.typed.push_back(Unescape(words[0]));
    }

    void Env(const Words& words, bool negated) {
        Need(words, 1, "env NAME=VALUE");
        NotNegated(negated);
        const auto equals = words[0].find('=');
        if (equals == std::string::npos) {
            throw Failure("usage: env NAME=VALUE");
        }
        environment_[words[0].substr(0, equals)] = words[0].substr(equals + 1);
    }

    std::string Content(const std::string& name) const {
        if (name == "stdout") {
            return stdout_;
        }
        if (name == "stderr") {
            return stderr_;
        }
        return ReadFile(InWork(name));
    }

    void Cmp(const Words& words, bool negated) {
        Need(words, 2, "cmp A B");
        if ((Content(words[0]) == Content(words[1])) == negated) {
            throw Failure(words[0] + (negated ? " equals " : " differs from ") + words[1]);
        }
    }

    std::vector<std::string> Glob(const std::string& pattern) const {
        glob_t found{};
        std::vector<std::string> names;
        if (glob(InWork(pattern).c_str(), GLOB_PERIOD, nullptr, &found) == 0) {
            for (std::size_t i = 0; i < found.gl_pathc; ++i) {
                const std::string name = fs::path(found.gl_pathv[i]).filename();
                if (name != "." && name != "..") {
                    names.emplace_back(found.gl_pathv[i]);
                }
            }
        }
        globfree(&found);
        return names;
    }

    void Exists(const Words& words, bool negated) {
        if (words.empty()) {
            throw Failure("usage: exists PATTERN...");
        }
        for (const std::string& pattern : words) {
            const auto names = Glob(pattern);
            if (names.empty() != negated) {
                throw Failure(negated ? names.front() + " exists" : pattern + " does not exist");
            }
        }
    }

    void WaitFor(const Words& words, bool negated) {
        Need(words, 1, "waitfor PATTERN");
        NotNegated(negated);
        const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
        while (Glob(words[0]).empty()) {
            if (std::chrono::steady_clock::now() > deadline) {
                throw Failure(words[0] + " did not appear");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    void Size(const Words& words, bool negated) {
        Need(words, 2, "size FILE N");
        NotNegated(negated);
        const auto size = fs::file_size(InWork(words[0]));
        if (std::to_string(size) != words[1]) {
            throw Failure(words[0] + " has " + std::to_string(size) + " bytes");
        }
    }

    void Write(const Words& words, bool negated) {
        Need(words, 2, "write FILE TEXT");
        NotNegated(negated);
        WriteFile(InWork(words[0]), Unescape(words[1]));
    }

    void HexFile(const Words& words, bool negated) {
        Need(words, 2, "hexfile FILE HEX");
        NotNegated(negated);
        std::string bytes;
        for (std::size_t i = 0; i + 1 < words[1].size(); i += 2) {
            bytes.push_back(static_cast<char>(std::stoi(words[1].substr(i, 2), nullptr, 16)));
        }
        if (words[1].size() % 2 != 0) {
            throw Failure("odd number of hex digits");
        }
        WriteFile(InWork(words[0]), bytes);
    }

    // Every byte value, in an order that repeats only after long stretches.
    void Random(const Words& words, bool negated) {
        Need(words, 2, "random FILE N");
        NotNegated(negated);
        std::string bytes(std::stoull(words[1]), '\0');
        std::uint64_t state = 0x9E3779B97F4A7C15u;
        for (char& byte : bytes) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            byte = static_cast<char>(state >> 56);
        }
        WriteFile(InWork(words[0]), bytes);
    }

    // A hundreds digit so changed decrypts to 500 or more: a sure "above 255".
    void Damage(const Words& words, bool negated) {
        Need(words, 2, "damage FILE OFFSET");
        NotNegated(negated);
        std::string bytes = ReadFile(InWork(words[0]));
        const std::size_t offset = std::stoull(words[1]);
        if (offset >= bytes.size()) {
            throw Failure(words[0] + " is shorter than that");
        }
        bytes[offset] = static_cast<char>((bytes[offset] + 5) % 10);
        WriteFile(InWork(words[0]), bytes);
    }

    void MakeDir(const Words& words, bool negated) {
        Need(words, 1, "mkdir DIR");
        NotNegated(negated);
        fs::create_directories(InWork(words[0]));
    }

    void Symlink(const Words& words, bool negated) {
        Need(words, 2, "symlink TARGET LINK");
        NotNegated(negated);
        fs::create_symlink(words[0], InWork(words[1]));
    }

    void Remove(const Words& words, bool negated) {
        Need(words, 1, "rm PATH");
        NotNegated(negated);
        fs::remove_all(InWork(words[0]));
    }

    void EngineEncrypt(const Words& words, bool negated) {
        Need(words, 4, "engine-encrypt IN OUT KEY CODEPAGE");
        NotNegated(negated);
        const vlt::PrimaryKey key{Unescape(words[2]), std::stoi(words[3])};
        const vlt::RunResult result = vlt::EncryptFile(InWork(words[0]), {InWork(words[1])}, key);
        if (result.status != vlt::RunStatus::Finished) {
            throw Failure("the engine failed: " + result.message);
        }
    }

    fs::path vlt_;
    fs::path root_;
    bool windows_;
    fs::path work_;
    std::map<std::string, std::string> variables_;
    std::map<std::string, std::string> environment_;
    std::optional<std::string> nextStdin_, nextStdout_;
    std::vector<int> held_;  // named pipes held open until the end
    Terminal nextTerminal_;
    std::unique_ptr<ChildProcess> background_;
    bool backgroundNegated_ = false;
    int status_ = 0;
    std::string stdout_, stderr_, tty_;
};

fs::path MakeRoot() {
    std::string pattern = (fs::temp_directory_path() / "vlt-scenario-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    return pattern;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> wine;
    if (argc == 6 && argv[1] == std::string("--windows")) {
        wine = {fs::absolute(argv[2]).string(), fs::absolute(argv[3]).string()};
        argv += 3;
        argc -= 3;
    }
    if (argc != 3) {
        std::cerr << "usage: vlt_scenario_runner [--windows RUN PREFIX] VLT_BINARY SCENARIO_FILE\n";
        return 2;
    }
    const fs::path vlt = fs::absolute(argv[1]);
    const fs::path file = argv[2];
    if (!fs::is_regular_file(vlt)) {
        std::cout << "FAIL: " << file.filename().string() << ": no program " << vlt << std::endl;
        return 1;
    }
    fs::path root;
    try {
        const Script script = ParseScript(ReadFile(file));
        root = MakeRoot();
        Scenario(vlt, root, wine).Run(script);
    } catch (const EndedHere& ended) {
        fs::remove_all(root);
        std::cout << "PASS: " << file.filename().string() << " (ends early here: " << ended.what()
                  << ")" << std::endl;
        return 0;
    } catch (const std::exception& e) {
        std::cout << "FAIL: " << file.filename().string() << ": " << e.what() << "\n"
                  << "(files kept in " << (root.empty() ? "-" : (root / "work").string()) << ")"
                  << std::endl;
        return 1;
    }
    fs::remove_all(root);
    std::cout << "PASS: " << file.filename().string() << std::endl;
    return 0;
}
