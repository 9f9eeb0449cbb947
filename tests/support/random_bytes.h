#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vlt::testing_support {

// `n` values below `limit` (10 gives digits), the same for the same seed.
inline std::vector<std::uint8_t> RandomValues(std::size_t n, unsigned seed, unsigned limit = 256) {
    std::mt19937_64 rng(seed);
    std::vector<std::uint8_t> values(n);
    for (std::uint8_t& v : values) {
        v = static_cast<std::uint8_t>(rng() % limit);
    }
    return values;
}

// The same as a file's content.
inline std::string RandomBytes(std::size_t n, unsigned seed) {
    const std::vector<std::uint8_t> values = RandomValues(n, seed);
    return {values.begin(), values.end()};
}

}  // namespace vlt::testing_support
