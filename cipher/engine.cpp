#include "engine.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <vector>

#include "digit_ops.h"
#include "digit_text.h"
#include "keyed_pad.h"
#include "vlt_format.h"

namespace vlt {

namespace {

// Plaintext bytes per block: big enough for sequential I/O at disk speed,
// small enough that a cancellation is seen within a few milliseconds.
constexpr std::size_t kBlockBytes = 256 * 1024;

struct CancelRequested {};
struct WrongKeyFound {};

// Turns the byte counts into progress calls at a bounded rate, and is the
// place where a cancellation request is seen.
class ProgressMeter {
  public:
    ProgressMeter(const RunControl& control, std::uint64_t total) : control_(control) {
        progress_.total = total;
        Report();
    }

    void Advance(std::uint64_t bytes) {
        if (control_.cancel != nullptr && control_.cancel->load(std::memory_order_relaxed)) {
            throw CancelRequested{};
        }
        progress_.done += bytes;
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
    std::chrono::steady_clock::time_point reportedAt_;
};

// The buffers of one run, allocated once: plaintext bytes, their digits (with
// room for the held-back end of an encrypted file) and the keyed pad.
struct Blocks {
    std::vector<std::uint8_t> plain = std::vector<std::uint8_t>(kBlockBytes);
    std::vector<Digit> digits = std::vector<Digit>(3 * kBlockBytes + kFormatOverhead);
    std::vector<Digit> keyed = std::vector<Digit>(3 * kBlockBytes + kFormatOverhead);
};

KeyedPad PadFor(const PrimaryKey& key) {
    return KeyedPad(KeyDigitValues(MakeKeyDigits(key.text, key.codePage)));
}

RunResult Ended(RunStatus status, std::string message) {
    RunResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

// Runs one operation, turning every way it can end into a RunResult.
template <typename Operation>
RunResult Guarded(Operation&& operation) {
    try {
        return operation();
    } catch (const CancelRequested&) {
        return Ended(RunStatus::Cancelled, "cancelled");
    } catch (const FileError& error) {
        return Ended(RunStatus::Failed, error.what());
    } catch (const CodePageError& error) {
        return Ended(RunStatus::Failed, error.what());
    } catch (const std::bad_alloc&) {
        return Ended(RunStatus::Failed, "not enough memory for the run");
    }
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

// Encrypts n plaintext bytes of blocks.plain into 3n digits of blocks.digits.
void EncryptBlock(Blocks& blocks, KeyedPad& pad, std::size_t n) {
    BytesToDigits(blocks.plain.data(), n, blocks.digits.data());
    pad.Next(blocks.keyed.data(), 3 * n);
    AddDigitBlocks(blocks.digits.data(), blocks.keyed.data(), blocks.digits.data(), 3 * n);
}

RunResult RunEncrypt(ByteSource& input, ByteSink& output, KeyedPad pad, const RunControl& control) {
    Blocks blocks;
    ProgressMeter meter(control, input.Size().value_or(0));
    while (const std::size_t n = input.Read(blocks.plain)) {
        EncryptBlock(blocks, pad, n);
        output.Write({blocks.digits.data(), 3 * n});
        meter.Advance(n);
    }
    blocks.plain[0] = kEndTripleValue;
    EncryptBlock(blocks, pad, 1);
    blocks.digits[3] = kFinalByte;
    output.Write({blocks.digits.data(), kFormatOverhead});
    output.Commit();
    meter.Finish();
    RunResult result;
    result.plainBytes = meter.done();
    return result;
}

// Checks `count` cipher digits at blocks.digits and, with a pad, decrypts them
// into blocks.plain. Returns the number of triples above 255.
std::size_t DecryptDigits(Blocks& blocks, std::size_t count, KeyedPad* pad, const ByteSource& input,
                          std::uint64_t offset) {
    if (const std::size_t bad = FirstNonDigit(blocks.digits.data(), count); bad != count) {
        throw NotEncrypted(input, "the byte at offset " + std::to_string(offset + bad) + " is " +
                                      std::to_string(blocks.digits[bad]) + ", only 0 to 9 occur");
    }
    if (pad == nullptr) {
        return 0;
    }
    pad->Next(blocks.keyed.data(), count);
    SubDigitBlocks(blocks.digits.data(), blocks.keyed.data(), blocks.digits.data(), count);
    return DigitsToBytes(blocks.digits.data(), count / 3, blocks.plain.data());
}

// Decrypts, or with no output only checks, an encrypted input. Without a pad
// only the format is checked. Nothing reaches the output's final place unless
// the whole input is well formed and (unless allowed) every triple is 0 to 255.
RunResult RunDecrypt(ByteSource& input, ByteSink* output, KeyedPad* pad, const RunControl& control,
                     DecryptOptions options) {
    ProgressMeter meter(control, KnownPlainSize(input).value_or(0));
    Blocks blocks;
    RunResult result;
    const auto decrypt = [&](std::size_t count, std::uint64_t offset) {
        const std::size_t above = DecryptDigits(blocks, count, pad, input, offset);
        result.triplesAboveRange += above;
        if (above != 0 && !options.writeOnWrongKey) {
            throw WrongKeyFound{};
        }
    };

    // The last four bytes (end triple and final zero) are held back until the
    // input ends: a stream does not tell where its end is.
    std::size_t held = 0;
    std::uint64_t offset = 0;  // of blocks.digits[0] in the input
    try {
        for (;;) {
            const std::size_t n =
                input.Read({blocks.digits.data() + held, blocks.digits.size() - held});
            held += n;
            const bool end = n == 0;
            if (end && (held < kFormatOverhead || (held - kFormatOverhead) % 3 != 0)) {
                throw BadLength(input, offset + held);
            }
            const std::size_t ready = held > kFormatOverhead ? (held - kFormatOverhead) / 3 * 3 : 0;
            if (ready != 0) {
                decrypt(ready, offset);
                if (output != nullptr) {
                    output->Write({blocks.plain.data(), ready / 3});
                }
                meter.Advance(ready / 3);
                std::memmove(blocks.digits.data(), blocks.digits.data() + ready, held - ready);
                held -= ready;
                offset += ready;
            }
            if (end) {
                break;
            }
        }
        if (blocks.digits[3] != kFinalByte) {
            throw NotEncrypted(input,
                               "its last byte is " + std::to_string(blocks.digits[3]) + ", not 0");
        }
        decrypt(3, offset);  // the end triple: checked, never written
    } catch (const WrongKeyFound&) {
        return Ended(RunStatus::WrongKey,
                     input.Name() +
                         ": the primary key is wrong or the file is damaged (a decrypted value "
                         "is above 255); nothing was written");
    }
    if (output != nullptr) {
        output->Commit();
    }
    meter.Finish();
    result.plainBytes = meter.done();
    return result;
}

}  // namespace

RunResult Encrypt(ByteSource& input, ByteSink& output, const PrimaryKey& key,
                  const RunControl& control) {
    return Guarded([&] { return RunEncrypt(input, output, PadFor(key), control); });
}

RunResult Decrypt(ByteSource& input, ByteSink& output, const PrimaryKey& key,
                  const RunControl& control, DecryptOptions options) {
    return Guarded([&] {
        KeyedPad pad = PadFor(key);
        return RunDecrypt(input, &output, &pad, control, options);
    });
}

RunResult EncryptFile(const std::filesystem::path& input, const std::filesystem::path& output,
                      const PrimaryKey& key, const RunControl& control) {
    return Guarded([&] {
        KeyedPad pad = PadFor(key);
        InputFile source(input);
        OutputFile sink(output);
        return RunEncrypt(source, sink, std::move(pad), control);
    });
}

RunResult DecryptFile(const std::filesystem::path& input, const std::filesystem::path& output,
                      const PrimaryKey& key, const RunControl& control, DecryptOptions options) {
    return Guarded([&] {
        KeyedPad pad = PadFor(key);
        InputFile source(input);
        KnownPlainSize(source);  // a file of the wrong length creates no output at all
        OutputFile sink(output);
        return RunDecrypt(source, &sink, &pad, control, options);
    });
}

RunResult CheckFile(const std::filesystem::path& input, const PrimaryKey* key,
                    const RunControl& control) {
    return Guarded([&] {
        InputFile source(input);
        if (key == nullptr) {
            return RunDecrypt(source, nullptr, nullptr, control, {});
        }
        KeyedPad pad = PadFor(*key);
        return RunDecrypt(source, nullptr, &pad, control, {});
    });
}

}  // namespace vlt
