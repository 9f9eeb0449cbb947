#pragma once

// Files as the cipher engine sees them: a source of bytes and a sink that
// either replaces its output whole or leaves it untouched.
//
// Regular files are read and written straight. Anything that can keep a run
// waiting (a named pipe, a pipe, a terminal) is waited on with poll() together
// with the run's CancelSignal, so a request to stop ends the wait at once and
// the file's operation throws Cancelled. The same holds for opening a named
// pipe, which otherwise waits for the other side.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/cancellation.h"

namespace vlt {

class OutputBatch;

// A failed file operation: names the file, what was being done and the
// system's reason, e.g. "cannot open 'a.txt' for reading: No such file or directory".
class FileError : public std::runtime_error {
  public:
    FileError(const std::string& path, const std::string& action, int errnum);
    FileError(const std::string& path, const std::string& problem);
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Fills as much of `buffer` as the input allows; returns 0 only at its end.
    virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
    // The size in bytes when known in advance (regular files).
    virtual std::optional<std::uint64_t> Size() const = 0;
    virtual const std::string& Name() const = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual void Write(std::span<const std::uint8_t> data) = 0;
    // Makes what was written the output's content. A sink destroyed without
    // Commit leaves no trace where it can (no temporary file, output untouched).
    virtual void Commit() = 0;
    virtual const std::string& Name() const = 0;
};

// How reads and writes wait on a descriptor.
struct Waiting {
    bool poll = false;         // wait with poll() before each read or write
    bool nonBlocking = false;  // the descriptor never blocks (else writes go in small pieces)
    const CancelSignal* cancel = nullptr;
};

// A file opened for reading; refuses folders. Throws FileError.
class InputFile final : public ByteSource {
  public:
    explicit InputFile(const std::filesystem::path& path, const CancelSignal* cancel = nullptr);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::size_t Read(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() const override { return size_; }
    const std::string& Name() const override { return name_; }

  private:
    std::string name_;
    int fd_ = -1;
    std::optional<std::uint64_t> size_;
    Waiting waiting_;
};

// Writes a file so that it is either complete or untouched: the bytes go to a
// temporary file in the output's folder, which Commit flushes to disk and
// renames over the output; or, given a batch, hands over to be flushed and
// renamed with the batch's other outputs. A symbolic link as output is followed, so its
// target gets the new content. An existing output that is not a regular file
// (a device, a named pipe) is written directly; a named pipe is waited on
// until a reader opens it. An existing output keeps its
// permission bits; a new one gets the usual ones (0666 less the umask).
// The system writes a new file back to disk while it is being written (see
// PaceWriteback), so Commit's flush finds little left to do.
class OutputFile final : public ByteSink {
  public:
    explicit OutputFile(const std::filesystem::path& path, const CancelSignal* cancel = nullptr,
                        OutputBatch* batch = nullptr);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::span<const std::uint8_t> data) override;
    void Commit() override;
    const std::string& Name() const override { return name_; }

    // Marks the temporary files this class leaves behind only when the process
    // is killed mid-run: ".<output name>.vlt-partial-XXXXXX".
    static constexpr const char* kTemporaryMarker = ".vlt-partial-";

  private:
    void Discard() noexcept;
    void PaceWriteback();
    void OpenDirectly(const std::filesystem::path& path, bool namedPipe);

    std::string name_;                 // as given, for messages
    std::filesystem::path target_;     // the file that receives the content
    std::filesystem::path temporary_;  // empty when writing directly
    int fd_ = -1;
    Waiting waiting_;
    OutputBatch* batch_;
    bool pacing_ = false;            // whether the file system takes writeback requests
    std::uint64_t written_ = 0;      // bytes written so far
    std::uint64_t writebackAt_ = 0;  // writeback has been started below this offset
};

// Standard input or output, or any open descriptor; not owned.
class DescriptorSource final : public ByteSource {
  public:
    DescriptorSource(int fd, std::string name, const CancelSignal* cancel = nullptr);
    std::size_t Read(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() const override { return std::nullopt; }
    const std::string& Name() const override { return name_; }

  private:
    int fd_;
    std::string name_;
    Waiting waiting_;
};

// A pipe is written through a descriptor of its own that never blocks: making
// the shared one non-blocking would surprise every other process using it.
class DescriptorSink final : public ByteSink {
  public:
    DescriptorSink(int fd, std::string name, const CancelSignal* cancel = nullptr);
    ~DescriptorSink() override;
    DescriptorSink(const DescriptorSink&) = delete;
    DescriptorSink& operator=(const DescriptorSink&) = delete;

    void Write(std::span<const std::uint8_t> data) override;
    void Commit() override {}
    const std::string& Name() const override { return name_; }
    // Bytes that reached the descriptor, even from a write that failed.
    std::uint64_t Written() const { return written_; }

  private:
    int fd_;
    int own_ = -1;  // the pipe reopened non-blocking, when that worked
    std::string name_;
    Waiting waiting_;
    std::uint64_t written_ = 0;
};

}  // namespace vlt
