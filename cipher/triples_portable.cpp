// The portable triple kernels, written with vector extensions only: the
// version for processors without AVX2, and BytesToDigits for all.

#include <cstring>

#include "triple_groups.h"
#include "triple_kernels.h"

#define VLT_INLINE [[gnu::always_inline]] inline

namespace vlt {

namespace {

// Eight triples at a time, each in a 4-byte slot: hundreds, tens, ones, 0.
// The slot's two 16-bit halves are worked on side by side: the low half holds
// hundreds and tens, the high half the ones.
constexpr std::size_t kGroup = 8;
constexpr std::size_t kSpare = 2;  // LoadPacked and StorePacked pass their 24 digits by 4
using Bytes8 = std::uint8_t __attribute__((vector_size(8)));
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
using Bytes32 = std::uint8_t __attribute__((vector_size(32)));
using Halves16 = std::uint16_t __attribute__((vector_size(32)));
using Words8 = std::uint32_t __attribute__((vector_size(32)));
using Quads4 = std::uint64_t __attribute__((vector_size(32)));

// Per-half constants: the first value for low halves, the second for high ones.
constexpr Halves16 PerHalf(std::uint16_t low, std::uint16_t high) {
    return Halves16{low, high, low, high, low, high, low, high,
                    low, high, low, high, low, high, low, high};
}

// Vector conversions are spelled as byte shuffles: the compiler turns those
// into single shuffle instructions, while a plain conversion goes lane by lane.

// Eight bytes b, each in both halves of its slot.
VLT_INLINE Halves16 LoadHalves(const std::uint8_t* bytes) {
    std::uint64_t eight;
    std::memcpy(&eight, bytes, sizeof eight);
    const Bytes32 copies = reinterpret_cast<Bytes32>(Quads4{eight, eight, eight, eight});
    const Bytes32 spread =
        __builtin_shufflevector(copies, copies, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 20,
                                20, 20, 20, 21, 21, 21, 21, 22, 22, 22, 22, 23, 23, 23, 23);
    return reinterpret_cast<Halves16>(spread) & 0xFF;
}

// The three-digit forms of eight bytes, given in both halves of their slots.
// Division by multiplication: (x * 205) >> 11 is x / 10 for x below 1029. With
// q = b / 10 and h = q / 10, the low half is h + (q - 10h) * 256 = 256q - 2559h
// and the high half b - 10q (in 16-bit wrap-around arithmetic).
VLT_INLINE Bytes32 ThreeDigitSlots(Halves16 b) {
    const Halves16 q = (b * 205) >> 11;
    const Halves16 h = (q * 205) >> 11;
    const Halves16 slots = (b & PerHalf(0, 0xFFFF)) + q * PerHalf(256, -10) + h * PerHalf(-2559, 0);
    return reinterpret_cast<Bytes32>(slots);
}

// Each slot's three digits read as a decimal number 0 to 999.
VLT_INLINE Words8 SlotValues(Bytes32 slots) {
    const Halves16 halves = reinterpret_cast<Halves16>(slots);
    const Halves16 parts = (halves & 0xFF) * PerHalf(100, 1) + (halves >> 8) * PerHalf(10, 0);
    const Words8 words = reinterpret_cast<Words8>(parts);
    return (words & 0xFFFF) + (words >> 16);
}

// The low byte of each of the eight words.
VLT_INLINE void StoreLowBytes(std::uint8_t* bytes, Words8 words) {
    const Bytes32 all = reinterpret_cast<Bytes32>(words);
    const Bytes8 low = __builtin_shufflevector(all, all, 0, 4, 8, 12, 16, 20, 24, 28);
    std::memcpy(bytes, &low, sizeof low);
}

VLT_INLINE Bytes32 LoadSlots(const std::uint8_t* bytes) {
    return ThreeDigitSlots(LoadHalves(bytes));
}

// 24 digits in two 128-bit lanes of 12 (and 4 bytes of scratch each): the
// layout of the digits in memory, two loads or stores per group.
VLT_INLINE Bytes32 LoadPacked(const Digit* digits) {
    Bytes16 low, high;
    std::memcpy(&low, digits, sizeof low);
    std::memcpy(&high, digits + 12, sizeof high);
    return __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
                                   16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
}

VLT_INLINE void StorePacked(Digit* digits, Bytes32 packed) {
    const Bytes16 low = __builtin_shufflevector(packed, packed, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                                11, 12, 13, 14, 15);
    const Bytes16 high = __builtin_shufflevector(packed, packed, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                                 25, 26, 27, 28, 29, 30, 31);
    std::memcpy(digits, &low, sizeof low);
    std::memcpy(digits + 12, &high, sizeof high);
}

// Slots to packed digits and back; the slots' fourth bytes are scratch.
VLT_INLINE Bytes32 Pack(Bytes32 slots) {
    return __builtin_shufflevector(slots, slots, 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0, 0, 0, 0,
                                   16, 17, 18, 20, 21, 22, 24, 25, 26, 28, 29, 30, 16, 16, 16, 16);
}

VLT_INLINE Bytes32 Unpack(Bytes32 packed) {
    return __builtin_shufflevector(packed, packed, 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0,
                                   16, 17, 18, 16, 19, 20, 21, 16, 22, 23, 24, 16, 25, 26, 27, 16);
}

// Stands for the key in the kernels that take none.
const Digit kNoKey[3 * (kGroup + kSpare)] = {};

void EncryptPortable(const std::uint8_t* data, const std::uint8_t* pad, const Digit* key,
                     std::size_t n, Digit* digits) {
    ForEachGroup<kGroup, kSpare>(
        n, data, 1, pad, key, 3, digits, 3,
        [](const std::uint8_t* in, const std::uint8_t* padIn, const Digit* keyIn, Digit* out) {
            const Bytes32 sum = Pack(AddMod10(LoadSlots(in), LoadSlots(padIn)));
            StorePacked(out, AddMod10(sum, LoadPacked(keyIn)));
        });
}

TripleCheck DecryptPortable(const Digit* digits, const std::uint8_t* pad, const Digit* key,
                            std::size_t n, std::uint8_t* bytes) {
    Words8 above = {};
    Bytes32 top = {};
    ForEachGroup<kGroup, kSpare>(
        n, digits, 3, pad, key, 3, bytes, 1,
        [&](const Digit* in, const std::uint8_t* padIn, const Digit* keyIn, std::uint8_t* out) {
            const Bytes32 cipher = LoadPacked(in);
            top = cipher > top ? cipher : top;
            const Bytes32 unkeyed = Unpack(SubMod10(cipher, LoadPacked(keyIn)));
            const Words8 values = SlotValues(SubMod10(unkeyed, LoadSlots(padIn)));
            above -= reinterpret_cast<Words8>(values > 255);
            StoreLowBytes(out, values);
        });
    TripleCheck check;
    for (std::size_t lane = 0; lane < kGroup; ++lane) {
        check.aboveRange += above[lane];
    }
    for (std::size_t lane = 0; lane < sizeof top; ++lane) {
        check.allDigits = check.allDigits && top[lane] <= 9;
    }
    return check;
}

}  // namespace

const TripleKernels kPortableTripleKernels = {"portable", EncryptPortable, DecryptPortable};

VLT_DISPATCHED
void BytesToDigits(const std::uint8_t* bytes, std::size_t n, Digit* digits) {
    ForEachGroup<kGroup, kSpare>(n, bytes, 1, bytes, kNoKey, 0, digits, 3,
                                 [](const std::uint8_t* in, const std::uint8_t*, const Digit*,
                                    Digit* out) { StorePacked(out, Pack(LoadSlots(in))); });
}

}  // namespace vlt
