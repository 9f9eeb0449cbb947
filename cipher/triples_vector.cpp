// The triple kernels in plain 16-byte vectors (the compiler's vector types, no processor's
// own instructions): 16 triples at a time, the AVX2 kernels' way in one 128-bit lane. The
// fastest version under WebAssembly's 128-bit SIMD, whose byte shuffles with fixed orders
// are single instructions and which has no table lookup a loop could vectorise. On x86-64
// without AVX2 such shuffles have no instruction of their own, so the portable version
// stays first there and this one is only tested.
//
// A group's 48 digits, as in memory, are three vectors; digit d of triple i is byte
// 3i + d. For the arithmetic they are regrouped into three vectors of hundreds, tens and
// ones, triple i in byte i: the order of the group's plaintext and pad bytes.

#include <cstring>
#include <utility>

#include "cipher/triple_groups.h"
#include "cipher/triple_kernels.h"

namespace vlt {

namespace {

constexpr std::size_t kGroup = 16;
using Bytes = std::uint8_t __attribute__((vector_size(16)));
using Words = std::uint16_t __attribute__((vector_size(32)));

Bytes Load(const std::uint8_t* bytes) {
    Bytes v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

void Store(std::uint8_t* bytes, Bytes v) {
    std::memcpy(bytes, &v, sizeof v);
}

// 0xFF where the condition holds, else 0.
template <typename Mask>
Bytes Where(Mask mask) {
    return reinterpret_cast<Bytes>(mask);
}

// Source byte of the two-vector shuffles below; -1 is any byte.
constexpr int kAny = -1;

// Gathering digit d: the first shuffle takes from the first two vectors what lies there
// (bytes 3i + d below 32), the second adds the rest from the third.
constexpr int GatherFirst(int d, int i) {
    return 3 * i + d < 32 ? 3 * i + d : kAny;
}
constexpr int GatherSecond(int d, int i) {
    return 3 * i + d < 32 ? i : 16 + 3 * i + d - 32;
}

// Spreading into vector v: byte j holds digit (16v + j) % 3 of triple (16v + j) / 3; the
// first shuffle takes the hundreds and tens, the second the ones.
constexpr int SpreadFirst(int v, int j) {
    const int g = 16 * v + j;
    return g % 3 == 0 ? g / 3 : g % 3 == 1 ? 16 + g / 3 : kAny;
}
constexpr int SpreadSecond(int v, int j) {
    const int g = 16 * v + j;
    return g % 3 == 2 ? 16 + g / 3 : j;
}

template <int d, std::size_t... i>
Bytes GatherDigit(const Bytes* packed, std::index_sequence<i...>) {
    const Bytes low = __builtin_shufflevector(packed[0], packed[1], GatherFirst(d, i)...);
    return __builtin_shufflevector(low, packed[2], GatherSecond(d, i)...);
}

template <int v, std::size_t... j>
Bytes SpreadVector(const Bytes* planar, std::index_sequence<j...>) {
    const Bytes two = __builtin_shufflevector(planar[0], planar[1], SpreadFirst(v, j)...);
    return __builtin_shufflevector(two, planar[2], SpreadSecond(v, j)...);
}

struct Triples {
    Bytes v[3];
};

Triples Gather(const Triples& packed) {
    constexpr auto lanes = std::make_index_sequence<kGroup>();
    return {GatherDigit<0>(packed.v, lanes), GatherDigit<1>(packed.v, lanes),
            GatherDigit<2>(packed.v, lanes)};
}

Triples Spread(const Triples& planar) {
    constexpr auto lanes = std::make_index_sequence<kGroup>();
    return {SpreadVector<0>(planar.v, lanes), SpreadVector<1>(planar.v, lanes),
            SpreadVector<2>(planar.v, lanes)};
}

Triples LoadTriples(const Digit* digits) {
    return {Load(digits), Load(digits + 16), Load(digits + 32)};
}

// The three-digit forms of 16 bytes b: q = b / 10 is (b * 205) >> 11 for b below 1029, on
// 16-bit lanes; the hundreds of q (at most 25) count the tens it reaches.
Triples DigitsOf(Bytes bytes) {
    const Bytes q =
        __builtin_convertvector((__builtin_convertvector(bytes, Words) * 205) >> 11, Bytes);
    const Bytes hundreds = (Where(q >= 10) & 1) + (Where(q >= 20) & 1);
    return {hundreds, q - hundreds * 10, bytes - q * 10};
}

void EncryptVector(const std::uint8_t* data, const std::uint8_t* pad, const Digit* key,
                   std::size_t n, Digit* digits) {
    ForEachGroup<kGroup>(
        n, data, 1, pad, key, digits, 3,
        [](const std::uint8_t* in, const std::uint8_t* padIn, const Digit* keyIn, Digit* out) {
            const Triples plain = DigitsOf(Load(in)), padDigits = DigitsOf(Load(padIn));
            Triples sum;
            for (int d = 0; d < 3; ++d) {
                sum.v[d] = AddMod10(plain.v[d], padDigits.v[d]);
            }
            const Triples cipher = Spread(sum), keyDigits = LoadTriples(keyIn);
            for (int v = 0; v < 3; ++v) {
                Store(out + 16 * v, AddMod10(cipher.v[v], keyDigits.v[v]));
            }
        });
}

TripleCheck DecryptVector(const Digit* digits, const std::uint8_t* pad, const Digit* key,
                          std::size_t n, std::uint8_t* bytes) {
    Bytes top{};  // the largest cipher byte at each vector position
    // Triples above 255 at each position, counted in bytes and moved out before they
    // could wrap.
    Bytes aboveCounts{};
    std::size_t above = 0, counted = 0;
    const auto moveOut = [&] {
        for (std::size_t j = 0; j < kGroup; ++j) {
            above += aboveCounts[j];
        }
        aboveCounts = Bytes{};
        counted = 0;
    };
    ForEachGroup<kGroup>(
        n, digits, 3, pad, key, bytes, 1,
        [&](const Digit* in, const std::uint8_t* padIn, const Digit* keyIn, std::uint8_t* out) {
            const Triples cipher = LoadTriples(in), keyDigits = LoadTriples(keyIn);
            Triples unkeyed;
            for (int v = 0; v < 3; ++v) {
                top = top > cipher.v[v] ? top : cipher.v[v];
                unkeyed.v[v] = SubMod10(cipher.v[v], keyDigits.v[v]);
            }
            const Triples plain = Gather(unkeyed), padDigits = DigitsOf(Load(padIn));
            const Bytes hundreds = SubMod10(plain.v[0], padDigits.v[0]);
            const Bytes rest =
                SubMod10(plain.v[1], padDigits.v[1]) * 10 + SubMod10(plain.v[2], padDigits.v[2]);
            Store(out, hundreds * 100 + rest);
            // 100h + rest is above 255 for h above 2, and for h = 2 from rest 56 on.
            aboveCounts += Where((hundreds > 2) | ((hundreds == 2) & (rest >= 56))) & 1;
            if (++counted == 255) {
                moveOut();
            }
        });
    moveOut();
    TripleCheck check;
    check.aboveRange = above;
    for (std::size_t j = 0; j < kGroup; ++j) {
        check.allDigits = check.allDigits && top[j] <= 9;
    }
    return check;
}

}  // namespace

const TripleKernels kVectorTripleKernels = {"vector", EncryptVector, DecryptVector};

}  // namespace vlt
