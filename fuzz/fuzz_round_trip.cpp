// Encrypting arbitrary data with an arbitrary key and decrypting the result
// with the same key gives the data back, whatever the chunking of the reads.

#include <cstdint>
#include <vector>

#include "cipher/engine.h"
#include "cipher/vlt_format.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vlt;
    using namespace vlt::fuzzing;
    FuzzedDataProvider in(data, size);
    const PrimaryKey key = ConsumeKey(in);
    const std::size_t chunk = in.ConsumeIntegralInRange<std::size_t>(1, 4096);
    const bool sizeKnown = in.ConsumeBool();
    const std::vector<std::uint8_t> plain = in.ConsumeRemainingBytes<std::uint8_t>();

    MemorySource plainSource(plain, ReadShape::Chunks(chunk, sizeKnown));
    MemorySink encrypted;
    const RunResult encryption = Encrypt(plainSource, encrypted, key);
    RequireCommittedIf(encrypted, encryption.status == RunStatus::Finished);
    if (!IsOffered(key.codePage)) {
        Require(encryption.status == RunStatus::Failed, "an unknown code page fails");
        return 0;
    }
    Require(encryption.status == RunStatus::Finished, "encryption finishes");
    Require(encryption.plainBytes == plain.size(), "every byte is counted");
    Require(encrypted.bytes.size() == EncryptedSize(plain.size()), "the file is 3N + 4 bytes");

    MemorySource encryptedSource(encrypted.bytes, ReadShape::Chunks(chunk, sizeKnown));
    MemorySink decrypted;
    const RunResult decryption = Decrypt(encryptedSource, decrypted, key);
    Require(decryption.status == RunStatus::Finished, "decryption finishes");
    RequireCommittedIf(decrypted, true);
    Require(decryption.file.triplesAboveRange == 0, "the right key gives no triple above 255");
    Require(decrypted.bytes == plain, "decryption gives the data back");
    return 0;
}
