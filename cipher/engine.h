#pragma once

// The desktop run: encryption, decryption and the check of whole files or
// streams through the .vlt stream (cipher/vlt_stream.h), in fixed-size blocks
// whose writing overlaps the digit work, with progress, cancellation and the
// output put in place whole. Used by the window and by vlt alike; no Qt, no
// global state, safe to run in several threads at once (each with its own RunMemory).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cipher/vlt_stream.h"
#include "platform/codepage.h"
#include "platform/output_batch.h"

namespace vlt {

class ByteSource;
class ByteSink;
class CancelSignal;

// The primary key exactly as typed (UTF-8, never trimmed) and the code page
// that gives its characters their codes.
struct PrimaryKey {
    std::string text;
    CodePage codePage = kDefaultCodePage;
};

// Plaintext bytes done of the total (0 when the total is not known in advance).
struct Progress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    int Percent() const { return total == 0 ? 0 : static_cast<int>(done * 100 / total); }
};

// What runs one after another on one thread share, so that each of many small
// inputs does not pay for it again: the blocks and the cipher made from the
// key. Not for two runs at once.
class RunMemory {
  public:
    RunMemory();
    ~RunMemory();
    RunMemory(const RunMemory&) = delete;
    RunMemory& operator=(const RunMemory&) = delete;

    struct Parts;  // the engine's own
    Parts& parts() { return *parts_; }

  private:
    std::unique_ptr<Parts> parts_;
};

// How a run goes: what it tells on its way and what stops it.
struct RunControl {
    // Called on the running thread: at the start, when the percent done
    // changes (about every 256 KiB when the total is unknown) but at most once
    // per `progressPace`, and at the end.
    std::function<void(const Progress&)> progress;
    // The least time between two progress calls: the caller's, as it knows
    // what each call costs it (a repaint, a redrawn line).
    std::chrono::milliseconds progressPace{0};
    // Requested, it stops the run within 100 ms, even one waiting for a pipe
    // or a terminal.
    const CancelSignal* cancel = nullptr;
    // Kept from run to run by a caller with many inputs; a run without one
    // makes its own.
    RunMemory* memory = nullptr;
};

// Where a run between named files puts its output.
struct OutputTarget {
    std::filesystem::path path;
    // Whether a file that exists at `path` may be replaced (vlt's --force, the
    // window's Yes). Without it the output is put in place only where nothing
    // is, checked in the same step as the rename, so that a file that appears
    // during the run is left alone too: the run ends OutputExists.
    bool mayReplace = false;
    // Given, the written output is handed to this batch to be flushed and put
    // in place with others: Finished then means written, not yet in place.
    // Without one the run puts its output in place itself before it ends.
    OutputBatch* batch = nullptr;
    // The window's, which asks before replacing: a finished output refused its
    // place alone for a file that appeared at its name is handed back in
    // RunResult::refused rather than removed.
    bool keepRefused = false;
};

enum class RunStatus {
    Finished,      // the output is complete
    Cancelled,     // stopped on request; nothing written
    Failed,        // see message (and `file` for a damaged one); nothing written
    WrongKey,      // decryption: a triple above 255; nothing written
    OutputExists,  // a file is at the output's name and may not be replaced; nothing
                   // written, unless kept in RunResult::refused
};

struct RunResult {
    RunStatus status = RunStatus::Finished;
    // For Failed and WrongKey: one sentence naming the file and the reason.
    std::string message;
    // Plaintext bytes encrypted, decrypted or checked.
    std::uint64_t plainBytes = 0;
    // A temporary file the run could not remove, whatever the status: "could
    // not remove the temporary file '.a.vlt.vlt-partial-x1Yz9Q': Permission denied".
    std::string leftover;
    // Decryption and check: what the file turned out to be (damage, bytes
    // ignored after its end, bytes a salvage could not know, triples above
    // 255, written modulo 256 when allowed).
    VltReport file;
    // OutputExists with OutputTarget::keepRefused: the finished output, to be
    // put in place over that file or discarded.
    std::optional<RefusedOutput> refused;
};

using DecryptOptions = VltDecryptOptions;

// Runs `operation`, turning every way it can end into a RunResult: a cancellation, a
// failing file, an unknown code page, no memory or no thread to spare, and any other
// std::exception as Failed with its text. `name`: the input, which a lack of memory names.
RunResult Guarded(const std::function<RunResult()>& operation, const std::string& name = {});

RunResult EncryptFile(const std::filesystem::path& input, const OutputTarget& output,
                      const PrimaryKey& key, const RunControl& control = {});
RunResult DecryptFile(const std::filesystem::path& input, const OutputTarget& output,
                      const PrimaryKey& key, const RunControl& control = {},
                      DecryptOptions options = {});

// The same over any source and sink (standard input and output). The sink is
// committed only when the run finishes.
RunResult Encrypt(ByteSource& input, ByteSink& output, const PrimaryKey& key,
                  const RunControl& control = {});
RunResult Decrypt(ByteSource& input, ByteSink& output, const PrimaryKey& key,
                  const RunControl& control = {}, DecryptOptions options = {});

// Reads an encrypted file and writes nothing. Without a key it checks the
// format only; with one it also tells whether every triple is 0 to 255
// (WrongKey if not). Failed with a message when the file is not well formed;
// `file` tells what a salvage would get.
RunResult Check(ByteSource& input, const PrimaryKey* key, const RunControl& control = {});
RunResult CheckFile(const std::filesystem::path& input, const PrimaryKey* key,
                    const RunControl& control = {});

}  // namespace vlt
