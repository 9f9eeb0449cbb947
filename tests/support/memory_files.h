#pragma once

// A source and a sink in memory, for running the engine without files.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_access.h"

namespace vlt::testing_support {

// How a source hands out its bytes: all it can, or like a pipe or a disk with
// a bad sector.
struct ReadShape {
    std::size_t most = std::numeric_limits<std::size_t>::max();  // bytes per read at most
    bool varied = false;  // each read takes 1 to `most` bytes, in a fixed random order
    bool sizeKnown = true;
    std::optional<std::size_t> failAt;  // the read that reaches it throws FileError

    // At most `most` bytes per read.
    static ReadShape Chunks(std::size_t most, bool sizeKnown) {
        ReadShape shape;
        shape.most = most;
        shape.sizeKnown = sizeKnown;
        return shape;
    }
    // Reads of 1 to `most` bytes, size unknown: blocks end anywhere.
    static ReadShape Pipe(std::size_t most) {
        ReadShape shape = Chunks(most, false);
        shape.varied = true;
        return shape;
    }
    // Everything up to `offset`, then a read error.
    static ReadShape FailingAt(std::size_t offset) {
        ReadShape shape;
        shape.failAt = offset;
        return shape;
    }
};

// Reads bytes the caller keeps alive.
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes, ReadShape shape = {},
                          std::string name = "memory")
        : bytes_(bytes), shape_(shape), name_(std::move(name)) {}
    explicit MemorySource(std::string_view bytes, ReadShape shape = {}, std::string name = "memory")
        : MemorySource({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, shape,
                       std::move(name)) {}

    std::size_t Read(std::span<std::uint8_t> buffer) override {
        std::size_t end = bytes_.size();
        if (shape_.failAt) {
            if (position_ >= *shape_.failAt) {
                throw FileError(name_, "cannot read", "Input/output error");
            }
            end = std::min(end, *shape_.failAt);
        }
        const std::size_t most = shape_.varied ? 1 + rng_() % shape_.most : shape_.most;
        const std::size_t n = std::min({buffer.size(), end - position_, most});
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), n, buffer.begin());
        position_ += n;
        return n;
    }
    std::optional<std::uint64_t> Size() const override {
        return shape_.sizeKnown ? std::optional<std::uint64_t>(bytes_.size()) : std::nullopt;
    }
    const std::string& Name() const override { return name_; }

  private:
    std::span<const std::uint8_t> bytes_;
    ReadShape shape_;
    std::string name_;
    std::size_t position_ = 0;
    std::mt19937 rng_{7};
};

// Keeps what is written, and what the engine promises about Commit: once,
// with nothing written after it.
class MemorySink final : public ByteSink {
  public:
    void Write(std::span<const std::uint8_t> data) override {
        misused_ = misused_ || commits_ > 0;
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    void Commit() override {
        misused_ = misused_ || commits_ > 0;
        ++commits_;
    }
    const std::string& Name() const override { return name_; }

    bool Committed() const { return commits_ == 1 && !misused_; }
    // Written to after its commit, or committed twice.
    bool Misused() const { return misused_; }
    std::string Text() const { return {bytes.begin(), bytes.end()}; }

    std::vector<std::uint8_t> bytes;

  private:
    int commits_ = 0;
    bool misused_ = false;
    std::string name_ = "memory";
};

}  // namespace vlt::testing_support
