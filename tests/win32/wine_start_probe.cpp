// Where Linux put the heap of the Wine process running this program, and
// whether the process's addresses were randomized: read from /proc through
// Wine's Z: drive. Wine's server opens files for its processes, so
// /proc/self would be the server: the process is found by its command line,
// which names this program (one probe at a time).
// Started many times by tools/wine/start_failures.sh, and once by the test
// wine.start_layout (see DEVELOPERS.md, "Windows").
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string ReadAll(const char* path) {
    std::string text;
    if (FILE* file = std::fopen(path, "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
            text.append(buffer, n);
        }
        std::fclose(file);
    }
    return text;
}

// The /proc folder of the Linux process running this program; empty if none.
std::string OwnProcFolder() {
    char self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string name(self, length);
    name = name.substr(name.find_last_of("\\/") + 1);
    WIN32_FIND_DATAA entry;
    const HANDLE search = ::FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string found;
    do {
        const std::string folder = std::string("Z:\\proc\\") + entry.cFileName;
        if (std::isdigit(static_cast<unsigned char>(entry.cFileName[0])) != 0 &&
            ReadAll((folder + "\\cmdline").c_str()).find(name) != std::string::npos) {
            found = folder;
        }
    } while (found.empty() && ::FindNextFileA(search, &entry));
    ::FindClose(search);
    return found;
}

// Linux's ADDR_NO_RANDOMIZE, as `setarch -R` sets it.
constexpr unsigned long kNoRandomization = 0x0040000;

}  // namespace

int main() {
    const std::string folder = OwnProcFolder();
    const std::string personality =
        folder.empty() ? std::string() : ReadAll((folder + "\\personality").c_str());
    const char* randomization = "unknown";
    if (!personality.empty()) {
        const unsigned long flags = std::strtoul(personality.c_str(), nullptr, 16);
        randomization = (flags & kNoRandomization) != 0 ? "off" : "on";
    }
    std::printf("address randomization: %s\n", randomization);

    const std::string maps = folder.empty() ? std::string() : ReadAll((folder + "\\maps").c_str());
    const std::size_t heap = maps.find("[heap]");
    if (heap != std::string::npos) {
        const std::size_t line = maps.rfind('\n', heap);
        const std::size_t start = line == std::string::npos ? 0 : line + 1;
        std::printf("heap: %s\n", maps.substr(start, maps.find(' ', start) - start).c_str());
    }
    return 0;
}
