#pragma once

// Reading, the digit work and writing, overlapped: a reader thread fills
// blocks, the calling thread transforms them in order, and a writer thread
// writes them out. A small fixed ring of blocks bounds the memory whatever the
// size of the input.

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
    // Runs on the reader thread.
    std::function<bool(PipelineBlock&)> read;
    // Turns block.in into block.out; runs on the calling thread, block by block in order.
    std::function<void(PipelineBlock&)> transform;
    // Runs on the writer thread, block by block in order.
    std::function<void(const PipelineBlock&)> write;
    // Called on the calling thread about every 20 ms while it waits for the
    // other two; may throw to stop the run (a cancellation).
    std::function<void()> idle;
};

class BlockPipeline {
  public:
    BlockPipeline(std::size_t blocks, std::size_t inCapacity, std::size_t outCapacity);

    // Runs the stages until the last block is written. Every block is read,
    // transformed and written in input order, and a failure surfaces as in a
    // plain loop over the blocks: a read failure when the transform reaches
    // its block; a transform failure once the blocks before it are written; a
    // write failure at once, stopping the other two. The failure is rethrown
    // here once both threads have ended.
    void Run(const PipelineStages& stages);

  private:
    void ReadAll(const PipelineStages& stages);
    void WriteAll(const PipelineStages& stages);
    void TransformAll(const PipelineStages& stages);
    // Waits on the calling thread, calling `idle` meanwhile; false when stopped.
    template <typename Ready>
    bool AwaitOnCaller(std::unique_lock<std::mutex>& lock, const PipelineStages& stages,
                       Ready ready);
    std::vector<PipelineBlock> ring_;
    std::mutex mutex_;
    // Each thread waits on its own condition, so that a change wakes only the
    // thread it concerns.
    std::condition_variable forReader_, forCaller_, forWriter_;
    // Blocks read, transformed and written so far; block i lives in ring_[i % size].
    std::size_t read_ = 0, transformed_ = 0, written_ = 0;
    bool transformEnded_ = false;  // by the last block or by a failure
    bool stopped_ = false;         // by a write failure
    std::exception_ptr writeFailure_;
};

}  // namespace vlt
