#include "cipher/digit_ops.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "cipher/triple_kernels.h"

namespace vlt {

namespace {

const TripleKernels& FastestTripleKernels() {
    static const TripleKernels& fastest = *RunnableTripleKernels().front();
    return fastest;
}

// Whole runs are checked with a branch-free maximum; only a bad run is searched.
[[gnu::always_inline]] inline std::size_t FirstNonDigitLoop(const std::uint8_t* bytes,
                                                            std::size_t n) {
    constexpr std::size_t kRun = 64;
    std::size_t i = 0;
    for (; i + kRun <= n; i += kRun) {
        std::uint8_t top = 0;
        for (std::size_t j = 0; j < kRun; ++j) {
            top = std::max(top, bytes[i + j]);
        }
        if (top > 9) {
            break;
        }
    }
    for (; i < n; ++i) {
        if (bytes[i] > 9) {
            return i;
        }
    }
    return n;
}

[[gnu::target("avx2")]] std::size_t FirstNonDigitAvx2(const std::uint8_t* bytes, std::size_t n) {
    return FirstNonDigitLoop(bytes, n);
}

std::size_t FirstNonDigitBaseline(const std::uint8_t* bytes, std::size_t n) {
    return FirstNonDigitLoop(bytes, n);
}

}  // namespace

bool UseAvx2Kernels() {
#if defined(__x86_64__)
    static const bool use = [] {
        const char* asked = std::getenv("VLT_KERNELS");
        if (asked != nullptr && std::string_view(asked) == "baseline") {
            return false;
        }
        // Also safe before the run-time library has looked at the processor.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    }();
    return use;
#else
    // Elsewhere (WebAssembly, for the browser page) the AVX2 kernels are not built.
    return false;
#endif
}

std::vector<const TripleKernels*> RunnableTripleKernels() {
    std::vector<const TripleKernels*> kernels;
#if defined(__x86_64__)
    if (UseAvx2Kernels()) {
        kernels.push_back(&kAvx2TripleKernels);
    }
    kernels.push_back(&kPortableTripleKernels);
    kernels.push_back(&kVectorTripleKernels);
#else
    kernels.push_back(&kVectorTripleKernels);
    kernels.push_back(&kPortableTripleKernels);
#endif
    return kernels;
}

void EncryptTriples(const std::uint8_t* data, const std::uint8_t* pad, const Digit* key,
                    std::size_t n, Digit* digits) {
    FastestTripleKernels().encrypt(data, pad, key, n, digits);
}

TripleCheck DecryptTriples(const Digit* digits, const std::uint8_t* pad, const Digit* key,
                           std::size_t n, std::uint8_t* bytes) {
    return FastestTripleKernels().decrypt(digits, pad, key, n, bytes);
}

std::size_t FirstNonDigit(const std::uint8_t* bytes, std::size_t n) {
    static const auto run = PickKernel(FirstNonDigitAvx2, FirstNonDigitBaseline);
    return run(bytes, n);
}

}  // namespace vlt
