#include "cipher/vlt_stream.h"

#include <algorithm>

namespace vlt {

namespace {

// A wrong key fails within the first few triples (each is above 255 three
// times in four), so a key check that fails only after this many good ones
// is taken to have met something else: the end of a whole file before left
// over bytes, or damage.
constexpr std::uint64_t kGoodRunBeforeJoint = 16;

bool IsDigit(std::uint8_t byte) {
    return byte <= 9;
}

}  // namespace

VltEncryptStream::VltEncryptStream(BlockCipher& cipher) : cipher_(cipher) {
    cipher_.Restart();
}

void VltEncryptStream::Push(std::span<const std::uint8_t> plain, std::span<std::uint8_t> out) {
    cipher_.Encrypt(plain.data(), plain.size(), out.data());
    plainBytes_ += plain.size();
}

void VltEncryptStream::Finish(std::span<std::uint8_t> out) {
    const std::uint8_t end = kEndTripleValue;
    cipher_.Encrypt(&end, 1, out.data());
    out[3] = kFinalByte;
}

VltDecryptStream::VltDecryptStream(BlockCipher* cipher, VltDecryptOptions options)
    : cipher_(cipher), options_(options) {
    if (cipher_ != nullptr) {
        cipher_->Restart();
    }
}

std::size_t VltDecryptStream::Push(std::span<const std::uint8_t> bytes,
                                   std::span<std::uint8_t> out) {
    report_.fileBytes += bytes.size();
    const std::size_t written = Consume(bytes, out.data());
    return cipher_ != nullptr ? written : 0;
}

std::size_t VltDecryptStream::Consume(std::span<const std::uint8_t> bytes, std::uint8_t* out) {
    if (phase_ == Phase::Tail) {
        TailBytes(bytes);
    }
    if (phase_ == Phase::Judge) {
        JudgeBytes(bytes);
        return 0;
    }
    if (phase_ == Phase::Probe) {
        std::size_t taken = 0;
        Rest(probeAt_ + probed_, probeAt_ + probed_, {}, bytes, taken);
        if (phase_ == Phase::Probe && probed_ == kProbeBytes) {
            const std::size_t written = Resolve(out);
            return written + Consume(bytes.subspan(taken), out + written);
        }
        return 0;
    }
    if (phase_ != Phase::Body) {
        return 0;
    }
    // The last four bytes or more (up to six, to keep whole triples) are held
    // back: a stream does not tell where its end is.
    const std::size_t held = held_, total = held + bytes.size();
    const std::size_t ready = total > kFormatOverhead ? (total - kFormatOverhead) / 3 * 3 : 0;
    const std::uint64_t base = carryOffset_;
    Digit heldBytes[kCarry];
    std::copy_n(carry_, held, heldBytes);
    std::size_t written = 0;
    if (ready > 0 && ready <= held) {
        written += Decode(heldBytes, ready / 3, base, out);
    } else if (ready > 0) {
        // The triples that join the held bytes to the new ones, then the new
        // ones where they are.
        const std::size_t joint = (held + 2) / 3 * 3;
        if (joint > 0) {
            Digit digits[kCarry + 3];
            std::copy_n(heldBytes, held, digits);
            std::copy_n(bytes.data(), joint - held, digits + held);
            written += Decode(digits, joint / 3, base, out);
        }
        if (phase_ == Phase::Body && ready > joint) {
            written += Decode(bytes.data() + (joint - held), (ready - joint) / 3, base + joint,
                              out + written);
        }
    }
    if (phase_ == Phase::Body) {
        if (ready <= held) {
            std::copy(heldBytes + ready, heldBytes + held, carry_);
            std::copy(bytes.begin(), bytes.end(), carry_ + held - ready);
        } else {
            std::copy(bytes.end() - static_cast<std::ptrdiff_t>(total - ready), bytes.end(),
                      carry_);
        }
        held_ = total - ready;
        carryOffset_ += ready;
        return written;
    }
    // The rest of this push belongs to a tail or a probe.
    std::size_t taken = 0;
    if (phase_ == Phase::Tail) {
        Rest(tailFrom_, base, {heldBytes, held}, bytes, taken);
    } else if (phase_ == Phase::Probe) {
        Rest(probeAt_, base, {heldBytes, held}, bytes, taken);
        if (phase_ == Phase::Probe && probed_ == kProbeBytes) {
            const std::size_t more = Resolve(out + written);
            written += more;
            written += Consume(bytes.subspan(taken), out + written);
        }
    }
    return written;
}

void VltDecryptStream::Rest(std::uint64_t from, std::uint64_t base,
                            std::span<const std::uint8_t> held, std::span<const std::uint8_t> bytes,
                            std::size_t& taken) {
    std::uint64_t at = from - base;
    const auto give = [&](std::span<const std::uint8_t> part) {
        if (phase_ == Phase::Tail) {
            TailBytes(part);
            return part.size();
        }
        const std::size_t n = std::min(part.size(), kProbeBytes - probed_);
        std::copy_n(part.begin(), n, probe_ + probed_);
        probed_ += n;
        return n;
    };
    if (at < held.size()) {
        give(held.subspan(at));
        at = held.size();
    }
    if (phase_ == Phase::Tail || phase_ == Phase::Probe) {
        const std::size_t start = static_cast<std::size_t>(at - held.size());
        taken = start + give(bytes.subspan(start));
    }
}

std::size_t VltDecryptStream::Finish(std::span<std::uint8_t> out) {
    std::size_t written = 0;
    if (phase_ == Phase::Probe) {
        written += Resolve(out.data());
    }
    if (phase_ == Phase::Judge) {
        if (PlainSize(report_.fileBytes) && lastByte_ == kFinalByte && !judgedNotDigit_) {
            ++report_.triplesAboveRange;
            End(VltVerdict::WrongKey);
        } else {
            Damage(VltDamage::Shifted, *shiftAt_);
        }
    }
    if (phase_ == Phase::Body) {
        written += FinishBody(out.data() + written);
    }
    if (phase_ == Phase::Tail) {
        report_.ignoredBytes = report_.fileBytes - tailFrom_;
        End(report_.damage != VltDamage::None ? VltVerdict::Damaged : VltVerdict::Finished);
    }
    return cipher_ != nullptr ? written : 0;
}

std::size_t VltDecryptStream::Decode(const Digit* digits, std::size_t triples, std::uint64_t offset,
                                     std::uint8_t* out) {
    if (triples == 0) {
        return 0;
    }
    if (cipher_ == nullptr) {
        if (FirstNonDigit(digits, 3 * triples) != 3 * triples) {
            return DecodeSlowly(digits, triples, offset, out);
        }
        report_.plainBytes += pendingValid_ ? triples : triples - 1;
        pendingValid_ = true;
        decoded_ += triples;
        return 0;
    }
    // The held value goes first, the new ones right after it: no copies.
    const std::size_t start = pendingValid_ ? 1 : 0;
    const TripleCheck check = cipher_->Decrypt(digits, triples, out + start);
    if (!check.allDigits || (check.aboveRange != 0 && !(keyFailed_ && options_.writeOnWrongKey))) {
        cipher_->Seek(decoded_);
        return DecodeSlowly(digits, triples, offset, out);
    }
    report_.triplesAboveRange += check.aboveRange;
    if (pendingValid_) {
        out[0] = pending_;
    }
    const std::size_t written = start + triples - 1;
    if (written > 0) {
        previous_ = out[written - 1];
    }
    pending_ = out[written];
    pendingValid_ = true;
    decoded_ += triples;
    report_.plainBytes += written;
    return written;
}

std::size_t VltDecryptStream::DecodeSlowly(const Digit* digits, std::size_t triples,
                                           std::uint64_t offset, std::uint8_t* out) {
    std::size_t written = 0;
    for (std::size_t i = 0; i < triples && phase_ == Phase::Body; ++i) {
        const Digit* triple = digits + 3 * i;
        std::uint8_t value = 0;
        const std::size_t bad = FirstNonDigit(triple, 3);
        const bool above =
            cipher_ != nullptr && cipher_->Decrypt(triple, 1, &value).aboveRange != 0;
        ++decoded_;
        if (bad != 3) {
            if (!NotDigit(triple, bad, offset + 3 * i)) {
                break;
            }
            value = kUnknownByte;
            if (report_.unknownBytes++ == 0) {
                report_.firstUnknown = report_.plainBytes + (pendingValid_ ? 1 : 0);
            }
        } else if (above) {
            if (!KeyFailed(triple, offset + 3 * i)) {
                break;
            }
        }
        Emit(value, out, written);
    }
    return written;
}

void VltDecryptStream::Emit(std::uint8_t value, std::uint8_t* out, std::size_t& written) {
    if (pendingValid_) {
        if (cipher_ != nullptr) {
            out[written] = pending_;
        }
        ++written;
        ++report_.plainBytes;
        previous_ = pending_;
    }
    pending_ = value;
    pendingValid_ = true;
}

bool VltDecryptStream::KeyFailed(const Digit* triple, std::uint64_t offset) {
    if (keyFailed_) {
        ++report_.triplesAboveRange;
        return true;
    }
    keyFailed_ = true;
    // The end of a whole file followed by what an older, longer one left: a
    // long run of good triples, an end triple (the value the encryption's read
    // past the end leaves: 0, or the last byte again), then its final zero as
    // the first digit of the failing triple.
    const std::uint64_t before = decoded_ - 1;
    if (triple[0] == kFinalByte && before > kGoodRunBeforeJoint && pendingValid_ &&
        (pending_ == kEndTripleValue || pending_ == previous_)) {
        pendingValid_ = false;
        StartTail(VltTail::LeftOver, offset + 1);
        return false;
    }
    if (cipher_ != nullptr && before > kGoodRunBeforeJoint) {
        StartProbe(offset, false, 0);
        return false;
    }
    ++report_.triplesAboveRange;
    if (options_.writeOnWrongKey) {
        return true;
    }
    End(VltVerdict::WrongKey);
    return false;
}

bool VltDecryptStream::NotDigit(const Digit* triple, std::size_t inTriple, std::uint64_t offset) {
    const std::uint64_t at = offset + inTriple;
    // Bytes that cannot be digits right after a final zero: appended to a whole file.
    if (inTriple == 1 && triple[0] == kFinalByte && pendingValid_) {
        pendingValid_ = false;
        tailValue_ = triple[1];
        StartTail(VltTail::Appended, at);
        return false;
    }
    if (cipher_ != nullptr && !keyFailed_ && decoded_ - 1 > kGoodRunBeforeJoint) {
        StartProbe(offset, true, inTriple);
        return false;
    }
    Damage(VltDamage::NotADigit, at, triple[inTriple]);
    return phase_ == Phase::Body;
}

void VltDecryptStream::StartProbe(std::uint64_t offset, bool notDigit, std::size_t inTriple) {
    phase_ = Phase::Probe;
    probeAt_ = offset;
    probed_ = 0;
    probeTriple_ = decoded_ - 1;
    probeNotDigit_ = notDigit;
    probeInTriple_ = inTriple;
}

bool VltDecryptStream::FitsFrom(std::size_t start) {
    // The last byte may be the final zero: never part of a triple.
    if (probed_ < start + 1) {
        return false;
    }
    const std::size_t triples = std::min(kProbeTriples, (probed_ - start - 1) / 3);
    constexpr std::size_t kFewestToTell = 3;
    if (triples < kFewestToTell) {
        return false;
    }
    std::uint8_t values[kProbeTriples];
    cipher_->Seek(probeTriple_ + 1);
    const TripleCheck check = cipher_->Decrypt(probe_ + start, triples, values);
    return check.allDigits && check.aboveRange == 0;
}

std::size_t VltDecryptStream::Resolve(std::uint8_t* out) {
    // Where the triple after the probed one starts: a lost byte pulls it one
    // digit back, an added one pushes it one on.
    constexpr std::size_t kLost = 2, kInPlace = 3, kAdded = 4;
    const bool lost = !probeNotDigit_ && FitsFrom(kLost), added = FitsFrom(kAdded);
    std::size_t start = kInPlace;
    if (probeNotDigit_) {
        const std::uint64_t at = probeAt_ + probeInTriple_;
        if (added && !FitsFrom(kInPlace)) {
            Damage(VltDamage::Shifted, at);
            start = kAdded;
        } else {
            Damage(VltDamage::NotADigit, at, probe_[probeInTriple_]);
        }
    } else if (lost != added && options_.salvage) {
        Damage(VltDamage::Shifted, probeAt_);
        start = lost ? kLost : kAdded;
    } else if (lost != added && !options_.writeOnWrongKey) {
        // A byte lost or added leaves a length no whole file has; only the
        // end can tell that from a wrong key whose triples fit by chance.
        shiftAt_ = probeAt_;
        phase_ = Phase::Judge;
        JudgeBytes({probe_, probed_});
        return 0;
    } else {
        // Nothing fits again (a wrong key after all, or damage beyond telling),
        // or the file is written as it is anyway: a shift found here is told
        // at the end if the length bears it out.
        if (lost != added) {
            shiftAt_ = probeAt_;
        }
        if (!options_.writeOnWrongKey) {
            ++report_.triplesAboveRange;
            End(VltVerdict::WrongKey);
            return 0;
        }
        start = 0;  // pushed again as they are, the failing triple counted then
    }
    if (phase_ == Phase::Done) {
        return 0;
    }
    std::size_t written = 0;
    phase_ = Phase::Body;
    held_ = 0;
    carryOffset_ = probeAt_ + start;
    decoded_ = probeTriple_;
    if (start != 0) {
        // Salvage: the probed triple's byte cannot be known.
        if (report_.unknownBytes++ == 0) {
            report_.firstUnknown = report_.plainBytes + (pendingValid_ ? 1 : 0);
        }
        Emit(kUnknownByte, out, written);
        ++decoded_;
        keyFailed_ = false;
    }
    cipher_->Seek(decoded_);
    std::uint8_t rest[kProbeBytes];
    const std::size_t n = probed_ > start ? probed_ - start : 0;
    std::copy_n(probe_ + start, n, rest);
    return written + Consume({rest, n}, out + written);
}

void VltDecryptStream::JudgeBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    judgedNotDigit_ = judgedNotDigit_ || FirstNonDigit(bytes.data(), bytes.size()) != bytes.size();
    lastByte_ = bytes.back();
}

