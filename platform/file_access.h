#pragma once

// Files as the cipher engine sees them: a source of bytes and a sink that
// either replaces its output whole or leaves it untouched.
//
// Regular files are read and written straight. Anything that can keep a run
// waiting (a named pipe, a pipe, a terminal) is waited on together with the
// run's CancelSignal, so a request to stop ends the wait at once and the
// file's operation throws Cancelled. The same holds for opening a named pipe,
// which otherwise waits for the other side. Each system implements this
// header in platform/<system>/file_access.cpp; names are UTF-8 (utf8.h).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/cancellation.h"
#include "platform/output_system.h"

namespace vlt {

// A failed file operation: names the file, what was being done and the
// system's reason, e.g. "a.txt: cannot open for reading: No such file or directory".
class FileError : public std::runtime_error {
  public:
    FileError(const std::string& path, const std::string& action, const std::string& reason);
    FileError(const std::string& path, const std::string& problem);

    // A file is at the output's name and was not to be replaced: "a.vlt: already exists".
    static FileError Exists(const std::string& path);
    bool AlreadyExists() const { return exists_; }
    // Appends "; <note>" to the message.
    void AddNote(const std::string& note);
    // What went wrong without the name: "cannot read" or "is a folder, not a file".
    const std::string& Problem() const { return problem_; }
    // The system's reason, when it gave one: "Permission denied".
    const std::string& Reason() const { return reason_; }

  private:
    std::string problem_;
    std::string reason_;
    bool exists_ = false;
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Fills as much of `buffer` as the input allows; returns 0 only at its end.
    virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
    // The size in bytes when known in advance (regular files).
    virtual std::optional<std::uint64_t> Size() const = 0;
    // The read and write permission bits, for regular files: an output made
    // from the input gets no more than these.
    virtual std::optional<std::uint32_t> Permissions() const { return std::nullopt; }
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

// A file opened for reading; refuses folders. Throws FileError. A regular
// file that is shorter or longer at its end than it was when opened has
// changed while it was read: the read that finds its end throws.
class InputFile final : public ByteSource {
  public:
    // `name` is for messages; the path's own by default.
    explicit InputFile(const std::filesystem::path& path, const CancelSignal* cancel = nullptr,
                       std::string name = {});
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::size_t Read(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() const override { return size_; }
    std::optional<std::uint32_t> Permissions() const override { return permissions_; }
    const std::string& Name() const override { return name_; }

  private:
    struct System;  // the open file and how to wait on it
    struct Close {
        void operator()(System* system) const noexcept;
    };
    // Each system's own: opens the file, refusing a folder, and sets size_
    // and permissions_ for a regular file.
    void Open(const std::filesystem::path& path, const CancelSignal* cancel);
    // Each system's own: reads as much of `buffer` as the file gives, 0 only at its end.
    std::size_t ReadSome(std::span<std::uint8_t> buffer);

    std::string name_;
    std::unique_ptr<System, Close> system_;
    std::optional<std::uint64_t> size_;
    std::optional<std::uint32_t> permissions_;
    std::uint64_t read_ = 0;
};

// How an output is to be written.
struct OutputSettings {
    const CancelSignal* cancel = nullptr;
    // Whether a file at the output's name may be replaced. Without it the
    // rename itself refuses one, even one that appeared after the run began.
    bool mayReplace = false;
    // The new file's permission bits, less the umask.
    std::uint32_t permissions = 0666;
};

// Writes a file so that it is either complete or untouched: the bytes go to a
// temporary file in the output's folder, which TakeWritten hands over to be
// flushed and renamed over the output (OutputSink and OutputBatch in
// output_batch.h). A symbolic link as output is followed, so its target gets
// the new content. A name that leads to something other than a regular file
// (a device, a named pipe, /dev/stdout) is written directly; a named pipe is
// waited on until a reader opens it. The temporary file is created with the
// settings' permission bits, which the system reduces by the umask. The
// system writes a new file back to disk while it is being written, so the
// flush finds little left to do.
class OutputFile final {
  public:
    explicit OutputFile(const std::filesystem::path& path, const OutputSettings& settings = {});
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::span<const std::uint8_t> data);
    const std::string& Name() const { return name_; }
    // The file that receives the content, links followed; empty when written directly.
    const std::filesystem::path& Target() const { return target_; }
    // Whether a file was at the target's name when the output was begun.
    bool Replacing() const { return replacing_; }

