#pragma once

// What the fuzz targets share: a key drawn from the fuzzer's bytes, a source
// that hands out its bytes in chunks of a chosen size, a sink that keeps them,
// and a check that stops the fuzzer with a readable reason.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cipher/engine.h"
#include "platform/codepage.h"
#include "platform/file_access.h"

namespace vlt::fuzzing {

// The code pages the program offers, plus numbers it must refuse cleanly.
inline const std::vector<CodePage>& FuzzedCodePages() {
    static const std::vector<CodePage> codePages = [] {
        std::vector<CodePage> all = SupportedCodePages();
        all.insert(all.end(), {0, -1});
        return all;
    }();
    return codePages;
}

inline CodePage ConsumeCodePage(FuzzedDataProvider& in) {
    const std::vector<CodePage>& codePages = FuzzedCodePages();
    return codePages[in.ConsumeIntegralInRange<std::size_t>(0, codePages.size() - 1)];
}

inline bool IsOffered(CodePage codePage) {
    return codePage > 0;
}

inline PrimaryKey ConsumeKey(FuzzedDataProvider& in) {
    PrimaryKey key;
    key.codePage = ConsumeCodePage(in);
    key.text = in.ConsumeRandomLengthString(256);
    return key;
}

inline void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

// Bytes from memory, at most `chunk` per read, like a pipe or a slow disk.
class ChunkedSource final : public ByteSource {
  public:
    ChunkedSource(std::span<const std::uint8_t> bytes, std::size_t chunk, bool sizeKnown)
        : bytes_(bytes), chunk_(chunk), sizeKnown_(sizeKnown) {}

    std::size_t Read(std::span<std::uint8_t> buffer) override {
        const std::size_t n = std::min({buffer.size(), chunk_, bytes_.size() - position_});
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), n, buffer.begin());
        position_ += n;
        return n;
    }
    std::optional<std::uint64_t> Size() const override {
        return sizeKnown_ ? std::optional<std::uint64_t>(bytes_.size()) : std::nullopt;
    }
    const std::string& Name() const override { return name_; }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t chunk_;
    bool sizeKnown_;
    std::size_t position_ = 0;
    std::string name_ = "fuzz-input";
};

class MemorySink final : public ByteSink {
  public:
    void Write(std::span<const std::uint8_t> data) override {
        Require(!committed, "a write after the commit");
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    void Commit() override {
        Require(!committed, "a second commit");
        committed = true;
    }
    const std::string& Name() const override { return name_; }

    std::vector<std::uint8_t> bytes;
    bool committed = false;

  private:
    std::string name_ = "fuzz-output";
};

}  // namespace vlt::fuzzing
