// How often the .vlt stream's reading of a failing key check is right, on made
// files in memory:
//   - ordinary files decrypted with random wrong keys: how many are taken for
//     anything but a wrong key (a left-over tail, damage, or a whole file);
//   - files written over older, longer ones (same key and another): how many
//     decrypt exactly to the newer file.
// Not a test: the counts are measured, as a bench's figures are.
//   vlt_leftover_odds [WRONG_KEYS [WRITTEN_OVER]]   (default 10000 and 1000)

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cipher/block_cipher.h"
#include "cipher/key_digits.h"
#include "cipher/vlt_stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace vlt;

BlockCipher CipherFor(const std::string& key) {
    return BlockCipher(KeyDigitValues(MakeKeyDigits(key, 1252)));
}

std::string RandomKey(std::mt19937_64& rng) {
    std::string key(1 + rng() % 16, ' ');
    for (char& c : key) {
        c = static_cast<char>(' ' + rng() % 95);
    }
    return key;
}

Bytes RandomPlain(std::mt19937_64& rng, std::size_t size) {
    // Half random bytes, half text, whose narrow values pass a wrong key's check more often.
    const bool text = rng() % 2 == 0;
    Bytes plain(size);
    for (std::uint8_t& b : plain) {
        b = static_cast<std::uint8_t>(text ? 'a' + rng() % 26 : rng() % 256);
    }
    return plain;
}

Bytes Encrypt(const Bytes& plain, const std::string& key) {
    BlockCipher cipher = CipherFor(key);
    VltEncryptStream stream(cipher);
    Bytes file(3 * plain.size() + kFormatOverhead);
    stream.Push(plain, file);
    stream.Finish(std::span(file).subspan(3 * plain.size()));
    return file;
}

Bytes Decrypt(const Bytes& file, const std::string& key, VltReport& report) {
    BlockCipher cipher = CipherFor(key);
    VltDecryptStream stream(&cipher);
    Bytes plain(VltDecryptStream::OutputRoom(file.size()) + VltDecryptStream::OutputRoom(0));
    std::size_t n = stream.Push(file, plain);
    n += stream.Finish(std::span(plain).subspan(n));
    plain.resize(n);
    report = stream.report();
    return plain;
}

}  // namespace

int main(int argc, char** argv) {
    const long wrongKeys = argc > 1 ? std::atol(argv[1]) : 10000;
    const long writtenOver = argc > 2 ? std::atol(argv[2]) : 1000;
    std::mt19937_64 rng(20261208);

    long notWrongKey = 0, takenForLeftover = 0, takenForDamage = 0, wrongBytes = 0, sameBytes = 0;
    for (long i = 0; i < wrongKeys; ++i) {
        const std::string key = RandomKey(rng);
        std::string other = RandomKey(rng);
        if (other == key) {
            other += 'x';
        }
        const Bytes plain = RandomPlain(rng, 1 + rng() % 65536);
        VltReport report;
        const Bytes back = Decrypt(Encrypt(plain, key), other, report);
        if (report.verdict != VltVerdict::WrongKey) {
            ++notWrongKey;
            takenForLeftover += report.tail == VltTail::LeftOver;
            takenForDamage += report.verdict == VltVerdict::Damaged;
            // A key whose digits repeat the right key's ("aa" and "a" both key
            // with 9, 7, 9, 7, ...) is no wrong key: it gives the bytes back.
            const bool whole =
                report.verdict == VltVerdict::Finished && report.tail == VltTail::None;
            sameBytes += whole && back == plain;
            wrongBytes += whole && back != plain;
        }
    }
    std::printf(
        "%ld other keys on ordinary files of 1 byte to 64 KiB: %ld taken for anything but "
        "a wrong key: %ld for a left-over tail, %ld for damage, %ld decrypted to wrong "
        "bytes, %ld decrypted to the right bytes (keys with the same digits)\n",
        wrongKeys, notWrongKey, takenForLeftover, takenForDamage, wrongBytes, sameBytes);

    for (const bool sameKey : {true, false}) {
        long exact = 0, leftover = 0;
        for (long i = 0; i < writtenOver; ++i) {
            const std::string key = RandomKey(rng);
            const std::string oldKey = sameKey ? key : RandomKey(rng);
            const Bytes newer = RandomPlain(rng, 1 + rng() % 20000);
            const Bytes older = RandomPlain(rng, newer.size() + 1 + rng() % 20000);
            Bytes file = Encrypt(older, oldKey);
            const Bytes top = Encrypt(newer, key);
            std::copy(top.begin(), top.end(), file.begin());
            VltReport report;
            const Bytes plain = Decrypt(file, key, report);
            exact += report.verdict == VltVerdict::Finished && plain == newer;
            leftover += report.tail == VltTail::LeftOver;
        }
        std::printf(
            "%ld files of 1 to 20,000 bytes written over longer ones with %s: %ld decrypt "
            "exactly to the newer file (%ld found to have a left-over tail)\n",
            writtenOver, sameKey ? "the same key" : "another key", exact, leftover);
    }
    return 0;
}
