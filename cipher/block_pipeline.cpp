#include "block_pipeline.h"

#include <chrono>
#include <thread>

namespace vlt {

namespace {

constexpr std::chrono::milliseconds kIdleInterval{20};

}  // namespace

BlockPipeline::BlockPipeline(std::size_t blocks, std::size_t inCapacity, std::size_t outCapacity)
    : ring_(blocks) {
    for (PipelineBlock& block : ring_) {
        block.in.resize(inCapacity);
        block.out.resize(outCapacity);
    }
}

void BlockPipeline::Run(const PipelineStages& stages) {
    read_ = transformed_ = written_ = 0;
    transformEnded_ = stopped_ = false;
    writeFailure_ = nullptr;

    std::exception_ptr transformFailure;
    {
        std::jthread reader, writer;
        try {
            reader = std::jthread([&] { ReadAll(stages); });
            writer = std::jthread([&] { WriteAll(stages); });
            TransformAll(stages);
        } catch (...) {  // including a thread that could not be started
            transformFailure = std::current_exception();
        }
        const std::lock_guard lock(mutex_);
        transformEnded_ = true;
        forReader_.notify_one();
        forWriter_.notify_one();
    }  // joins both threads, once the writer has written every transformed block
    // The writer lags behind the transform: its failure belongs to an earlier block.
    if (writeFailure_) {
        std::rethrow_exception(writeFailure_);
    }
    if (transformFailure) {
        std::rethrow_exception(transformFailure);
    }
}

void BlockPipeline::ReadAll(const PipelineStages& stages) {
    for (std::size_t next = 0;; ++next) {
        {
            std::unique_lock lock(mutex_);
            forReader_.wait(lock, [&] {
                return stopped_ || transformEnded_ || next - written_ < ring_.size();
            });
            if (stopped_ || transformEnded_) {
                return;
            }
        }
        PipelineBlock& block = ring_[next % ring_.size()];
        block.readFailure = nullptr;
        try {
            block.last = !stages.read(block);
        } catch (...) {
            block.readFailure = std::current_exception();
            block.last = true;
        }
        const bool last = block.last;
        {
            const std::lock_guard lock(mutex_);
            read_ = next + 1;
            forCaller_.notify_one();
        }
        if (last) {
            return;
        }
    }
}

void BlockPipeline::WriteAll(const PipelineStages& stages) {
    for (std::size_t next = 0;; ++next) {
        {
            std::unique_lock lock(mutex_);
            forWriter_.wait(lock,
                            [&] { return stopped_ || transformEnded_ || next < transformed_; });
            if (stopped_ || next == transformed_) {
                return;
            }
        }
        const PipelineBlock& block = ring_[next % ring_.size()];
        try {
            stages.write(block);
        } catch (...) {
            const std::lock_guard lock(mutex_);
            writeFailure_ = std::current_exception();
            stopped_ = true;
            forReader_.notify_one();
            forCaller_.notify_one();
            return;
        }
        const bool last = block.last;
        {
            const std::lock_guard lock(mutex_);
            written_ = next + 1;
            forReader_.notify_one();
            forCaller_.notify_one();
        }
        if (last) {
            return;
        }
    }
}

template <typename Ready>
bool BlockPipeline::AwaitOnCaller(std::unique_lock<std::mutex>& lock, const PipelineStages& stages,
                                  Ready ready) {
    const auto done = [&] { return stopped_ || ready(); };
    while (!forCaller_.wait_for(lock, kIdleInterval, done)) {
        if (stages.idle) {
            lock.unlock();
            stages.idle();
            lock.lock();
        }
    }
    return !stopped_;
}

void BlockPipeline::TransformAll(const PipelineStages& stages) {
    for (std::size_t next = 0;; ++next) {
        {
            std::unique_lock lock(mutex_);
            if (!AwaitOnCaller(lock, stages, [&] { return next < read_; })) {
                return;
            }
        }
        PipelineBlock& block = ring_[next % ring_.size()];
        if (block.readFailure) {
            std::rethrow_exception(block.readFailure);
        }
        stages.transform(block);
        const bool last = block.last;
        {
            const std::lock_guard lock(mutex_);
            transformed_ = next + 1;
            forWriter_.notify_one();
        }
        if (last) {
            break;
        }
    }
    // The run ends when the writer has written everything.
    std::unique_lock lock(mutex_);
    AwaitOnCaller(lock, stages, [&] { return written_ == transformed_; });
}

}  // namespace vlt
