// Encryption and decryption in memory, as the engine runs them block by
// block, in MB/s of plaintext. Files, threads and the disk are left out:
// bench/compare.sh measures those.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "block_cipher.h"
#include "digit_ops.h"
#include "digit_text.h"
#include "keyed_pad.h"

namespace vlt {
namespace {

constexpr std::size_t kBlockBytes = 256 * 1024;  // as the engine's blocks

std::vector<std::uint8_t> RandomBytes(std::size_t n) {
    std::mt19937 rng(42);
    std::vector<std::uint8_t> bytes(n);
    for (std::uint8_t& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

// A short key ("secret": 20 digits) and a long one (3000 characters: 9000
// digits, each block reads across the key's end many times).
std::vector<Digit> KeyOf(std::int64_t characters) {
    const std::string text = characters <= 6 ? std::string("secret").substr(0, characters)
                                             : std::string(characters, '\xE9');
    return KeyDigitValues(MakeKeyDigits(text, 1252));
}

void EncryptBlocks(benchmark::State& state) {
    const std::vector<std::uint8_t> plain = RandomBytes(kBlockBytes);
    std::vector<Digit> digits(3 * kBlockBytes);
    BlockCipher cipher(KeyOf(state.range(0)));
    for (auto _ : state) {
        cipher.Encrypt(plain.data(), plain.size(), digits.data());
        benchmark::DoNotOptimize(digits.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}

void DecryptBlocks(benchmark::State& state) {
    const std::vector<std::uint8_t> plain = RandomBytes(kBlockBytes);
    std::vector<Digit> encrypted(3 * kBlockBytes), digits(3 * kBlockBytes);
    std::vector<std::uint8_t> decrypted(kBlockBytes);
    BlockCipher(KeyOf(state.range(0))).Encrypt(plain.data(), plain.size(), encrypted.data());
    BlockCipher cipher(KeyOf(state.range(0)));
    std::size_t above = 0;
    for (auto _ : state) {
        // Each block decrypts with a later part of the pad: the triples are
        // mostly above 255 then, which costs the same as correct ones.
        state.PauseTiming();
        digits = encrypted;
        state.ResumeTiming();
        above += cipher.Decrypt(digits.data(), kBlockBytes, decrypted.data());
        benchmark::DoNotOptimize(decrypted.data());
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(above);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}

// The parts, per plaintext byte of a block.
void PadValues(benchmark::State& state) {
    std::vector<std::uint8_t> values(kBlockBytes);
    PadStream pad;
    for (auto _ : state) {
        pad.NextValues(values.data(), values.size());
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}

void DataPlusPadDigits(benchmark::State& state) {
    const std::vector<std::uint8_t> plain = RandomBytes(kBlockBytes);
    const std::vector<std::uint8_t> pad = RandomBytes(kBlockBytes);
    std::vector<Digit> digits(3 * kBlockBytes);
    for (auto _ : state) {
        AddBytesAsDigits(plain.data(), pad.data(), kBlockBytes, digits.data());
        benchmark::DoNotOptimize(digits.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}

void KeyDigits(benchmark::State& state) {
    std::vector<Digit> digits(3 * kBlockBytes);
    KeyStream key(KeyOf(state.range(0)));
    for (auto _ : state) {
        key.AddTo(digits.data(), digits.size());
        benchmark::DoNotOptimize(digits.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlockBytes));
}

BENCHMARK(PadValues);
BENCHMARK(DataPlusPadDigits);
BENCHMARK(KeyDigits)->Arg(6)->Arg(3000)->ArgName("key_chars");
BENCHMARK(EncryptBlocks)->Arg(6)->Arg(3000)->ArgName("key_chars");
BENCHMARK(DecryptBlocks)->Arg(6)->Arg(3000)->ArgName("key_chars");

}  // namespace
}  // namespace vlt
