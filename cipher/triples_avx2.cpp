// The triple kernels for processors with AVX2: 32 triples at a time, in full
// 32-byte vectors. Only the functions marked VLT_AVX2 or VLT_AVX2_CODE use
// AVX2, so the rest of the program still runs on any x86-64.
//
// A group's 96 digits are held in three vectors, each 128-bit lane holding 16
// triples (48 digits): lane 0 triples 0 to 15, lane 1 triples 16 to 31. Within
// a lane, digit d of triple i sits at byte 3i + d of the lane's 48, which is
// in vector (3i + d) / 16. For the arithmetic the digits are regrouped into
// three vectors of hundreds, tens and ones, triple i in byte i: the order of the
// group's plaintext and pad bytes.

#include <immintrin.h>

#include <array>
#include <bit>

#include "cipher/triple_groups.h"
#include "cipher/triple_kernels.h"

// Code for processors with AVX2 (which all have POPCNT too), and the same always inlined.
#define VLT_AVX2_CODE __attribute__((target("avx2,popcnt")))
#define VLT_AVX2 __attribute__((always_inline, target("avx2,popcnt"))) inline

namespace vlt {

namespace {

constexpr std::size_t kGroup = 32;

using Bytes32 = std::uint8_t __attribute__((vector_size(32)));

// A 16-byte table, the same in both lanes: shuffle indices, lane-local masks
// or a lookup table indexed by a digit.
using Table = std::array<std::uint8_t, 16>;

template <typename Entry>
constexpr Table MakeTable(Entry entry) {
    Table table{};
    for (unsigned j = 0; j < table.size(); ++j) {
        table[j] = static_cast<std::uint8_t>(entry(j));
    }
    return table;
}

// The bytes j of a lane with j % 3 == r.
constexpr std::array<Table, 3> kPhase = {
    MakeTable([](unsigned j) { return j % 3 == 0 ? 0xFF : 0; }),
    MakeTable([](unsigned j) { return j % 3 == 1 ? 0xFF : 0; }),
    MakeTable([](unsigned j) { return j % 3 == 2 ? 0xFF : 0; }),
};

// Byte i of a lane's digits d: byte (3i + d) % 16 of the vector they come from.
constexpr Table GatherOrder(unsigned d) {
    return MakeTable([d](unsigned i) { return (3 * i + d) % 16; });
}

// The inverse order: byte j takes digit d of the triple i with (3i + d) % 16 == j.
constexpr Table SpreadOrder(unsigned d) {
    return MakeTable([d](unsigned j) {
        unsigned i = 0;
        while ((3 * i + d) % 16 != j) {
            ++i;
        }
        return i;
    });
}

constexpr std::array<Table, 3> kGather = {GatherOrder(0), GatherOrder(1), GatherOrder(2)};
constexpr std::array<Table, 3> kSpread = {SpreadOrder(0), SpreadOrder(1), SpreadOrder(2)};

// Indexed by m = q / 2 for q = b / 10 of a byte b (m is at most 12): the
// hundreds of b, and ten times them.
constexpr Table kHundredsOfHalfQ = MakeTable([](unsigned m) { return 2 * m / 10; });
constexpr Table kTenHundredsOfHalfQ = MakeTable([](unsigned m) { return 2 * m / 10 * 10; });

// Indexed by a digit.
constexpr Table kTimes10 = MakeTable([](unsigned t) { return 10 * t; });
constexpr Table kTimes100Mod256 = MakeTable([](unsigned h) { return 100 * h % 256; });
// For a triple 100h + r (r = 10t + o, 0 to 99): r plus entry h has its top bit
// set exactly when the triple is above 255 (for h = 2: when r >= 56).
constexpr Table kAboveRangeBias = MakeTable([](unsigned h) {
    return h < 2 ? 0 : h == 2 ? 128 - 56 : 128;
});

VLT_AVX2 __m256i Broadcast(const Table& table) {
    return _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data())));
}

VLT_AVX2 __m256i Load(const std::uint8_t* bytes) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
}

VLT_AVX2 void Store(std::uint8_t* bytes, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes), v);
}

