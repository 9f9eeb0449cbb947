// Decrypting arbitrary bytes with an arbitrary key and code page ends in a
// result, never a crash or a hang; and what it decides matches the readable
// whole-text form of the cipher: the format check, the wrong-key count, the
// plaintext, and that a file accepted whole encrypts back to itself. A file
// accepted with bytes ignored after its end is a whole file in front of them,
// decrypted as such; appended ones cannot be digits.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cipher/engine.h"
#include "cipher/vlt_format.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/digit_text.h"

namespace vlt::fuzzing {
namespace {

bool WellFormed(const std::vector<std::uint8_t>& file) {
    return PlainSize(file.size()).has_value() && file.back() == kFinalByte &&
           std::all_of(file.begin(), file.end(), [](std::uint8_t b) { return b <= 9; });
}

// The N + 1 decrypted triples (the last is the end triple), as the whole-text
// functions compute them.
std::vector<int> TriplesAsText(const std::vector<std::uint8_t>& file, const PrimaryKey& key) {
    std::string digits;
    for (std::size_t i = 0; i + 1 < file.size(); ++i) {
        digits += static_cast<char>('0' + file[i]);
    }
    const std::string keyed =
        MakeKeyedPad(MakePad(digits.size()), MakeKeyDigits(key.text, key.codePage));
    const std::string plain = SubtractDigits(digits, keyed);
    std::vector<int> triples;
    for (std::size_t i = 0; i + 3 <= plain.size(); i += 3) {
        triples.push_back(std::stoi(plain.substr(i, 3)));
    }
    return triples;
}

void CheckAgainstText(const std::vector<std::uint8_t>& file, const PrimaryKey& key,
                      DecryptOptions options, const RunResult& result, const MemorySink& sink) {
    const std::vector<int> triples = TriplesAsText(file, key);
    const auto above = static_cast<std::uint64_t>(
        std::count_if(triples.begin(), triples.end(), [](int t) { return t > 255; }));
    if (!options.writeOnWrongKey) {
        Require((result.status == RunStatus::WrongKey) == (above != 0),
                "wrong key reported exactly when a triple is above 255");
    }
    if (result.status != RunStatus::Finished) {
        return;
    }
    Require(result.file.triplesAboveRange == above, "the count of triples above 255");
    const std::size_t n = triples.size() - 1;
    Require(sink.bytes.size() == n && result.plainBytes == n, "N plaintext bytes written");
    for (std::size_t i = 0; i < n; ++i) {
        Require(sink.bytes[i] == triples[i] % 256, "each byte is its triple modulo 256");
    }
    if (above != 0) {
        return;
    }
    // Encrypting the plaintext again gives the file back, except the end
    // triple when the file's own does not decrypt to 0.
    MemorySource plain(sink.bytes);
    MemorySink again;
    Require(Encrypt(plain, again, key).status == RunStatus::Finished, "re-encryption finishes");
    Require(again.bytes.size() == file.size(), "re-encryption has the file's length");
    const bool endIsZero = triples.back() == 0;
    Require(std::equal(file.begin(), file.end() - 4, again.bytes.begin()),
            "re-encryption gives the same data digits");
    Require(std::equal(file.end() - 4, file.end(), again.bytes.end() - 4) == endIsZero,
            "re-encryption gives the same end exactly when the end triple is 0");
}

}  // namespace
}  // namespace vlt::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vlt;
    using namespace vlt::fuzzing;
    FuzzedDataProvider in(data, size);
    const PrimaryKey key = ConsumeKey(in);
    const bool asDigits = in.ConsumeBool();  // most raw bytes fail the format check at once
    const bool sizeKnown = in.ConsumeBool();
    const DecryptOptions options{.writeOnWrongKey = in.ConsumeBool()};
    const std::size_t chunk = in.ConsumeIntegralInRange<std::size_t>(1, 4096);
    std::vector<std::uint8_t> file = in.ConsumeRemainingBytes<std::uint8_t>();
    if (asDigits) {
        for (std::uint8_t& b : file) {
            b %= 10;
        }
        file.push_back(kFinalByte);
    }

    MemorySource source(file, ReadShape::Chunks(chunk, sizeKnown));
    MemorySink sink;
    const RunResult result = Decrypt(source, sink, key, {}, options);

    Require(result.status != RunStatus::Cancelled, "no cancellation without a request");
    RequireCommittedIf(sink, result.status == RunStatus::Finished);
    Require(result.status == RunStatus::Finished || !result.message.empty(), "a failure says why");
    if (!IsOffered(key.codePage)) {
        Require(result.status == RunStatus::Failed, "an unknown code page fails");
        return 0;
    }
    if (result.status == RunStatus::Finished && result.file.tail != VltTail::None) {
        const std::size_t whole = file.size() - result.file.ignoredBytes;
        const std::vector<std::uint8_t> front(file.begin(), file.begin() + whole);
        Require(WellFormed(front), "a whole file in front of the bytes ignored");
        Require(result.file.tail != VltTail::Appended ||
                    std::none_of(file.begin() + whole, file.end(),
                                 [](std::uint8_t b) { return b <= 9; }),
                "bytes appended cannot be digits");
        Require(result.file.tail != VltTail::LeftOver || whole < file.size(),
                "a left-over tail is not empty");
        CheckAgainstText(front, key, options, result, sink);
        return 0;
    }
    if (!WellFormed(file)) {
        // A triple above 255 may be met before the flaw that makes the file
        // ill-formed; either refusal writes nothing.
        Require(result.status == RunStatus::Failed ||
                    (result.status == RunStatus::WrongKey && !options.writeOnWrongKey),
                "a file that is not well formed is refused");
        return 0;
    }
    Require(result.status != RunStatus::Failed, "a well-formed file is never refused as such");
    CheckAgainstText(file, key, options, result, sink);
    return 0;
}
