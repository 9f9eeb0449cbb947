#include "cipher/engine.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "cipher/block_cipher.h"
#include "cipher/block_pipeline.h"
#include "cipher/key_digits.h"
#include "cipher/vlt_format.h"
#include "platform/cancellation.h"
#include "platform/error_text.h"
#include "platform/file_access.h"
#include "platform/output_batch.h"
#include "platform/system.h"
#include "platform/utf8.h"

namespace vlt {

namespace {

// Blocks in flight between the file traffic and the digit work; each side
// takes half of them at a time.
constexpr std::size_t kRingBlocks = 8;
// Plaintext up to four blocks runs in one block on the calling thread: a
// writer thread costs more to start than its overlap gains on so little.
constexpr std::uint64_t kOnCallerBlocks = 4;

// Thrown through the pipeline once the stream's verdict leaves nothing to write.
struct Refused {};

// Turns the byte counts into progress calls at a bounded rate, and is the
// place where a cancellation request is seen.
class ProgressMeter {
  public:
    ProgressMeter(const RunControl& control, std::uint64_t total) : control_(control) {
        progress_.total = total;
        Report();
    }

    // Safe on any thread.
    void CheckCancel() const {
        if (control_.cancel != nullptr) {
            control_.cancel->ThrowIfRequested();
        }
    }

    void Advance(std::uint64_t bytes) {
        CheckCancel();
        progress_.done += bytes;
        // Progress is considered every kGranule bytes, however small the blocks.
        if (progress_.done - consideredAt_ < kGranule) {
            return;
        }
        consideredAt_ = progress_.done;
        if ((progress_.total == 0 || progress_.Percent() != reportedPercent_) &&
            std::chrono::steady_clock::now() - reportedAt_ >= control_.progressPace) {
            Report();
        }
    }

    // Everything known is done: the total was an estimate where bytes after
    // a file's end were ignored.
    void Finish() {
        progress_.total = progress_.done;
        Report();
    }

    std::uint64_t done() const { return progress_.done; }

  private:
    static constexpr std::uint64_t kGranule = 256 * 1024;

    void Report() {
        reportedPercent_ = progress_.Percent();
        reportedAt_ = std::chrono::steady_clock::now();
        if (control_.progress) {
            control_.progress(progress_);
        }
    }

    const RunControl& control_;
    Progress progress_;
    int reportedPercent_ = -1;
    std::uint64_t consideredAt_ = 0;
    std::chrono::steady_clock::time_point reportedAt_;
};

}  // namespace

struct RunMemory::Parts {
    BlockPipeline pipeline{1, 0, 0};
    // On the heap: the cipher holds a chunk of pad values, too big for a thread's stack.
    std::unique_ptr<BlockCipher> cipher;
    PrimaryKey cipherKey;  // the key `cipher` was made from
};

RunMemory::RunMemory() : parts_(std::make_unique<Parts>()) {}
RunMemory::~RunMemory() = default;

namespace {

// The memory a run works in: the caller's, or its own.
class Memory {
  public:
    explicit Memory(const RunControl& control)
        : parts_(control.memory != nullptr ? control.memory->parts() : own_.emplace().parts()) {}

    // The cipher for `key`, at the start of a file.
    BlockCipher& CipherFor(const PrimaryKey& key) {
        if (!parts_.cipher || parts_.cipherKey.text != key.text ||
            parts_.cipherKey.codePage != key.codePage) {
            parts_.cipher.reset();
            parts_.cipher = std::make_unique<BlockCipher>(
                KeyDigitValues(MakeKeyDigits(key.text, key.codePage)));
            parts_.cipherKey = key;
        }
        parts_.cipher->Restart();
        return *parts_.cipher;
    }

    // The pipeline shaped for blocks of `inCapacity` bytes turned into at most
    // `outCapacity` bytes each; one block for an input known to be small, or
    // for a run that writes nothing.
    BlockPipeline& Pipeline(bool oneBlock, std::size_t inCapacity, std::size_t outCapacity) {
        parts_.pipeline.Reshape(oneBlock ? 1 : kRingBlocks, inCapacity, outCapacity);
        return parts_.pipeline;
    }