void VltDecryptStream::StartTail(VltTail kind, std::uint64_t from) {
    phase_ = Phase::Tail;
    report_.tail = kind;
    tailFrom_ = from;
}

void VltDecryptStream::TailBytes(std::span<const std::uint8_t> bytes) {
    if (report_.tail != VltTail::Appended ||
        std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return !IsDigit(b); })) {
        return;
    }
    // A digit after them: the first was inside the file after all.
    report_.tail = VltTail::None;
    Damage(VltDamage::NotADigit, tailFrom_, tailValue_);
    End(VltVerdict::Damaged);
}

void VltDecryptStream::Damage(VltDamage kind, std::uint64_t at, std::uint8_t value) {
    if (report_.damage == VltDamage::None) {
        report_.damage = kind;
        report_.at = at;
        report_.value = value;
    }
    if (!options_.salvage) {
        End(VltVerdict::Damaged);
    }
}

void VltDecryptStream::End(VltVerdict verdict) {
    report_.verdict = verdict;
    phase_ = Phase::Done;
}

std::size_t VltDecryptStream::FinishBody(std::uint8_t* out) {
    const Digit* held = carry_;
    const std::size_t n = held_;
    const std::size_t bad = FirstNonDigit(held, n);
    std::size_t written = 0;
    // Whether the triple at held[at] is the end triple; a wrong key ends the run.
    const auto endTriple = [&](std::size_t at) {
        std::uint8_t value = 0;
        if (cipher_ != nullptr && cipher_->Decrypt(held + at, 1, &value).aboveRange != 0) {
            ++report_.triplesAboveRange;
            if (!keyFailed_ && !options_.writeOnWrongKey) {
                End(VltVerdict::WrongKey);
                return false;
            }
        }
        if (pendingValid_) {
            Emit(0, out, written);  // writes the last plaintext byte
            pendingValid_ = false;
        }
        return true;
    };
    const bool tailOfNonDigits =
        bad < n && std::all_of(held + bad, held + n, [](std::uint8_t b) { return !IsDigit(b); });
    if (bad == n && n == kFormatOverhead && held[3] == kFinalByte) {
        if (endTriple(0)) {
            End(report_.damage != VltDamage::None ? VltVerdict::Damaged : VltVerdict::Finished);
        }
        return written;
    }
    if (tailOfNonDigits && bad % 3 == 1 && held[bad - 1] == kFinalByte &&
        (bad > 1 || pendingValid_)) {
        if (bad == 1) {
            pendingValid_ = false;  // it was the end triple
        } else if (!endTriple(0)) {
            return written;
        }
        StartTail(VltTail::Appended, carryOffset_ + bad);
        return written;
    }
    if (bad < n) {
        Damage(VltDamage::NotADigit, carryOffset_ + bad, held[bad]);
    } else if (shiftAt_ && !PlainSize(report_.fileBytes)) {
        Damage(VltDamage::Shifted, *shiftAt_);
    } else {
        Damage(VltDamage::CutShort, report_.fileBytes, n > 0 ? held[n - 1] : 0);
    }
    if (phase_ == Phase::Done) {
        return written;
    }
    // Salvage: every whole triple left, the plaintext ones known; a final
    // byte that is not zero but not a digit either leaves its end triple out.
    const std::size_t whole = bad < n && n == kFormatOverhead && bad == 3 ? 0 : n / 3;
    written += DecodeSlowly(held, whole, carryOffset_, out);
    if (phase_ == Phase::Done) {
        return written;
    }
    if (pendingValid_) {
        Emit(0, out, written);
        pendingValid_ = false;
    }
    End(VltVerdict::Damaged);
    return written;
}

