// Encryption and decryption in memory, as the engine runs them block by
// block, in MB/s of plaintext ("bytes_per_second"); then the parts of a block's
// work on their own. Files, threads and the disk are left out: bench/compare.sh
// measures those.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "cipher/block_cipher.h"
#include "cipher/digit_ops.h"
#include "cipher/engine.h"
#include "cipher/key_stream.h"
#include "cipher/pad_stream.h"
#include "cipher/triple_kernels.h"
#include "platform/system.h"
#include "tests/support/digit_text.h"
#include "tests/support/random_bytes.h"

namespace vlt {
namespace {

using testing_support::RandomValues;

// The same values in every run, so that runs compare.
constexpr unsigned kSeed = 42;
// Plaintext bytes per block, as the runs take them.
const std::size_t kBlockBytes = RunBlockBytes();

// A short key ("secret": 20 digits) or a long one (3000 characters of code
// 233: 9000 digits, so each block reads across the key's end many times).
std::vector<Digit> KeyOf(std::int64_t characters) {
    const std::string text = characters <= 6 ? std::string("secret").substr(0, characters)
                                             : std::string(characters, '\xE9');
    return KeyDigitValues(MakeKeyDigits(text, 1252));
}

void CountPlaintext(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}

void EncryptBlocks(benchmark::State& state) {
    const std::vector<std::uint8_t> plain = RandomValues(kBlockBytes, kSeed);
    std::vector<Digit> digits(3 * kBlockBytes);
    BlockCipher cipher(KeyOf(state.range(0)));
    for (auto _ : state) {
        cipher.Encrypt(plain.data(), plain.size(), digits.data());
        benchmark::DoNotOptimize(digits.data());
        benchmark::ClobberMemory();
    }
    CountPlaintext(state);
}

void DecryptBlocks(benchmark::State& state) {
    const std::vector<std::uint8_t> plain = RandomValues(kBlockBytes, kSeed);
    std::vector<Digit> digits(3 * kBlockBytes);
    BlockCipher(KeyOf(state.range(0))).Encrypt(plain.data(), plain.size(), digits.data());
    std::vector<std::uint8_t> decrypted(kBlockBytes);
    BlockCipher cipher(KeyOf(state.range(0)));
    for (auto _ : state) {
        // After the first block the pad has moved on and most triples come out
        // above 255, which costs the same as correct ones.
        benchmark::DoNotOptimize(cipher.Decrypt(digits.data(), kBlockBytes, decrypted.data()));
        benchmark::ClobberMemory();
    }
    CountPlaintext(state);
}

void PadValues(benchmark::State& state) {
    std::vector<std::uint8_t> values(kBlockBytes);
    PadStream pad;
    for (auto _ : state) {
        pad.NextValues(values.data(), values.size());
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
    }
    CountPlaintext(state);
}

void KeyWindows(benchmark::State& state) {
    KeyStream key(KeyOf(state.range(0)));
    for (auto _ : state) {
        for (std::size_t done = 0; done < 3 * kBlockBytes; done += KeyStream::kWindow) {
            benchmark::DoNotOptimize(key.Window(KeyStream::kWindow));
        }
    }
    CountPlaintext(state);
}

void EncryptTriplesKernel(benchmark::State& state, const TripleKernels* kernels) {
    const std::vector<std::uint8_t> plain = RandomValues(kBlockBytes, kSeed),
                                    pad = RandomValues(kBlockBytes, kSeed);
    const std::vector<Digit> key = RandomValues(3 * kBlockBytes, kSeed, 10);
    std::vector<Digit> digits(3 * kBlockBytes);
    for (auto _ : state) {
        kernels->encrypt(plain.data(), pad.data(), key.data(), kBlockBytes, digits.data());
        benchmark::DoNotOptimize(digits.data());
        benchmark::ClobberMemory();
    }
    CountPlaintext(state);
}

void DecryptTriplesKernel(benchmark::State& state, const TripleKernels* kernels) {
    const std::vector<std::uint8_t> pad = RandomValues(kBlockBytes, kSeed);
    const std::vector<Digit> digits = RandomValues(3 * kBlockBytes, kSeed, 10),
                             key = RandomValues(3 * kBlockBytes, kSeed, 10);
    std::vector<std::uint8_t> plain(kBlockBytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            kernels->decrypt(digits.data(), pad.data(), key.data(), kBlockBytes, plain.data()));
        benchmark::ClobberMemory();
    }
    CountPlaintext(state);
}

void FormatCheck(benchmark::State& state) {
    const std::vector<Digit> digits = RandomValues(3 * kBlockBytes, kSeed, 10);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FirstNonDigit(digits.data(), digits.size()));
    }
    CountPlaintext(state);
}

BENCHMARK(EncryptBlocks)->Arg(6)->Arg(3000)->ArgName("key_chars");
BENCHMARK(DecryptBlocks)->Arg(6)->Arg(3000)->ArgName("key_chars");
BENCHMARK(PadValues);
BENCHMARK(KeyWindows)->Arg(6)->Arg(3000)->ArgName("key_chars");
// The triple kernels alone, in each version the processor can run.
const bool kTripleKernelsRegistered = [] {
    for (const TripleKernels* kernels : RunnableTripleKernels()) {
        const std::string version = std::string("/") + kernels->name;
        benchmark::RegisterBenchmark(("EncryptTriplesKernel" + version).c_str(),
                                     EncryptTriplesKernel, kernels);
        benchmark::RegisterBenchmark(("DecryptTriplesKernel" + version).c_str(),
                                     DecryptTriplesKernel, kernels);
    }
    return true;
}();
BENCHMARK(FormatCheck);

}  // namespace
}  // namespace vlt