    // Hands over the written file, open, for its flush and rename; from then
    // on the temporary file is the receiver's. Throws (std::bad_alloc) only
    // before it has handed anything over.
    PendingOutput TakeWritten();

    // Closes and removes what was not handed over. Returns the note on a
    // temporary file that could not be removed (see RemoveTemporary), else "".
    std::string Discard() noexcept;

  private:
    struct System;  // the open file, how to wait on it, how it goes to disk
    struct Close {
        void operator()(System* system) const noexcept;
    };
    // Each system's own steps: opens what cannot be replaced (a device, a
    // pipe) to be written directly, else throws FileError; creates
    // `temporary` only where nothing is, with `permissions` (the owner of
    // the file it is `replacing`, where the system allows); writes; hands
    // over the open file.
    void OpenDirectly(const std::filesystem::path& path, const CancelSignal* cancel);
    struct Creation {
        bool taken = false;   // a file has the name already
        std::string failure;  // else the system's reason, "" once created
    };
    Creation CreateExclusive(const std::filesystem::path& temporary, std::uint32_t permissions,
                             bool replacing);
    OwnedFile TakeFile() noexcept;

    std::string name_;                 // as given, for messages
    std::filesystem::path target_;     // the file that receives the content
    std::filesystem::path temporary_;  // empty when writing directly
    std::unique_ptr<System, Close> system_;
    bool mayReplace_;
    bool replacing_ = false;
    std::uint64_t written_ = 0;  // bytes written so far
};

// Standard input; the stream itself is not closed.
class StandardInput final : public ByteSource {
  public:
    explicit StandardInput(const CancelSignal* cancel = nullptr);
    ~StandardInput() override;
    StandardInput(const StandardInput&) = delete;
    StandardInput& operator=(const StandardInput&) = delete;

    std::size_t Read(std::span<std::uint8_t> buffer) override;
    std::optional<std::uint64_t> Size() const override { return std::nullopt; }
    const std::string& Name() const override { return name_; }

  private:
    struct System;
    std::string name_ = "standard input";
    std::unique_ptr<System> system_;
};

// Standard output, in binary. What reached it cannot be taken back, so
// Commit does nothing; Written tells how much did.
class StandardOutput final : public ByteSink {
  public:
    explicit StandardOutput(const CancelSignal* cancel = nullptr);
    ~StandardOutput() override;
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    void Write(std::span<const std::uint8_t> data) override;
    void Commit() override {}
    const std::string& Name() const override { return name_; }
    // Bytes that reached the stream, even from a write that failed.
    std::uint64_t Written() const { return written_; }

  private:
    struct System;
    std::string name_ = "standard output";
    std::unique_ptr<System> system_;
    std::uint64_t written_ = 0;
};

// Standard input read once more from its start, when it is a regular file,
// leaving its own position alone; null when it is not a file (a pipe, a terminal).
std::unique_ptr<ByteSource> ReopenStandardInput(const CancelSignal* cancel = nullptr);

// What a name leads to, the one question the window and vlt ask before
// writing an output there. Throws FileError "cannot tell whether it exists"
// when the system cannot look: only "no such file" is taken for absence.
enum class FileKind { Absent, Regular, Folder, Terminal, Other };
// Links are followed; a dangling link is Regular, since writing to it makes
// the file it names: a file in the way, which only leave may replace.
FileKind KindOf(const std::filesystem::path& path);

// Where the content written to `path` goes: each symbolic link is followed,
// a dangling one too (writing to it makes the file it names), so that the
// link itself stays a link. `path` itself when it is no link. Throws
// FileError when a link cannot be read.
std::filesystem::path FollowLinks(const std::filesystem::path& path);

// A file's identity on this machine, however it is named: through links,
// hard links or another mount of its file system.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileId&) const = default;
};
// The identity of the file `path` leads to, links followed; none when it
// does not exist or cannot be looked at.
std::optional<FileId> IdentifyFile(const std::filesystem::path& path);

// What `path` names itself, its links not followed: whether it is a
// symbolic link, and its identity (the link's own for a link); none when
// nothing is there or it cannot be looked at.
struct NameEntry {
    bool link = false;
    FileId id;
};
std::optional<NameEntry> LookAtName(const std::filesystem::path& path);

// The longest file name, in the system's units, that `folder` takes.
std::size_t LongestFileName(const std::filesystem::path& folder);

}  // namespace vlt