namespace {

std::string DigitsMissing(std::uint64_t length, std::uint8_t lastByte) {
    switch (length % 3) {
        case 1:
            return "the last 2 of a triple missing (its last byte is " + std::to_string(lastByte) +
                   ", not 0)";
        case 2:
            return "the last 1 of a triple missing";
        default:
            return "the final zero missing after its last whole triple";
    }
}

// The note on bytes a salvage could not know, or "" for none.
std::string UnknownNote(const VltReport& report) {
    if (report.unknownBytes == 0) {
        return "";
    }
    return Grouped(report.unknownBytes) + (report.unknownBytes == 1 ? " byte" : " bytes") +
           " could not be read and " + (report.unknownBytes == 1 ? "was" : "were") +
           " written as " + std::to_string(kUnknownByte) + ", the first at byte " +
           Grouped(report.firstUnknown) + " of the output";
}

}  // namespace

std::string Grouped(std::uint64_t n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

std::string DamageSentence(const VltReport& report) {
    switch (report.damage) {
        case VltDamage::None:
            return "";
        case VltDamage::CutShort:
            if (report.at == 0) {
                return "it is empty";
            }
            if (report.at < kFormatOverhead) {
                return "cut short: " + Grouped(report.at) + " bytes, less than any file";
            }
            return "cut short: " + Grouped(report.at) + " bytes, " +
                   DigitsMissing(report.at, report.value);
        case VltDamage::NotADigit:
            return "byte " + Grouped(report.at) + " is not a digit but " +
                   std::to_string(report.value);
        case VltDamage::Shifted:
            return "from byte " + Grouped(report.at) +
                   " on the triples are shifted by one digit: a byte was lost or added there";
    }
    return "";
}

std::string RefusalSentence(const VltReport& report) {
    return "not a Veltrimax encrypted file, or a damaged one (" + DamageSentence(report) + ")";
}

std::string TailNote(const VltReport& report) {
    const std::string bytes = report.ignoredBytes == 1 ? "byte is" : "bytes are";
    switch (report.tail) {
        case VltTail::LeftOver:
            return "the last " + Grouped(report.ignoredBytes) + " " + bytes +
                   " left over from an older file written at this name, and were ignored";
        case VltTail::Appended:
            return "the last " + Grouped(report.ignoredBytes) + " " + bytes +
                   " not digits but were added after its end, and were ignored";
        case VltTail::None:
            break;
    }
    return "";
}

std::string SalvageNote(const VltReport& report) {
    if (report.damage == VltDamage::None) {
        return "";
    }
    const std::string unknown = UnknownNote(report);
    return "damaged (" + DamageSentence(report) + "); what could be read was written" +
           (unknown.empty() ? "" : ": " + unknown);
}

}  // namespace vlt
