// How long a run takes to stop once asked, while its input or output stalls:
// the engine from CancelSignal::Request to its return, and vlt from SIGINT to
// its exit. Not a test; run it by hand:
//   build/release/bench/vlt_stop_latency [RUNS]
// Prints one Markdown table of the median and the slowest stop in ms.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cipher/engine.h"
#include "platform/cancellation.h"
#include "platform/file_access.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Opened for reading and writing, a named pipe is a writer that stalls to
// whoever reads it and a reader that stalls to whoever writes it.
class HeldFifo {
  public:
    explicit HeldFifo(const fs::path& path) {
        ::mkfifo(path.c_str(), 0600);
        fd_ = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        [[maybe_unused]] const ssize_t ignored = ::write(fd_, "some bytes", 10);
    }
    ~HeldFifo() { ::close(fd_); }

  private:
    int fd_ = -1;
};

bool TemporaryExists(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(vlt::kTemporaryMarker) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void AwaitTemporary(const fs::path& folder) {
    while (!TemporaryExists(folder)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // into the wait
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The engine encrypting `input` into `output` in `folder`; ms from the request to the return.
double EngineStop(const fs::path& folder, const fs::path& input, const fs::path& output) {
    vlt::CancelSignal cancel;
    std::thread run([&] {
        vlt::EncryptFile(input, {output}, {"key", 1252}, {.progress = {}, .cancel = &cancel});
    });
    AwaitTemporary(folder);
    const auto asked = Clock::now();
    cancel.Request();
    run.join();
    return Ms(Clock::now() - asked);
}

// vlt encrypting the named pipe `input`; ms from SIGINT to the exit.
double VltStop(const fs::path& folder, const fs::path& input) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDERR_FILENO);  // its "interrupted" line, once per run
        const std::string key = (folder / "key").string(), out = (folder / "out.vlt").string();
        ::execl(VLT_BINARY, "vlt", "encrypt", "-q", "--key-file", key.c_str(), "-o", out.c_str(),
                input.c_str(), nullptr);
        ::_exit(127);
    }
    AwaitTemporary(folder);
    const auto asked = Clock::now();
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    return Ms(Clock::now() - asked);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const vlt::testing_support::TempFolder temp(fs::temp_directory_path(), "vlt-stop-");
    const fs::path& folder = temp.path();
    std::ofstream(folder / "key") << "key";
    const fs::path fifo = folder / "fifo", zeros = folder / "zeros";
    fs::create_symlink("/dev/zero", zeros);

    const std::vector<std::pair<const char*, std::function<double()>>> cases = {
        {"engine, named pipe whose writer stalls",
         [&] {
             const HeldFifo writer(fifo);
             return EngineStop(folder, fifo, folder / "out.vlt");
         }},
        {"engine, named pipe with no writer",
         [&] {
             ::mkfifo(fifo.c_str(), 0600);
             return EngineStop(folder, fifo, folder / "out.vlt");
         }},
        {"engine, endless input (/dev/zero) flowing",
         [&] { return EngineStop(folder, zeros, folder / "out.vlt"); }},
        {"vlt, named pipe whose writer stalls, SIGINT",
         [&] {
             const HeldFifo writer(fifo);
             return VltStop(folder, fifo);
         }},
    };
    std::printf("| stop of | median ms | slowest ms |\n|---|---:|---:|\n");
    for (const auto& [name, once] : cases) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            times.push_back(once());
            fs::remove(fifo);
        }
        std::sort(times.begin(), times.end());
        std::printf("| %s | %.2f | %.2f |\n", name, times[times.size() / 2], times.back());
    }
    return 0;
}