VLT_AVX2 __m256i Lookup(const Table& table, __m256i indices) {
    return _mm256_shuffle_epi8(Broadcast(table), indices);
}

// Byte j from `a` if the mask's byte j is 0, from `b` if it is 0xFF.
VLT_AVX2 __m256i Select(__m256i a, __m256i b, const Table& mask) {
    return _mm256_blendv_epi8(a, b, Broadcast(mask));
}

// The digit rules reached through references: clang refuses a call that passes
// 32-byte vectors by value between an AVX2 function and one without AVX, even
// one that is always inlined. These bridges have no AVX2 of their own, so the
// rules are called from a function of the same kind, then all is inlined.
[[gnu::always_inline]] inline void AddInto(Bytes32& sum, const Bytes32& a, const Bytes32& b) {
    sum = AddMod10(a, b);
}

[[gnu::always_inline]] inline void SubInto(Bytes32& difference, const Bytes32& c,
                                           const Bytes32& k) {
    difference = SubMod10(c, k);
}

VLT_AVX2 __m256i Add(__m256i a, __m256i b) {
    Bytes32 sum;
    AddInto(sum, reinterpret_cast<Bytes32>(a), reinterpret_cast<Bytes32>(b));
    return reinterpret_cast<__m256i>(sum);
}

VLT_AVX2 __m256i Sub(__m256i c, __m256i k) {
    Bytes32 difference;
    SubInto(difference, reinterpret_cast<Bytes32>(c), reinterpret_cast<Bytes32>(k));
    return reinterpret_cast<__m256i>(difference);
}

// A group's 96 digits as in memory, lane-split as described at the top.
struct Packed {
    __m256i v[3];
};

// Hundreds, tens and ones of the group's 32 triples.
struct Planar {
    __m256i d[3];
};

VLT_AVX2 Packed LoadPacked(const Digit* digits) {
    Packed packed;
    for (int v = 0; v < 3; ++v) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 16 * v));
        const __m128i high =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits + 48 + 16 * v));
        packed.v[v] = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    }
    return packed;
}

VLT_AVX2 void StorePacked(Digit* digits, const Packed& packed) {
    for (int v = 0; v < 3; ++v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 16 * v),
                         _mm256_castsi256_si128(packed.v[v]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 48 + 16 * v),
                         _mm256_extracti128_si256(packed.v[v], 1));
    }
}

// Lane byte j of vector v holds digit (j + v) % 3 (16 is 1 modulo 3), so
// digit d sits in vector v at the bytes j with j % 3 == (d - v) % 3. One
// select from each vector collects a digit's 16 bytes, one shuffle orders them.
VLT_AVX2 Planar Gather(const Packed& packed) {
    Planar planar;
    for (int d = 0; d < 3; ++d) {
        const __m256i mixed = Select(Select(packed.v[0], packed.v[1], kPhase[(d + 2) % 3]),
                                     packed.v[2], kPhase[(d + 1) % 3]);
        planar.d[d] = _mm256_shuffle_epi8(mixed, Broadcast(kGather[d]));
    }
    return planar;
}

// The inverse of Gather: shuffle each digit's bytes to their places, then
// select from the three for each vector.
VLT_AVX2 Packed Spread(const Planar& planar) {
    __m256i spread[3];
    for (int d = 0; d < 3; ++d) {
        spread[d] = _mm256_shuffle_epi8(planar.d[d], Broadcast(kSpread[d]));
    }
    Packed packed;
    for (int v = 0; v < 3; ++v) {
        packed.v[v] = Select(Select(spread[v], spread[(v + 1) % 3], kPhase[1]), spread[(v + 2) % 3],
                             kPhase[2]);
    }
    return packed;
}

