#pragma once

// The .vlt format as streams of bytes: plaintext in, cipher digits out and
// back, in pushes of any size, with the end of a file written or checked by
// Finish. The one home of the framing (end triple, final zero, length rules)
// and of what a file that is not whole gets. It knows no files, threads or
// clocks and throws nothing for a bad file: every outcome is a value in
// report(), so that the desktop run and the browser page build it alike.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "cipher/block_cipher.h"
#include "cipher/vlt_format.h"

namespace vlt {

class VltEncryptStream {
  public:
    // Starts a file: the cipher is set back to its first position.
    explicit VltEncryptStream(BlockCipher& cipher);

    // Room `out` needs for a push of `plainBytes`.
    static constexpr std::size_t OutputRoom(std::size_t plainBytes) { return 3 * plainBytes; }

    // Writes the 3 * plain.size() cipher digits of `plain`.
    void Push(std::span<const std::uint8_t> plain, std::span<std::uint8_t> out);
    // Writes the kFormatOverhead bytes that close the file.
    void Finish(std::span<std::uint8_t> out);

    std::uint64_t plainBytes() const { return plainBytes_; }

  private:
    BlockCipher& cipher_;
    std::uint64_t plainBytes_ = 0;
};

enum class VltVerdict {
    Going,     // more bytes may come
    Finished,  // the file is whole (perhaps with bytes after its end ignored: see tail)
    WrongKey,  // a triple above 255 where nothing else explains it
    Damaged,   // not a whole .vlt file: see damage
};

enum class VltDamage {
    None,
    CutShort,   // the file ends early; at = its length
    NotADigit,  // the byte at `at` is above 9 (its value in `value`)
    Shifted,    // from byte `at` on the triples are one digit off: a byte lost or added
};

// Bytes after the end of a whole file, ignored.
enum class VltTail {
    None,
    LeftOver,  // the rest of an older, longer file written at the same name
    Appended,  // bytes that cannot be digits (10 to 255) added after the end
};

struct VltReport {
    VltVerdict verdict = VltVerdict::Going;
    VltDamage damage = VltDamage::None;
    std::uint64_t at = 0;                 // file offset (from 0) of the damage
    std::uint8_t value = 0;               // NotADigit: the byte found there
    std::uint64_t fileBytes = 0;          // pushed so far
    std::uint64_t plainBytes = 0;         // plaintext bytes written (or, checking, found)
    std::uint64_t triplesAboveRange = 0;  // seen so far
    VltTail tail = VltTail::None;
    std::uint64_t ignoredBytes = 0;  // of the tail, once the file has ended
    // Salvage: plaintext bytes that could not be known, written as kUnknownByte;
    // the first one's offset in the plaintext.
    std::uint64_t unknownBytes = 0;
    std::uint64_t firstUnknown = 0;
};

struct VltDecryptOptions {
    // Go on past triples above 255, writing them modulo 256 as the original did.
    bool writeOnWrongKey = false;
    // For a damaged file, write what can be read: every complete triple, with
    // kUnknownByte for a byte that cannot be known.
    bool salvage = false;
};

// What a salvaged output holds where its byte could not be known.
inline constexpr std::uint8_t kUnknownByte = 0;

class VltDecryptStream {
  public:
    // Without a cipher only the format is checked and nothing is written.
    explicit VltDecryptStream(BlockCipher* cipher, VltDecryptOptions options = {});

    // Room `out` needs for a push of `fileBytes` (and, with 0, for Finish).
    static constexpr std::size_t OutputRoom(std::size_t fileBytes) {
        return fileBytes / 3 + 4 + kProbeBytes / 3;
    }

    // Takes the next bytes of the file and writes the plaintext known so far;
    // returns how many bytes it wrote. Once the verdict is final it writes nothing.
    std::size_t Push(std::span<const std::uint8_t> fileBytes, std::span<std::uint8_t> out);
    // The file has ended: checks its end and writes the last bytes.
    std::size_t Finish(std::span<std::uint8_t> out);

    const VltReport& report() const { return report_; }

  private:
    // Judge: the triples fit again one digit off after a failure; the rest
    // is only looked at, to tell a shifted file from a wrong key at the end.
    enum class Phase { Body, Probe, Judge, Tail, Done };
    // Bytes looked at past a failure after a long good run, to tell a lost or
    // added byte (the triples after it fit again one digit off) from a wrong key.
    static constexpr std::size_t kProbeTriples = 10;
    static constexpr std::size_t kProbeBytes = 3 * kProbeTriples + 5;