  private:
    std::optional<RunMemory> own_;
    RunMemory::Parts& parts_;
};

RunResult Ended(RunStatus status, std::string message) {
    RunResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

// Puts the output in place. A file that appeared at its name ends the run
// OutputExists, with what the run found still told: it is the finished
// output's, which the caller may keep.
void CommitOutput(ByteSink& output, RunResult& result) {
    try {
        output.Commit();
    } catch (const FileError& error) {
        if (!error.AlreadyExists()) {
            throw;
        }
        result.status = RunStatus::OutputExists;
        result.message = error.what();
    }
}

// Fills a block, however little each read returns, so that a trickling input
// still moves in whole blocks. Returns false when the input has ended.
bool Fill(ByteSource& input, std::span<std::uint8_t> buffer, std::size_t& filled) {
    for (filled = 0; filled < buffer.size();) {
        const std::size_t n = input.Read(buffer.subspan(filled));
        if (n == 0) {
            return false;
        }
        filled += n;
    }
    return true;
}

RunResult RunEncrypt(ByteSource& input, ByteSink& output, Memory& memory, BlockCipher& cipher,
                     const RunControl& control) {
    const std::optional<std::uint64_t> size = input.Size();
    ProgressMeter meter(control, size.value_or(0));
    const std::size_t blockBytes = RunBlockBytes();
    const bool small = size && *size <= kOnCallerBlocks * blockBytes;
    // One more byte than the input's size: the first read also finds its end.
    const std::size_t inBytes = small ? *size + 1 : blockBytes;
    VltEncryptStream stream(cipher);
    memory.Pipeline(small, inBytes, VltEncryptStream::OutputRoom(inBytes) + kFormatOverhead)
        .Run({
            .read = [&](PipelineBlock& block) { return Fill(input, block.in, block.inSize); },
            .transform =
                [&](PipelineBlock& block) {
                    stream.Push(block.in.first(block.inSize), block.out);
                    block.outSize = VltEncryptStream::OutputRoom(block.inSize);
                    if (block.last) {
                        stream.Finish(block.out.subspan(block.outSize));
                        block.outSize += kFormatOverhead;
                    }
                    meter.Advance(block.inSize);
                },
            .write =
                [&](const PipelineBlock& block) {
                    meter.CheckCancel();  // what is left is thrown away: no need to write it
                    output.Write({block.out.data(), block.outSize});
                },
            .idle = [&] { meter.CheckCancel(); },
        });
    RunResult result;
    CommitOutput(output, result);
    meter.Finish();
    result.plainBytes = meter.done();
    return result;
}

// Decrypts, or with no output only checks, an encrypted input through the
// stream; without a cipher only the format is checked. Nothing reaches the
// output's final place unless the stream finds the file whole and (unless
// allowed) every triple 0 to 255, or a salvage was asked for.
RunResult RunDecrypt(ByteSource& input, ByteSink* output, Memory& memory, BlockCipher* cipher,
                     const RunControl& control, DecryptOptions options) {
    const std::optional<std::uint64_t> size = input.Size();
    ProgressMeter meter(control, size ? *size / 3 : 0);
    const std::size_t blockBytes = RunBlockBytes();
    const bool small = size && *size <= kOnCallerBlocks * 3 * blockBytes + kFormatOverhead;
    // One more byte than the input's size: the first read also finds its end.
    const std::size_t digitBytes = small ? *size + 1 : 3 * blockBytes;
    VltDecryptStream stream(cipher, options);
    const auto refused = [&] {
        const VltReport& report = stream.report();
        return report.verdict == VltVerdict::WrongKey ||
               (report.verdict == VltVerdict::Damaged && !options.salvage);
    };
    // Without an output there is nothing to overlap: one block, no writer thread.
    BlockPipeline& pipeline =
        memory.Pipeline(small || output == nullptr, digitBytes,
                        VltDecryptStream::OutputRoom(digitBytes) + VltDecryptStream::OutputRoom(0));
    RunResult result;
    try {
        pipeline.Run({
            .read = [&](PipelineBlock& block) { return Fill(input, block.in, block.inSize); },
            .transform =
                [&](PipelineBlock& block) {
                    const std::uint64_t before = stream.report().plainBytes;
                    block.outSize = stream.Push(block.in.first(block.inSize), block.out);
                    if (block.last) {
                        block.outSize += stream.Finish(block.out.subspan(block.outSize));
                    }
                    if (refused()) {
                        throw Refused{};
                    }
                    meter.Advance(stream.report().plainBytes - before);
                },
            .write =
                [&](const PipelineBlock& block) {
                    meter.CheckCancel();
                    if (output != nullptr) {
                        output->Write({block.out.data(), block.outSize});
                    }
                },
            .idle = [&] { meter.CheckCancel(); },
        });
    } catch (const Refused&) {
        result.file = stream.report();
        if (result.file.verdict == VltVerdict::WrongKey) {
            result.status = RunStatus::WrongKey;
            result.message = input.Name() + ": " + std::string(kWrongKeyReason);
        } else {
            result.status = RunStatus::Failed;
            result.message = input.Name() + ": " + RefusalSentence(result.file);
        }
        return result;
    }
    if (output != nullptr) {
        CommitOutput(*output, result);
    }
    meter.Finish();
    result.file = stream.report();
    result.plainBytes = result.file.plainBytes;
    return result;
}

}  // namespace

RunResult Guarded(const std::function<RunResult()>& operation, const std::string& name) {
    try {
        return operation();
    } catch (const Cancelled&) {
        return Ended(RunStatus::Cancelled, Cancelled().what());
    } catch (const FileError& error) {
        return Ended(error.AlreadyExists() ? RunStatus::OutputExists : RunStatus::Failed,
                     error.what());
    } catch (const CodePageError& error) {
        return Ended(RunStatus::Failed, error.what());
    } catch (const std::bad_alloc&) {
        return Ended(RunStatus::Failed, (name.empty() ? "" : name + ": ") + kNoMemory);
    } catch (const std::system_error& error) {
        return Ended(RunStatus::Failed, std::string("cannot start the run: ") + error.what());
    } catch (const std::exception& error) {
        return Ended(RunStatus::Failed, error.what());
    }
}

RunResult Encrypt(ByteSource& input, ByteSink& output, const PrimaryKey& key,
                  const RunControl& control) {
    return Guarded(
        [&] {
            Memory memory(control);
            return RunEncrypt(input, output, memory, memory.CipherFor(key), control);
        },
        input.Name());
}

RunResult Decrypt(ByteSource& input, ByteSink& output, const PrimaryKey& key,
                  const RunControl& control, DecryptOptions options) {
    return Guarded(
        [&] {
            Memory memory(control);
            return RunDecrypt(input, &output, memory, &memory.CipherFor(key), control, options);
        },
        input.Name());
}

namespace {

// A run between named files. Its output is made once the input is open, so that
// it gets no more permissions than the input has; a temporary file the run could
// not remove is reported whatever became of the run.
template <typename Run>
RunResult BetweenFiles(const std::filesystem::path& input, const OutputTarget& output,
                       const PrimaryKey& key, const RunControl& control, Run run) {
    std::optional<OutputSink> sink;
    RunResult result = Guarded(
        [&] {
            Memory memory(control);
            BlockCipher& cipher = memory.CipherFor(key);
            InputFile source(input, control.cancel);
            OutputSink& made =
                sink.emplace(output.path,
                             OutputSettings{.cancel = control.cancel,
                                            .mayReplace = output.mayReplace,
                                            .permissions = source.Permissions().value_or(0666)},
                             output.batch, output.keepRefused);
            return run(source, made, memory, cipher);
        },
        Utf8Of(input));
    if (sink) {
        result.leftover = sink->Discard();
        if (result.status == RunStatus::OutputExists) {
            result.refused = sink->TakeRefused();
        }
    }
    return result;
}

}  // namespace

RunResult EncryptFile(const std::filesystem::path& input, const OutputTarget& output,
                      const PrimaryKey& key, const RunControl& control) {
    return BetweenFiles(
        input, output, key, control,
        [&](InputFile& source, OutputSink& sink, Memory& memory, BlockCipher& cipher) {
            return RunEncrypt(source, sink, memory, cipher, control);
        });
}

RunResult DecryptFile(const std::filesystem::path& input, const OutputTarget& output,
                      const PrimaryKey& key, const RunControl& control, DecryptOptions options) {
    return BetweenFiles(
        input, output, key, control,
        [&](InputFile& source, OutputSink& sink, Memory& memory, BlockCipher& cipher) {
            return RunDecrypt(source, &sink, memory, &cipher, control, options);
        });
}

RunResult Check(ByteSource& input, const PrimaryKey* key, const RunControl& control) {
    return Guarded(
        [&] {
            Memory memory(control);
            BlockCipher* cipher = key != nullptr ? &memory.CipherFor(*key) : nullptr;
            return RunDecrypt(input, nullptr, memory, cipher, control, {});
        },
        input.Name());
}

RunResult CheckFile(const std::filesystem::path& input, const PrimaryKey* key,
                    const RunControl& control) {
    return Guarded(
        [&] {
            InputFile source(input, control.cancel);
            return Check(source, key, control);
        },
        Utf8Of(input));
}

}  // namespace vlt
