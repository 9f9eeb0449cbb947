#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cipher/pad_stream.h"
#include "platform/classic_rnd.h"
#include "tests/support/keyed_pad_stream.h"

namespace vlt {
namespace {

// The pad values one draw at a time, as the original drew them.
std::vector<std::uint8_t> DrawnOneByOne(std::uint64_t skipDraws, std::size_t count) {
    ClassicRnd rnd(skipDraws);
    std::vector<std::uint8_t> values(count);
    for (std::uint8_t& v : values) {
        v = ClassicRnd::PadValue(rnd.NextState());
    }
    return values;
}

std::vector<Digit> DigitsOf(const std::vector<std::uint8_t>& values) {
    std::vector<Digit> digits;
    for (const std::uint8_t v : values) {
        const std::string form = std::to_string(1000 + v).substr(1);
        for (const char c : form) {
            digits.push_back(static_cast<Digit>(c - '0'));
        }
    }
    return digits;
}

// Counts around the generator's 32 lanes, from starts that include the wrap
// of its 2^24 period.
TEST(PadLanes, ValuesEqualDrawingOneByOne) {
    const std::uint64_t period = std::uint64_t{1} << 24;
    for (const std::uint64_t start : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{31},
                                      std::uint64_t{1000}, period - 40, period - 1}) {
        for (const std::size_t count : {0u, 1u, 31u, 32u, 33u, 63u, 64u, 65u, 1000u, 5000u}) {
            PadStream pad(3 * start);
            std::vector<std::uint8_t> values(count);
            pad.NextValues(values.data(), count);
            ASSERT_EQ(values, DrawnOneByOne(start, count)) << start << " + " << count;
            std::uint8_t next = 0;
            pad.NextValues(&next, 1);
            EXPECT_EQ(next, DrawnOneByOne(start + count, 1)[0]) << start << " + " << count;
        }
    }
}

TEST(PadLanes, ValuesContinueAcrossCalls) {
    PadStream pad;
    std::vector<std::uint8_t> all;
    for (const std::size_t count : {33u, 1u, 32u, 0u, 100u, 7u}) {
        std::vector<std::uint8_t> values(count);
        pad.NextValues(values.data(), count);
        all.insert(all.end(), values.begin(), values.end());
    }
    EXPECT_EQ(all, DrawnOneByOne(0, all.size()));
}

// Digits in pieces that start and end inside triples, against the one-by-one draws.
TEST(PadLanes, DigitsInAnyPiecesEqualDrawingOneByOne) {
    const std::vector<Digit> expected = DigitsOf(DrawnOneByOne(0, 6000));
    for (const std::size_t piece : {1u, 2u, 4u, 97u, 3071u, 3074u}) {
        PadDigits pad;
        std::vector<Digit> got(expected.size());
        for (std::size_t at = 0; at < got.size(); at += piece) {
            pad.Next(got.data() + at, std::min(piece, got.size() - at));
        }
        ASSERT_EQ(got, expected) << piece;
    }
}

}  // namespace
}  // namespace vlt
