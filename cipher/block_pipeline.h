#pragma once

// Reading and the digit work, overlapped with writing: the calling thread
// reads each block and transforms it, and a writer thread writes the blocks
// out in order. Output is the larger side of both runs (encryption writes
// three bytes per byte read), and writing to a file costs the system more than
// reading, so the writes get a thread of their own. Each thread, once idle,
// waits for half a ring of work, so that they rarely wake each other. A small
// fixed ring of blocks bounds the memory whatever the size of the input.
// A ring of one block is a plain loop on the calling thread: for an input that
// fits in one block, starting a thread would cost more than the overlap gains.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace vlt {

struct PipelineBlock {
    std::span<std::uint8_t> in;  // filled by the read stage
    std::size_t inSize = 0;
    std::span<std::uint8_t> out;  // filled by the transform stage
    std::size_t outSize = 0;
    bool last = false;  // the read found the end of the input
};

struct PipelineStages {
    // Fills block.in and block.inSize; returns false at the end of the input.
    // Runs on the calling thread.
    std::function<bool(PipelineBlock&)> read;
    // Turns block.in into block.out; runs on the calling thread after the read.
    std::function<void(PipelineBlock&)> transform;
    // Runs on the writer thread, block by block in order. A run that stops
    // waits for the write under way: it must end when the run is cancelled.
    std::function<void(const PipelineBlock&)> write;
    // Called on the calling thread about every 20 ms while it waits for the
    // writer; may throw to stop the run (a cancellation).
    std::function<void()> idle;
};

class BlockPipeline {
  public:
    // `blocks` at least 1. The blocks' bytes start undefined: the stages fill them.
    BlockPipeline(std::size_t blocks, std::size_t inCapacity, std::size_t outCapacity);

    // Gives the ring a new shape for the next run, keeping the memory of the
    // last one when it is large enough.
    void Reshape(std::size_t blocks, std::size_t inCapacity, std::size_t outCapacity);

    // Runs the stages until the last block is written. Every block is read,
    // transformed and written in input order, and a failure surfaces as in a
    // plain loop over the blocks: a read or transform failure once the blocks
    // before it are written; a write failure at once, stopping the run. The
    // failure is rethrown here once the writer thread has ended.
    void Run(const PipelineStages& stages);

  private:
    void RunOnCaller(const PipelineStages& stages);
    void ReadAndTransformAll(const PipelineStages& stages);
    void WriteAll(const PipelineStages& stages);
    // Waits on the calling thread, calling `idle` meanwhile; false once a write has failed.
    template <typename Ready>
    bool AwaitOnCaller(std::unique_lock<std::mutex>& lock, const PipelineStages& stages,
                       Ready ready);
    // Whether each side, once waiting, has enough to do to be woken.
    bool CallerMayGo() const;
    bool WriterMayGo() const;
    std::size_t Half() const { return ring_.size() / 2; }

    std::vector<PipelineBlock> ring_;
    std::unique_ptr<std::uint8_t[]> storage_;  // the blocks' bytes, never zeroed
    std::size_t storageSize_ = 0;
    std::mutex mutex_;
    std::condition_variable forCaller_, forWriter_;
    // Blocks transformed and written so far; block i lives in ring_[i % size].
    std::size_t transformed_ = 0, written_ = 0;
    bool lastTransformed_ = false;
    bool transformEnded_ = false;      // by the last block or by a failure
    std::exception_ptr writeFailure_;  // set, the run stops
};

}  // namespace vlt
