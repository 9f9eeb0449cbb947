#include "cipher/block_pipeline.h"

#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

namespace vlt {

namespace {

constexpr std::chrono::milliseconds kIdleInterval{20};

}  // namespace

BlockPipeline::BlockPipeline(std::size_t blocks, std::size_t inCapacity, std::size_t outCapacity) {
    Reshape(blocks, inCapacity, outCapacity);
}

void BlockPipeline::Reshape(std::size_t blocks, std::size_t inCapacity, std::size_t outCapacity) {
    const std::size_t size = blocks * (inCapacity + outCapacity);
    if (size > storageSize_) {
        storage_.reset();  // the old and the new memory are never held at once
        storage_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        storageSize_ = size;
    }
    ring_.resize(blocks);
    std::uint8_t* next = storage_.get();
    for (PipelineBlock& block : ring_) {
        block.in = {next, inCapacity};
        block.out = {next + inCapacity, outCapacity};
        next += inCapacity + outCapacity;
    }
}

void BlockPipeline::RunOnCaller(const PipelineStages& stages) {
    PipelineBlock& block = ring_.front();
    do {
        block.last = !stages.read(block);
        stages.transform(block);
        stages.write(block);
    } while (!block.last);
}

void BlockPipeline::Run(const PipelineStages& stages) {
    if (ring_.size() == 1) {
        RunOnCaller(stages);
        return;
    }
    transformed_ = written_ = 0;
    lastTransformed_ = transformEnded_ = false;
    writeFailure_ = nullptr;

    std::exception_ptr transformFailure;
    {
        std::jthread writer;
        try {
            writer = std::jthread([&] { WriteAll(stages); });
        } catch (const std::system_error&) {  // no thread to spare: the slower way, on this one
            RunOnCaller(stages);
            return;
        }
        try {
            ReadAndTransformAll(stages);
        } catch (...) {
            transformFailure = std::current_exception();
        }
        const std::lock_guard lock(mutex_);
        transformEnded_ = true;
        forWriter_.notify_one();
    }  // joins the writer, once it has written every transformed block
    // The writes lag behind the transform: a write failure belongs to an earlier block.
    if (writeFailure_) {
        std::rethrow_exception(writeFailure_);
    }
    if (transformFailure) {
        std::rethrow_exception(transformFailure);
    }
}

bool BlockPipeline::CallerMayGo() const {
    return writeFailure_ || ring_.size() - (transformed_ - written_) >= Half();
}

bool BlockPipeline::WriterMayGo() const {
    return transformEnded_ || lastTransformed_ || transformed_ - written_ >= Half();
}

void BlockPipeline::WriteAll(const PipelineStages& stages) {
    std::unique_lock lock(mutex_);
    for (;;) {
        // Nothing to write: wait for half a ring of blocks, or the end.
        if (written_ == transformed_) {
            forWriter_.wait(lock, [&] { return WriterMayGo(); });
            if (written_ == transformed_) {
                return;  // the transform has ended
            }
        }
        const PipelineBlock& block = ring_[written_ % ring_.size()];
        lock.unlock();
        try {
            stages.write(block);
        } catch (...) {
            lock.lock();
            writeFailure_ = std::current_exception();
            forCaller_.notify_one();
            return;
        }
        lock.lock();
        ++written_;
        if (CallerMayGo() || written_ == transformed_) {
            forCaller_.notify_one();
        }
    }
}

template <typename Ready>
bool BlockPipeline::AwaitOnCaller(std::unique_lock<std::mutex>& lock, const PipelineStages& stages,
                                  Ready ready) {
    const auto done = [&] { return writeFailure_ || ready(); };
    while (!forCaller_.wait_for(lock, kIdleInterval, done)) {
        if (stages.idle) {
            lock.unlock();
            stages.idle();
            lock.lock();
        }
    }
    return !writeFailure_;
}

void BlockPipeline::ReadAndTransformAll(const PipelineStages& stages) {
    for (bool last = false; !last;) {
        std::size_t next;
        {
            std::unique_lock lock(mutex_);
            next = transformed_;
            // A full ring: wait until half of it is written.
            if (next - written_ == ring_.size() &&
                !AwaitOnCaller(lock, stages, [&] { return CallerMayGo(); })) {
                return;
            }
        }
        PipelineBlock& block = ring_[next % ring_.size()];
        block.last = last = !stages.read(block);
        stages.transform(block);
        const std::lock_guard lock(mutex_);
        transformed_ = next + 1;
        lastTransformed_ = last;
        if (WriterMayGo()) {
            forWriter_.notify_one();
        }
    }
    // The run ends when the writer has written everything.
    std::unique_lock lock(mutex_);
    AwaitOnCaller(lock, stages, [&] { return written_ == transformed_; });
}

}  // namespace vlt
