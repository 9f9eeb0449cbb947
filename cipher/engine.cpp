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
#include "cipher/digit_ops.h"
#include "cipher/key_digits.h"
#include "cipher/vlt_format.h"
#include "platform/output_batch.h"
#include "platform/utf8.h"

namespace vlt {

namespace {

// Blocks in flight between the file traffic and the digit work; each side
// takes half of them at a time.
constexpr std::size_t kRingBlocks = 8;
// Room before a block of cipher digits for those held back from the block before.
constexpr std::size_t kCarryRoom = 8;
// Plaintext up to this size runs in one block on the calling thread: a writer
// thread costs more to start than its overlap gains on so little.
const std::uint64_t kOnCallerBytes = 4 * kBlockBytes;

struct WrongKeyFound {};

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
        if (progress_.Percent() != reportedPercent_ ||
            std::chrono::steady_clock::now() - reportedAt_ >= kInterval) {
            Report();
        }
    }

    void Finish() {
        progress_.total = std::max(progress_.total, progress_.done);
        Report();
    }

    std::uint64_t done() const { return progress_.done; }

  private:
    static constexpr std::chrono::milliseconds kInterval{50};
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

FileError NotEncrypted(const ByteSource& input, const std::string& why) {
    return FileError(input.Name(), "not a Veltrimax encrypted file (" + why + ")");
}

FileError BadLength(const ByteSource& input, std::uint64_t length) {
    return NotEncrypted(
        input, "its length of " + std::to_string(length) + " bytes is not 3 times a number plus 4");
}

// The plaintext size of an input whose size is known; throws if no plaintext
// size gives that length.
std::optional<std::uint64_t> KnownPlainSize(const ByteSource& input) {
    const std::optional<std::uint64_t> size = input.Size();
    if (!size) {
        return std::nullopt;
    }
    if (const std::optional<std::uint64_t> plain = PlainSize(*size)) {
        return plain;
    }
    throw BadLength(input, *size);
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
    const bool small = size && *size <= kOnCallerBytes;
    // One more byte than the input's size: the first read also finds its end.
    const std::size_t blockBytes = small ? *size + 1 : kBlockBytes;
    memory.Pipeline(small, blockBytes, 3 * blockBytes + kFormatOverhead)
        .Run({
            .read = [&](PipelineBlock& block) { return Fill(input, block.in, block.inSize); },
            .transform =
                [&](PipelineBlock& block) {
                    cipher.Encrypt(block.in.data(), block.inSize, block.out.data());
                    block.outSize = 3 * block.inSize;
                    if (block.last) {
                        const std::uint8_t end = kEndTripleValue;
                        cipher.Encrypt(&end, 1, block.out.data() + block.outSize);
                        block.out[block.outSize + 3] = kFinalByte;
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
    output.Commit();
    meter.Finish();
    RunResult result;
    result.plainBytes = meter.done();
    return result;
}

// Decrypts, or with no output only checks, an encrypted input. Without a
// cipher only the format is checked. Nothing reaches the output's final place
// unless the whole input is well formed and (unless allowed) every triple is 0 to 255.
class DecryptRun {
  public:
    DecryptRun(ByteSource& input, ByteSink* output, BlockCipher* cipher, const RunControl& control,
               DecryptOptions options)
        : input_(input),
          output_(output),
          cipher_(cipher),
          options_(options),
          meter_(control, KnownPlainSize(input).value_or(0)) {}

    RunResult Run(Memory& memory) {
        const std::optional<std::uint64_t> size = input_.Size();
        const bool small = size && *size <= 3 * kOnCallerBytes + kFormatOverhead;
        // One more byte than the input's size: the first read also finds its end.
        const std::size_t digitBytes = small ? *size + 1 : 3 * kBlockBytes;
        // Without an output there is nothing to overlap: one block, no writer thread.
        BlockPipeline& pipeline =
            memory.Pipeline(small || output_ == nullptr, kCarryRoom + digitBytes,
                            (kCarryRoom + digitBytes) / 3 + 1);
        try {
            pipeline.Run({
                .read =
                    [&](PipelineBlock& block) {
                        return Fill(input_, std::span(block.in).subspan(kCarryRoom), block.inSize);
                    },
                .transform = [&](PipelineBlock& block) { Transform(block); },
                .write =
                    [&](const PipelineBlock& block) {
                        meter_.CheckCancel();
                        if (output_ != nullptr) {
                            output_->Write({block.out.data(), block.outSize});
                        }
                    },
                .idle = [&] { meter_.CheckCancel(); },
            });
        } catch (const WrongKeyFound&) {
            return Ended(RunStatus::WrongKey, input_.Name() + ": " + std::string(kWrongKeyReason) +
                                                  "; " + std::string(kNothingWritten));
        }
        if (output_ != nullptr) {
            output_->Commit();
        }
        meter_.Finish();
        result_.plainBytes = meter_.done();
        return result_;
    }

  private:
    // The last four bytes (end triple and final zero) are held back until the
    // input ends: a stream does not tell where its end is. They, and any
    // incomplete triple, are carried over in front of the next block.
    void Transform(PipelineBlock& block) {
        Digit* digits = block.in.data() + kCarryRoom - held_;
        std::copy_n(carried_, held_, digits);
        const std::size_t length = held_ + block.inSize;
        if (block.last && !PlainSize(offset_ + length)) {
            throw BadLength(input_, offset_ + length);
        }
        const std::size_t ready = length > kFormatOverhead ? (length - kFormatOverhead) / 3 * 3 : 0;
        Decrypt(digits, ready, block.out.data());
        block.outSize = ready / 3;
        meter_.Advance(ready / 3);
        held_ = length - ready;
        std::copy_n(digits + ready, held_, carried_);
        offset_ += ready;
        if (block.last) {
            if (carried_[3] != kFinalByte) {
                throw NotEncrypted(input_,
                                   "its last byte is " + std::to_string(carried_[3]) + ", not 0");
            }
            std::uint8_t endTriple;
            Decrypt(carried_, 3, &endTriple);  // checked, never written
        }
    }

    // Checks `count` cipher digits and, with a cipher, decrypts them into
    // count / 3 bytes. The decryption checks the digits on its way.
    void Decrypt(const Digit* digits, std::size_t count, std::uint8_t* plain) {
        const TripleCheck check = cipher_ != nullptr
                                      ? cipher_->Decrypt(digits, count / 3, plain)
                                      : TripleCheck{0, FirstNonDigit(digits, count) == count};
        if (!check.allDigits) {
            const std::size_t bad = FirstNonDigit(digits, count);
            throw NotEncrypted(input_, "the byte at offset " + std::to_string(offset_ + bad) +
                                           " is " + std::to_string(digits[bad]) +
                                           ", only 0 to 9 occur");
        }
        result_.triplesAboveRange += check.aboveRange;
        if (check.aboveRange != 0 && !options_.writeOnWrongKey) {
            throw WrongKeyFound{};
        }
    }

    ByteSource& input_;
    ByteSink* output_;
    BlockCipher* cipher_;
    DecryptOptions options_;
    ProgressMeter meter_;
    RunResult result_;
    Digit carried_[kCarryRoom] = {};
    std::size_t held_ = 0;
    std::uint64_t offset_ = 0;  // of carried_[0] in the input
};

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
        return Ended(RunStatus::Failed, (name.empty() ? "" : name + ": ") + "not enough memory");
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
            return DecryptRun(input, &output, &memory.CipherFor(key), control, options).Run(memory);
        },
        input.Name());
}

namespace {

// The output of a run between named files, made once the input is open: it
// gets no more permissions than the input has.
OutputSink& OpenOutput(std::optional<OutputSink>& sink, const std::filesystem::path& output,
                       const RunControl& control, const InputFile& source) {
    return sink.emplace(output,
                        OutputSettings{.cancel = control.cancel,
                                       .mayReplace = control.replace,
                                       .permissions = source.Permissions().value_or(0666)},
                        control.batch);
}

// A temporary file the run could not remove is reported whatever became of the run.
RunResult WithLeftover(std::optional<OutputSink>& sink, RunResult result) {
    if (sink) {
        result.leftover = sink->Discard();
    }
    return result;
}

}  // namespace

RunResult EncryptFile(const std::filesystem::path& input, const std::filesystem::path& output,
                      const PrimaryKey& key, const RunControl& control) {
    std::optional<OutputSink> sink;
    RunResult result = Guarded(
        [&] {
            Memory memory(control);
            BlockCipher& cipher = memory.CipherFor(key);
            InputFile source(input, control.cancel);
            return RunEncrypt(source, OpenOutput(sink, output, control, source), memory, cipher,
                              control);
        },
        Utf8Of(input));
    return WithLeftover(sink, std::move(result));
}

RunResult DecryptFile(const std::filesystem::path& input, const std::filesystem::path& output,
                      const PrimaryKey& key, const RunControl& control, DecryptOptions options) {
    std::optional<OutputSink> sink;
    RunResult result = Guarded(
        [&] {
            Memory memory(control);
            BlockCipher& cipher = memory.CipherFor(key);
            InputFile source(input, control.cancel);
            KnownPlainSize(source);  // a file of the wrong length creates no output at all
            return DecryptRun(source, &OpenOutput(sink, output, control, source), &cipher, control,
                              options)
                .Run(memory);
        },
        Utf8Of(input));
    return WithLeftover(sink, std::move(result));
}

RunResult Check(ByteSource& input, const PrimaryKey* key, const RunControl& control) {
    return Guarded(
        [&] {
            Memory memory(control);
            BlockCipher* cipher = key != nullptr ? &memory.CipherFor(*key) : nullptr;
            return DecryptRun(input, nullptr, cipher, control, {}).Run(memory);
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
