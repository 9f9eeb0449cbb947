#pragma once

// The versions of the triple kernels for each kind of processor. EncryptTriples
// and DecryptTriples run the fastest one the processor can run; the tests run
// every one it can run against the same cases.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cipher/digit_ops.h"

namespace vlt {

struct TripleKernels {
    const char* name;
    void (*encrypt)(const std::uint8_t* data, const std::uint8_t* pad, const Digit* key,
                    std::size_t n, Digit* digits);
    TripleCheck (*decrypt)(const Digit* digits, const std::uint8_t* pad, const Digit* key,
                           std::size_t n, std::uint8_t* bytes);
};

extern const TripleKernels kPortableTripleKernels;  // any x86-64
extern const TripleKernels kAvx2TripleKernels;      // 32 triples at a time with AVX2
extern const TripleKernels kVectorTripleKernels;    // 16 at a time, for WebAssembly's SIMD

// The versions that run here (see UseAvx2Kernels), the fastest first.
std::vector<const TripleKernels*> RunnableTripleKernels();

}  // namespace vlt
