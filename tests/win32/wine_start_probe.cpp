// Where Linux put the heap of the Wine process running this program, and
// whether the process's addresses were randomized: read from /proc through
// Wine's Z: drive. Wine's server opens files for its processes, so
// /proc/self would be the server's: the process is looked for instead.
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

// The first word of a /proc command line, the path of the program.
std::string Program(const std::string& commandLine) {
    return commandLine.substr(0, commandLine.find('\0'));
}

// The /proc folder of the Linux process running this program; empty unless
// exactly one process matches: the first word of its command line (the path
// Wine was given) names this program, and it has the tag VLT_START_PROBE of
// ours, if any (the test sets one; tools/wine/start_failures.sh does not).
std::string OwnProcFolder() {
    char self[MAX_PATH];
    std::string name(self, ::GetModuleFileNameA(nullptr, self, MAX_PATH));
    name = name.substr(name.find_last_of("\\/") + 1);
    char tag[64];
    const DWORD tagLength = ::GetEnvironmentVariableA("VLT_START_PROBE", tag, sizeof tag);
    const std::string tagEntry = tagLength > 0 && tagLength < sizeof tag
                                     ? "VLT_START_PROBE=" + std::string(tag) + '\0'
                                     : std::string();
    WIN32_FIND_DATAA entry;
    const HANDLE search = ::FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::string found;
    int matches = 0;
    do {
        const std::string folder = std::string("Z:\\proc\\") + entry.cFileName;
        if (std::isdigit(static_cast<unsigned char>(entry.cFileName[0])) != 0 &&
            Program(ReadAll((folder + "\\cmdline").c_str())).ends_with(name) &&
            (tagEntry.empty() ||
             ReadAll((folder + "\\environ").c_str()).find(tagEntry) != std::string::npos)) {
            found = folder;
            ++matches;
        }
    } while (::FindNextFileA(search, &entry));
    ::FindClose(search);
    return matches == 1 ? found : std::string();
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
