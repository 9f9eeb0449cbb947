#include "cipher/block_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vlt {
namespace {

constexpr std::size_t kRing = 3;
// A ring of one block runs on the calling thread alone; it must behave the same.
constexpr std::size_t kRings[] = {1, kRing};

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A run over `blocks` numbered blocks: block i is read as the byte i, doubled
// by the transform and collected by the writer. Fail points throw there.
class PipelineRun {
  public:
    explicit PipelineRun(std::size_t blocks, std::size_t ring = kRing)
        : blocks_(blocks), ring_(ring) {}

    std::size_t failReadAt = SIZE_MAX, failTransformAt = SIZE_MAX, failWriteAt = SIZE_MAX;
    std::chrono::milliseconds writeTime{0};
    std::function<void()> idle;
    std::vector<std::uint8_t> written;
    std::vector<std::size_t> transformed;
    std::size_t mostInFlight = 0;  // blocks read but not yet written, at most

    void Run() {
        BlockPipeline pipeline(ring_, 1, 1);
        const PipelineStages stages{
            .read =
                [&](PipelineBlock& block) {
                    const std::size_t i = reads_++;
                    mostInFlight = std::max(mostInFlight, reads_ - writes_.load());
                    if (i == failReadAt) {
                        throw Failure("read " + std::to_string(i));
                    }
                    block.in[0] = static_cast<std::uint8_t>(i);
                    block.inSize = i < blocks_ ? 1 : 0;
                    return i < blocks_;
                },
            .transform =
                [&](PipelineBlock& block) {
                    const std::size_t i = transformed.size();
                    if (i == failTransformAt) {
                        throw Failure("transform " + std::to_string(i));
                    }
                    transformed.push_back(block.in[0]);
                    block.out[0] = static_cast<std::uint8_t>(2 * block.in[0]);
                    block.outSize = block.inSize;
                },
            .write =
                [&](const PipelineBlock& block) {
                    std::this_thread::sleep_for(writeTime);
                    if (written.size() == failWriteAt) {
                        throw Failure("write " + std::to_string(written.size()));
                    }
                    if (block.outSize != 0) {
                        written.push_back(block.out[0]);
                    }
                    ++writes_;
                },
            .idle = idle,
        };
        pipeline.Run(stages);
    }

  private:
    std::size_t blocks_;
    std::size_t ring_;
    std::size_t reads_ = 0;
    std::atomic<std::size_t> writes_ = 0;
};

std::vector<std::uint8_t> Doubled(std::size_t n) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(static_cast<std::uint8_t>(2 * i));
    }
    return out;
}

TEST(BlockPipeline, EveryBlockPassesInOrderWithinTheRing) {
    for (const std::size_t ring : kRings) {
        for (const std::size_t blocks :
             {std::size_t{0}, std::size_t{1}, kRing - 1, kRing, kRing + 1, std::size_t{200}}) {
            PipelineRun run(blocks, ring);
            run.Run();
            EXPECT_EQ(run.written, Doubled(blocks)) << blocks << " in a ring of " << ring;
            EXPECT_EQ(run.transformed.size(), blocks + 1) << "the end block is transformed too";
            EXPECT_LE(run.mostInFlight, ring) << blocks;
        }
    }
}

// Failures surface as a plain loop would report them: the earliest block's,
// with every block before it written.
TEST(BlockPipeline, FailuresAreRethrownInBlockOrder) {
    const struct {
        std::size_t read, transform, write;
        const char* says;
        std::size_t written;
    } cases[] = {
        {5, SIZE_MAX, SIZE_MAX, "read 5", 5},
        {0, SIZE_MAX, SIZE_MAX, "read 0", 0},
        {SIZE_MAX, 4, SIZE_MAX, "transform 4", 4},
        {SIZE_MAX, SIZE_MAX, 3, "write 3", 3},
        {7, 6, SIZE_MAX, "transform 6", 6},  // the read failure comes after
        {6, 9, SIZE_MAX, "read 6", 6},
        {SIZE_MAX, 8, 2, "write 2", 2},  // the writer's block is the earlier one
    };
    for (const std::size_t ring : kRings) {
        for (const auto& c : cases) {
            PipelineRun run(20, ring);
            run.failReadAt = c.read;
            run.failTransformAt = c.transform;
            run.failWriteAt = c.write;
            try {
                run.Run();
                ADD_FAILURE() << c.says << ": no failure";
            } catch (const Failure& failure) {
                EXPECT_STREQ(failure.what(), c.says);
            }
            EXPECT_EQ(run.written.size(), c.written) << c.says;
            EXPECT_EQ(run.written, Doubled(run.written.size())) << c.says;
            if (c.read != SIZE_MAX && c.transform == SIZE_MAX && c.write == SIZE_MAX) {
                EXPECT_EQ(run.transformed.size(), c.read) << "every block before the bad read";
            }
        }
    }
}

// While the writer is slow the caller's thread keeps calling idle, which can
// stop the run (a cancellation) before the input ends.
TEST(BlockPipeline, IdleRunsWhileWaitingAndCanStopTheRun) {
    PipelineRun run(1000);
    int idleCalls = 0;
    run.writeTime = std::chrono::milliseconds(30);
    run.idle = [&] {
        if (++idleCalls == 5) {
            throw Failure("cancelled");
        }
    };
    EXPECT_THROW(run.Run(), Failure);
    EXPECT_EQ(idleCalls, 5);
    EXPECT_LT(run.transformed.size(), 1000u);
    EXPECT_EQ(run.written, Doubled(run.transformed.size()));
}

TEST(BlockPipeline, RunsAgainAfterAFailure) {
    BlockPipeline pipeline(kRing, 1, 1);
    int reads = 0;
    std::vector<int> written;
    const auto stages = [&](bool fail) {
        return PipelineStages{
            .read = [&reads](PipelineBlock& block) { return (block.inSize = reads++ % 4 < 3); },
            .transform =
                [fail](PipelineBlock& block) {
                    if (fail) {
                        throw Failure("transform");
                    }
                    block.outSize = block.inSize;
                },
            .write = [&](const PipelineBlock& block) { written.push_back(block.outSize); },
            .idle = {},
        };
    };
    EXPECT_THROW(pipeline.Run(stages(true)), Failure);
    EXPECT_TRUE(written.empty());
    reads = 0;
    pipeline.Run(stages(false));
    EXPECT_EQ(written, (std::vector<int>{1, 1, 1, 0}));
}

}  // namespace
}  // namespace vlt