// The three-digit forms of 32 bytes b. Division by multiplication on 16-bit
// lanes, even and odd bytes apart: q = b / 10 is (b * 6554) >> 16 for b below
// 256. The ones are b - 10q (10q computed on both bytes of a lane at once never
// carries), the hundreds are looked up by q / 2 and the tens are q - 10h.
VLT_AVX2 Planar DigitsOf(__m256i bytes) {
    const __m256i tenth = _mm256_set1_epi16(6554);
    const __m256i even = _mm256_and_si256(bytes, _mm256_set1_epi16(0x00FF));
    const __m256i odd = _mm256_srli_epi16(bytes, 8);
    const __m256i q = _mm256_or_si256(_mm256_mulhi_epu16(even, tenth),
                                      _mm256_slli_epi16(_mm256_mulhi_epu16(odd, tenth), 8));
    const __m256i halfQ = _mm256_and_si256(_mm256_srli_epi16(q, 1), _mm256_set1_epi8(0x7F));
    Planar planar;
    planar.d[0] = Lookup(kHundredsOfHalfQ, halfQ);
    planar.d[1] = _mm256_sub_epi8(q, Lookup(kTenHundredsOfHalfQ, halfQ));
    planar.d[2] = _mm256_sub_epi8(bytes, _mm256_mullo_epi16(q, _mm256_set1_epi16(10)));
    return planar;
}

VLT_AVX2_CODE void EncryptAvx2(const std::uint8_t* data, const std::uint8_t* pad, const Digit* key,
                               std::size_t n, Digit* digits) {
    ForEachGroup<kGroup>(
        n, data, 1, pad, key, digits, 3,
        [](const std::uint8_t* in, const std::uint8_t* padIn, const Digit* keyIn, Digit* out)
            VLT_AVX2_CODE {
                const Planar plain = DigitsOf(Load(in)), padDigits = DigitsOf(Load(padIn));
                Planar sum;
                for (int d = 0; d < 3; ++d) {
                    sum.d[d] = Add(plain.d[d], padDigits.d[d]);
                }
                Packed cipher = Spread(sum);
                const Packed keyDigits = LoadPacked(keyIn);
                for (int v = 0; v < 3; ++v) {
                    cipher.v[v] = Add(cipher.v[v], keyDigits.v[v]);
                }
                StorePacked(out, cipher);
            });
}

VLT_AVX2_CODE TripleCheck DecryptAvx2(const Digit* digits, const std::uint8_t* pad,
                                      const Digit* key, std::size_t n, std::uint8_t* bytes) {
    __m256i top = _mm256_setzero_si256();  // the largest cipher byte at each vector position
    std::size_t above = 0;
    ForEachGroup<kGroup>(
        n, digits, 3, pad, key, bytes, 1,
        [&](const Digit* in, const std::uint8_t* padIn, const Digit* keyIn, std::uint8_t* out)
            VLT_AVX2_CODE {
                const Packed cipher = LoadPacked(in), keyDigits = LoadPacked(keyIn);
                Packed unkeyed;
                for (int v = 0; v < 3; ++v) {
                    top = _mm256_max_epu8(top, cipher.v[v]);
                    unkeyed.v[v] = Sub(cipher.v[v], keyDigits.v[v]);
                }
                const Planar unkeyedDigits = Gather(unkeyed), padDigits = DigitsOf(Load(padIn));
                const __m256i hundreds = Sub(unkeyedDigits.d[0], padDigits.d[0]);
                const __m256i tens = Sub(unkeyedDigits.d[1], padDigits.d[1]);
                const __m256i ones = Sub(unkeyedDigits.d[2], padDigits.d[2]);
                const __m256i rest = _mm256_add_epi8(Lookup(kTimes10, tens), ones);
                Store(out, _mm256_add_epi8(Lookup(kTimes100Mod256, hundreds), rest));
                const __m256i biased = _mm256_add_epi8(rest, Lookup(kAboveRangeBias, hundreds));
                above += std::popcount(static_cast<std::uint32_t>(_mm256_movemask_epi8(biased)));
            });
    const __m256i nine = _mm256_set1_epi8(9);
    TripleCheck check;
    check.aboveRange = above;
    check.allDigits =
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(top, nine), nine)) == -1;
    return check;
}

}  // namespace

const TripleKernels kAvx2TripleKernels = {"avx2", EncryptAvx2, DecryptAvx2};

}  // namespace vlt
