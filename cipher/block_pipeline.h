#pragma once

// Reading, the digit work and writing, overlapped: an I/O thread reads blocks
// and writes them back out, while the calling thread transforms them in order.
// One thread for all the file traffic, because on a machine with two cores a
// third busy thread would only take turns with the other two; and each side
// waits for half a ring of work at a time, so that they rarely wake each other.
// A small fixed ring of blocks bounds the memory whatever the size of the input.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

namespace vlt {

struct PipelineBlock {
    std::vector<std::uint8_t> in;  // filled by the read stage
    std::size_t inSize = 0;
    std::vector<std::uint8_t> out;  // filled by the transform stage
    std::size_t outSize = 0;
    bool last = false;  // the read found the end of the input (or failed)
    std::exception_ptr readFailure;
};

struct PipelineStages {
    // Fills block.in and block.inSize; returns false at the end of the input.
    // Runs on the I/O thread.
    std::function<bool(PipelineBlock&)> read;
    // Turns block.in into block.out; runs on the calling thread, block by block in order.
    std::function<void(PipelineBlock&)> transform;
    // Runs on the I/O thread, block by block in order.
    std::function<void(const PipelineBlock&)> write;
    // Called on the calling thread about every 20 ms while it waits for the
    // I/O thread; may throw to stop the run (a cancellation).
    std::function<void()> idle;
};

class BlockPipeline {
  public:
    // `blocks` at least 2.
    BlockPipeline(std::size_t blocks, std::size_t inCapacity, std::size_t outCapacity);

    // Runs the stages until the last block is written. Every block is read,
    // transformed and written in input order, and a failure surfaces as in a
    // plain loop over the blocks: a read failure when the transform reaches
    // its block; a transform failure once the blocks before it are written; a
    // write failure at once, stopping the run. The failure is rethrown here
    // once the I/O thread has ended.
    void Run(const PipelineStages& stages);

  private:
    enum class IoStep { Read, Write, Done };

    void TransformAll(const PipelineStages& stages);
    void IoAll(const PipelineStages& stages);
    // What the I/O thread does next; waits while it has too little to do.
    IoStep NextIoStep(std::unique_lock<std::mutex>& lock);
    // Waits on the calling thread, calling `idle` meanwhile; false when stopped.
    template <typename Ready>
    bool AwaitOnCaller(std::unique_lock<std::mutex>& lock, const PipelineStages& stages,
                       Ready ready);
    // Whether each side, once waiting, has enough to do to be woken.
    bool IoMayGo() const;
    bool CallerMayGo() const;
    std::size_t Half() const { return ring_.size() / 2; }

    std::vector<PipelineBlock> ring_;
    std::mutex mutex_;
    std::condition_variable forIo_, forCaller_;
    // Blocks read, transformed and written so far; block i lives in ring_[i % size].
    std::size_t read_ = 0, transformed_ = 0, written_ = 0;
    bool lastRead_ = false;         // the read of the last block is done
    bool lastTransformed_ = false;  // so is its transform
    bool transformEnded_ = false;   // by the last block or by a failure
    bool stopped_ = false;          // by a write failure
    std::exception_ptr writeFailure_;
};

}  // namespace vlt
