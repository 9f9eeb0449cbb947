// The durable work of `vlt encrypt` over many files, without the cipher: for
// each file, read it, write 3N + 4 bytes to a temporary file beside it, flush,
// and rename the temporary file to FILE.floor. What no encryption into .vlt
// files can beat while keeping every output on disk before it replaces another.
//   vlt_durable_floor MODE FILE...
// MODE says how the outputs reach the disk:
//   none     no flush at all (what tools that do not flush pay)
//   file     fsync each file, rename it, fsync its folder, one file after another
//   serial   write every temporary file, fsync them one by one, rename them all,
//            fsync the folder once
//   threads  the same, with the fsyncs issued from several threads at once so
//            that they share the file system's journal commits
//   syncfs   the same, with one syncfs for the whole batch
// Not a test; bench/small_files.sh runs it.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "vlt_durable_floor: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

struct Pending {
    int fd;
    std::string temporary, target;
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 || ::fsync(fd) != 0) {
        Die(folder);
    }
    ::close(fd);
}

// Reads `path` and writes its 3N + 4 bytes to a fresh temporary file beside it.
Pending WriteTemporary(const std::string& path, std::vector<char>& buffer) {
    const int in = ::open(path.c_str(), O_RDONLY);
    if (in < 0) {
        Die(path);
    }
    std::size_t size = 0;
    for (ssize_t n; (n = ::read(in, buffer.data() + size, buffer.size() - size)) != 0; size += n) {
        if (n < 0) {
            Die(path);
        }
        if (size + n == buffer.size()) {
            buffer.resize(2 * buffer.size());
        }
    }
    ::close(in);
    std::string name = FolderOf(path) + ".floor-XXXXXX";
    const int out = ::mkstemp(name.data());
    if (out < 0) {
        Die(name);
    }
    for (int copy = 0; copy < 3; ++copy) {
        if (::write(out, buffer.data(), size) != static_cast<ssize_t>(size)) {
            Die(name);
        }
    }
    if (::write(out, "\0\0\0\0", 4) != 4) {
        Die(name);
    }
    return {out, name, path + ".floor"};
}

void Publish(const Pending& file) {
    if (::close(file.fd) != 0 || ::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
        Die(file.target);
    }
}

void FsyncEach(const std::vector<Pending>& files, std::size_t first, std::size_t step) {
    for (std::size_t i = first; i < files.size(); i += step) {
        if (::fsync(files[i].fd) != 0) {
            Die(files[i].temporary);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: vlt_durable_floor none|file|serial|threads|syncfs FILE...\n");
        return 2;
    }
    const std::string_view mode = argv[1];
    std::vector<char> buffer(1 << 20);
    std::vector<Pending> batch;
    for (int i = 2; i < argc; ++i) {
        Pending file = WriteTemporary(argv[i], buffer);
        if (mode == "file") {
            if (::fsync(file.fd) != 0) {
                Die(file.temporary);
            }
            Publish(file);
            SyncFolder(FolderOf(file.target));
        } else if (mode == "none") {
            Publish(file);
        } else {
            batch.push_back(std::move(file));
        }
    }
    if (batch.empty()) {
        return 0;
    }
    if (mode == "serial") {
        FsyncEach(batch, 0, 1);
    } else if (mode == "threads") {
        constexpr std::size_t kThreads = 16;
        std::vector<std::jthread> threads;
        for (std::size_t t = 0; t < kThreads; ++t) {
            threads.emplace_back([&batch, t] { FsyncEach(batch, t, kThreads); });
        }
    } else if (mode == "syncfs") {
        if (::syncfs(batch.front().fd) != 0) {
            Die("syncfs");
        }
    } else {
        std::fprintf(stderr, "vlt_durable_floor: unknown mode '%s'\n", argv[1]);
        return 2;
    }
    for (const Pending& file : batch) {
        Publish(file);
    }
    SyncFolder(FolderOf(batch.front().target));
    return 0;
}
