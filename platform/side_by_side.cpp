#include "platform/side_by_side.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace vlt {

void SideBySide(std::size_t count, const std::function<void(std::size_t)>& each) {
    constexpr std::size_t kMostThreads = 16;
    const std::size_t lanes = std::min(count, kMostThreads);
    const auto lane = [&](std::size_t first) {
        for (std::size_t i = first; i < count; i += lanes) {
            each(i);
        }
    };
    std::vector<std::jthread> helpers;
    std::size_t started = 1;
    try {
        for (; started < lanes; ++started) {
            helpers.emplace_back(lane, started);
        }
    } catch (const std::system_error&) {  // no more threads: the rest run here
    }
    for (std::size_t rest = started; rest < lanes; ++rest) {
        lane(rest);
    }
    lane(0);
}  // the helpers join here

}  // namespace vlt
