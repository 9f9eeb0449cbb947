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
    lastRead_ = lastTransformed_ = transformEnded_ = stopped_ = false;
    writeFailure_ = nullptr;

    std::exception_ptr transformFailure;
    {
        std::jthread io;
        try {
            io = std::jthread([&] { IoAll(stages); });
            TransformAll(stages);
        } catch (...) {  // including a thread that could not be started
            transformFailure = std::current_exception();
        }
        const std::lock_guard lock(mutex_);
        transformEnded_ = true;
        forIo_.notify_one();
    }  // joins the I/O thread, once it has written every transformed block
    // The writes lag behind the transform: a write failure belongs to an earlier block.
    if (writeFailure_) {
        std::rethrow_exception(writeFailure_);
    }
    if (transformFailure) {
        std::rethrow_exception(transformFailure);
    }
}

bool BlockPipeline::IoMayGo() const {
    const std::size_t toWrite = transformed_ - written_;
    const std::size_t toRead = lastRead_ ? 0 : ring_.size() - (read_ - written_);
    return transformEnded_ || toWrite + toRead >= Half() || (lastTransformed_ && toWrite != 0);
}

bool BlockPipeline::CallerMayGo() const {
    return stopped_ || lastRead_ || read_ - transformed_ >= Half();
}

BlockPipeline::IoStep BlockPipeline::NextIoStep(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        // Writing first frees the ring for reading.
        if (written_ < transformed_) {
            return IoStep::Write;
        }
        if (transformEnded_) {
            return IoStep::Done;
        }
        if (!lastRead_ && read_ - written_ < ring_.size()) {
            return IoStep::Read;
        }
        forIo_.wait(lock, [&] { return IoMayGo(); });
    }
}

void BlockPipeline::IoAll(const PipelineStages& stages) {
    std::unique_lock lock(mutex_);
    for (;;) {
        const IoStep step = NextIoStep(lock);
        if (step == IoStep::Done) {
            return;
        }
        if (step == IoStep::Read) {
            PipelineBlock& block = ring_[read_ % ring_.size()];
            lock.unlock();
            block.readFailure = nullptr;
            try {
                block.last = !stages.read(block);
            } catch (...) {
                block.readFailure = std::current_exception();
                block.last = true;
            }
            lock.lock();
            ++read_;
            lastRead_ = block.last;
            if (CallerMayGo()) {
                forCaller_.notify_one();
            }
            continue;
        }
        const PipelineBlock& block = ring_[written_ % ring_.size()];
        lock.unlock();
        try {
            stages.write(block);
        } catch (...) {
            lock.lock();
            writeFailure_ = std::current_exception();
            stopped_ = true;
            forCaller_.notify_one();
            return;
        }
        lock.lock();
        ++written_;
        if (lastTransformed_ && written_ == transformed_) {
            forCaller_.notify_one();
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
    for (;;) {
        std::size_t next;
        {
            std::unique_lock lock(mutex_);
            next = transformed_;
            // Nothing read: wait for half a ring of blocks, or the end.
            if (next == read_ &&
                !AwaitOnCaller(lock, stages, [&] { return next < read_ && CallerMayGo(); })) {
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
            lastTransformed_ = last;
            if (IoMayGo()) {
                forIo_.notify_one();
            }
        }
        if (last) {
            break;
        }
    }
    // The run ends when the I/O thread has written everything.
    std::unique_lock lock(mutex_);
    AwaitOnCaller(lock, stages, [&] { return written_ == transformed_; });
}

}  // namespace vlt