    std::size_t Consume(std::span<const std::uint8_t> bytes, std::uint8_t* out);
    // The bytes of this push from file offset `from` on, to a tail or a probe.
    void Rest(std::uint64_t from, std::uint64_t base, std::span<const std::uint8_t> held,
              std::span<const std::uint8_t> bytes, std::size_t& taken);
    void StartProbe(std::uint64_t offset, bool notDigit, std::size_t inTriple);
    // Whether the triples after the probed one fit when read from probe_[start].
    bool FitsFrom(std::size_t start);
    // Decides what the probed failure was and goes on from there.
    std::size_t Resolve(std::uint8_t* out);

    // Decrypts `triples` whole triples at file offset `offset`; returns the
    // bytes written. May end the body (a tail or a final verdict).
    std::size_t Decode(const Digit* digits, std::size_t triples, std::uint64_t offset,
                       std::uint8_t* out);
    std::size_t DecodeSlowly(const Digit* digits, std::size_t triples, std::uint64_t offset,
                             std::uint8_t* out);
    // Hands a decoded value on, holding the last one back: it may turn out to
    // be the end triple.
    void Emit(std::uint8_t value, std::uint8_t* out, std::size_t& written);
    bool KeyFailed(const Digit* triple, std::uint64_t offset);
    bool NotDigit(const Digit* triple, std::size_t inTriple, std::uint64_t offset);
    void JudgeBytes(std::span<const std::uint8_t> bytes);
    void StartTail(VltTail kind, std::uint64_t from);
    void TailBytes(std::span<const std::uint8_t> bytes);
    void Damage(VltDamage kind, std::uint64_t at, std::uint8_t value = 0);
    std::size_t FinishBody(std::uint8_t* out);
    void End(VltVerdict verdict);

    BlockCipher* cipher_;
    VltDecryptOptions options_;
    VltReport report_;
    Phase phase_ = Phase::Body;
    // The last bytes pushed, not yet decoded: the end triple and the final
    // zero are among them when the file ends.
    static constexpr std::size_t kCarry = 8;
    Digit carry_[kCarry] = {};
    std::size_t held_ = 0;
    std::uint64_t carryOffset_ = 0;  // file offset of carry_[0]
    bool pendingValid_ = false;
    std::uint8_t pending_ = 0;   // the last decoded value, not yet written
    std::uint8_t previous_ = 0;  // the one written before it
    std::uint64_t decoded_ = 0;  // triples decoded
    bool keyFailed_ = false;
    std::uint64_t tailFrom_ = 0;  // file offset where the tail starts
    std::uint8_t tailValue_ = 0;  // an appended tail's first byte
    std::uint8_t probe_[kProbeBytes] = {};
    std::size_t probed_ = 0;
    std::uint64_t probeAt_ = 0;             // file offset of the failing triple
    std::uint64_t probeTriple_ = 0;         // its index
    bool probeNotDigit_ = false;            // a byte that is not a digit there, else a key failure
    std::size_t probeInTriple_ = 0;         // where in the triple that byte is
    std::optional<std::uint64_t> shiftAt_;  // where the triples began to fit one digit off
    bool judgedNotDigit_ = false;
    std::uint8_t lastByte_ = 0;
};

// Whether a damaged file has something to salvage before its damage.
inline bool Salvageable(const VltReport& report) {
    return report.damage != VltDamage::None && report.at >= 3;
}

// The sentence every front end shows for a damaged file's problem, without
// the file's name: "cut short: 20,000 bytes, the last 1 of a triple missing".
std::string DamageSentence(const VltReport& report);
// The same as a refusal: "not a Veltrimax encrypted file, or a damaged one (...)".
std::string RefusalSentence(const VltReport& report);
// The note on bytes ignored after the end, or "" for none.
std::string TailNote(const VltReport& report);
// What a salvaged output is told, or "" for a file that was not damaged:
// "damaged (cut short: ...); what could be read was written", with the bytes
// that could not be known after a colon.
std::string SalvageNote(const VltReport& report);

// Why a decryption stops at a triple above 255, as the messages say it.
inline constexpr std::string_view kWrongKeyReason =
    "the primary key is wrong or the file is damaged (a decrypted value is above 255)";

// 12345 as "12,345".
std::string Grouped(std::uint64_t n);

}  // namespace vlt
