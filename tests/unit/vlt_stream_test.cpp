#include "cipher/vlt_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "cipher/key_digits.h"
#include "tests/support/random_bytes.h"
#include "tests/support/text_oracle.h"

namespace vlt {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& text) {
    return {text.begin(), text.end()};
}

BlockCipher CipherFor(const std::string& key) {
    return BlockCipher(KeyDigitValues(MakeKeyDigits(key, 1252)));
}

// Pushes `file` in pieces of `piece` bytes (0: all at once) and finishes.
Bytes DecryptInPieces(const Bytes& file, BlockCipher* cipher, VltDecryptOptions options,
                      std::size_t piece, VltReport& report) {
    VltDecryptStream stream(cipher, options);
    Bytes plain;
    Bytes room;
    for (std::size_t at = 0; at < file.size() || at == 0; at += piece) {
        const std::size_t n = piece == 0 ? file.size() : std::min(piece, file.size() - at);
        room.assign(VltDecryptStream::OutputRoom(n), 0xEE);
        const std::size_t written = stream.Push({file.data() + at, n}, room);
        plain.insert(plain.end(), room.begin(),
                     room.begin() + static_cast<std::ptrdiff_t>(written));
        if (piece == 0 || at + n >= file.size()) {
            break;
        }
    }
    room.assign(VltDecryptStream::OutputRoom(0), 0xEE);
    const std::size_t written = stream.Finish(room);
    plain.insert(plain.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(written));
    report = stream.report();
    return plain;
}

Bytes EncryptInPieces(const Bytes& plain, const std::string& key, std::size_t piece) {
    BlockCipher cipher = CipherFor(key);
    VltEncryptStream stream(cipher);
    Bytes file(VltEncryptStream::OutputRoom(plain.size()) + kFormatOverhead);
    for (std::size_t at = 0; at < plain.size(); at += piece) {
        const std::size_t n = std::min(piece, plain.size() - at);
        stream.Push({plain.data() + at, n}, {file.data() + 3 * at, 3 * n});
    }
    stream.Finish({file.data() + 3 * plain.size(), kFormatOverhead});
    EXPECT_EQ(stream.plainBytes(), plain.size());
    return file;
}

// Which triples are above 255 in the whole-text decryption of `file`'s digits.
std::vector<bool> AboveRange(const Bytes& file, const std::string& key) {
    std::string digits;
    for (std::size_t i = 0; i + 1 < file.size(); ++i) {
        digits += static_cast<char>('0' + file[i]);
    }
    const std::string plain =
        SubtractDigits(digits, MakeKeyedPad(MakePad(digits.size()), MakeKeyDigits(key, 1252)));
    std::vector<bool> above;
    for (std::size_t i = 0; i + 3 <= digits.size(); i += 3) {
        above.push_back(std::stoi(plain.substr(i, 3)) > 255);
    }
    return above;
}

// A file as made and what decrypting it must give.
struct Made {
    Bytes file;
    std::string key;  // "" checks the format only
    VltDecryptOptions options;
    VltReport expected;  // fileBytes filled in by the table
    Bytes plain;         // the output (nothing when checking)
};

Made Whole(std::size_t size, unsigned seed) {
    Made made;
    const std::string plain = testing_support::RandomBytes(size, seed);
    made.plain = Of(plain);
    made.key = "key " + std::to_string(seed);
    made.file = oracle::EncryptAsText(plain, made.key);
    made.expected.verdict = VltVerdict::Finished;
    made.expected.plainBytes = size;
    return made;
}

Made Damaged(Made made, VltDamage damage, std::uint64_t at, std::uint8_t value,
             std::size_t plainKept) {
    made.expected.verdict = VltVerdict::Damaged;
    made.expected.damage = damage;
    made.expected.at = at;
    made.expected.value = value;
    made.plain.resize(plainKept);
    made.expected.plainBytes = plainKept;
    return made;
}

// A file of `size` bytes written over an older one of `older` bytes: the first
// (by seed) whose key check fails at the joint, or the first that passes it.
Made WrittenOver(std::size_t size, std::size_t older, bool sameKey, bool failAtJoint) {
    for (unsigned seed = 100;; ++seed) {
        Made made = Whole(size, seed);
        const Made old = Whole(older, seed + 1);
        const Bytes oldFile =
            sameKey
                ? oracle::EncryptAsText(
                      {reinterpret_cast<const char*>(old.plain.data()), old.plain.size()}, made.key)
                : old.file;
        made.file.insert(made.file.end(),
                         oldFile.begin() + static_cast<std::ptrdiff_t>(made.file.size()),
                         oldFile.end());
        const std::vector<bool> above = AboveRange(made.file, made.key);
        if (above[size + 1] != failAtJoint) {
            continue;
        }
        if (failAtJoint) {
            made.expected.tail = VltTail::LeftOver;
            made.expected.ignoredBytes = made.file.size() - EncryptedSize(size);
        } else {
            // Nothing tells it apart: the whole of it is decrypted, as any file.
            const std::string text = oracle::DecryptAsText(made.file, made.key);
            made.plain = Of(text.substr(0, older));
            made.expected.plainBytes = older;
        }
        return made;
    }
}

// A byte lost at `at` (or `added` put there): the key check fails at the first triple
// that no longer fits, from whose start the triples are one digit off. Salvaged, that
// triple is unknown, those before it are what they decrypt to and those after it are
// found again. Written anyway, every triple before the end is decoded as it is.
Made Shifted(std::size_t at, int added, VltDecryptOptions options) {
    Made made = Whole(3000, 20 + at);
    const Bytes plain = made.plain;
    if (added < 0) {
        made.file.erase(made.file.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
        made.file.insert(made.file.begin() + static_cast<std::ptrdiff_t>(at),
                         static_cast<std::uint8_t>(added));
    }
    std::size_t fails = at / 3;  // a byte that is not a digit is seen at once
    if (added < 10) {
        const std::vector<bool> above = AboveRange(made.file, made.key);
        fails =
            static_cast<std::size_t>(std::find(above.begin(), above.end(), true) - above.begin());
        const std::string text = oracle::DecryptAsText(made.file, made.key);
        std::copy_n(text.begin(), fails, made.plain.begin());
    }
    made.options = options;
    const bool salvage = options.salvage;
    made = Damaged(made, VltDamage::Shifted, added < 10 ? 3 * fails : at, 0,
                   salvage ? plain.size() : fails - 1);
    if (options.writeOnWrongKey) {
        const std::size_t decoded = (made.file.size() - kFormatOverhead) / 3;
        const std::vector<bool> above = AboveRange(made.file, made.key);
        made.expected.plainBytes = decoded - 1;  // the last held back for the end
        made.expected.triplesAboveRange =
            static_cast<std::uint64_t>(std::count(above.begin(), above.begin() + decoded, true));
    }
    if (salvage) {
        made.plain[fails] = kUnknownByte;
        made.expected.unknownBytes = 1;
        made.expected.firstUnknown = fails;
    }
    return made;
}

// Each case is decrypted in pieces of 1 byte to several blocks, and every
// piece size must give the same report and the same bytes.
TEST(VltStream, MadeFilesInAnyPiecesGiveTheirReportAndBytes) {
    const struct Row {
        const char* what;
        std::function<Made()> make;
    } rows[] = {
        {"empty plaintext", [] { return Whole(0, 1); }},
        {"one byte", [] { return Whole(1, 2); }},
        {"two bytes", [] { return Whole(2, 3); }},
        {"several blocks", [] { return Whole(70001, 4); }},
        {"format only",
         [] {
             Made made = Whole(1000, 5);
             made.key.clear();
             made.plain.clear();
             return made;
         }},
        {"wrong key",
         [] {
             Made made = Whole(5000, 6);
             made.key = "other";
             made.expected.verdict = VltVerdict::WrongKey;
             const std::vector<bool> above = AboveRange(made.file, made.key);
             // The values before the first one above 255 but the last, held back.
             const auto first = std::find(above.begin(), above.end(), true) - above.begin();
             made.expected.plainBytes = first > 0 ? static_cast<std::uint64_t>(first - 1) : 0;
             made.expected.triplesAboveRange = 1;
             made.plain.clear();
             return made;
         }},
        {"wrong key written anyway",
         [] {
             Made made = Whole(5000, 7);
             made.key = "other";
             made.options.writeOnWrongKey = true;
             const std::vector<bool> above = AboveRange(made.file, made.key);
             made.expected.triplesAboveRange =
                 static_cast<std::uint64_t>(std::count(above.begin(), above.end(), true));
             const std::string text = oracle::DecryptAsText(made.file, made.key);
             made.plain = Of(text.substr(0, 5000));
             return made;
         }},
        {"empty file",
         [] {
             Made made = Damaged(Whole(0, 8), VltDamage::CutShort, 0, 0, 0);
             made.file.clear();
             return made;
         }},
        {"cut short inside a triple, two digits left",
         [] {
             Made made = Whole(3000, 9);
             made.file.resize(2000);
             made = Damaged(made, VltDamage::CutShort, 2000, made.file.back(), 0);
             made.expected.plainBytes = 664;  // decoded before the end, less one held back
             return made;
         }},
        {"cut short, salvaged",
         [] {
             Made made = Whole(3000, 10);
             made.file.resize(2000);
             made.options.salvage = true;
             return Damaged(made, VltDamage::CutShort, 2000, made.file.back(), 666);
         }},
        {"cut short after a whole triple, salvaged",
         [] {
             Made made = Whole(3000, 11);
             made.file.resize(3000);
             made.options.salvage = true;
             return Damaged(made, VltDamage::CutShort, 3000, made.file.back(), 1000);
         }},
        {"last byte not zero, salvaged",
         [] {
             Made made = Whole(3000, 12);
             made.file.back() = 1;
             made.options.salvage = true;
             return Damaged(made, VltDamage::CutShort, 9004, 1, 3001);
         }},
        {"a byte inside is not a digit",
         [] {
             Made made = Whole(3000, 13);
             made.file[4321] = 200;
             made = Damaged(made, VltDamage::NotADigit, 4321, 200, 0);
             made.expected.plainBytes = 1439;
             return made;
         }},
        {"a byte inside is not a digit, salvaged",
         [] {
             Made made = Whole(3000, 14);
             made.file[4322] = 10;
             made.options.salvage = true;
             made.plain[1440] = kUnknownByte;
             made = Damaged(made, VltDamage::NotADigit, 4322, 10, 3000);
             made.expected.unknownBytes = 1;
             made.expected.firstUnknown = 1440;
             return made;
         }},
        {"bytes that cannot be digits appended",
         [] {
             Made made = Whole(3000, 15);
             for (const std::uint8_t byte : {13, 10, 255, 99, 10}) {
                 made.file.push_back(byte);
                 made.expected.ignoredBytes++;
             }
             made.expected.tail = VltTail::Appended;
             return made;
         }},
        {"a line ending appended, format only",
         [] {
             Made made = Whole(3000, 16);
             made.file.push_back(10);
             made.key.clear();
             made.plain.clear();
             made.expected.tail = VltTail::Appended;
             made.expected.ignoredBytes = 1;
             return made;
         }},
        {"appended bytes followed by a digit",
         [] {
             Made made = Whole(3000, 17);
             made.file.insert(made.file.end(), {13, 10, 13, 10, 3});
             return Damaged(made, VltDamage::NotADigit, 9004, 13, 3000);
         }},
        {"written over a longer file, same key, fails at the joint",
         [] { return WrittenOver(2000, 5000, true, true); }},
        {"written over a longer file, other key, fails at the joint",
         [] { return WrittenOver(20, 20000, false, true); }},
        {"written over a longer file, same key, passes the joint",
         [] { return WrittenOver(2000, 5000, true, false); }},
        {"a digit changed after a long good run, written anyway",
         [] {
             Made made = Whole(3000, 18);
             made.file[4500] = static_cast<std::uint8_t>((made.file[4500] + 5) % 10);
             made.options.writeOnWrongKey = true;
             const std::vector<bool> above = AboveRange(made.file, made.key);
             made.expected.triplesAboveRange =
                 static_cast<std::uint64_t>(std::count(above.begin(), above.end(), true));
             made.plain = Of(oracle::DecryptAsText(made.file, made.key).substr(0, 3000));
             return made;
         }},
        {"a byte lost", [] { return Shifted(4000, -1, {}); }},
        {"a byte lost, salvaged", [] { return Shifted(5001, -1, {.salvage = true}); }},
        {"a digit added, salvaged", [] { return Shifted(6002, 7, {.salvage = true}); }},
        {"a digit added, written anyway",
         [] { return Shifted(5002, 4, {.writeOnWrongKey = true}); }},
        {"a byte that is not a digit added", [] { return Shifted(4001, 10, {}); }},
        {"a byte that is not a digit added, salvaged",
         [] { return Shifted(4002, 200, {.salvage = true}); }},
        {"a byte lost and a digit added further on: a whole file's length, so a wrong key",
         [] {
             Made made = Shifted(4000, -1, {});
             made.file.insert(made.file.begin() + 7000, 3);
             made.expected.verdict = VltVerdict::WrongKey;
             made.expected.damage = VltDamage::None;
             made.expected.at = 0;
             made.expected.triplesAboveRange = 1;
             return made;
         }},
    };
    for (const Row& row : rows) {
        const Made made = row.make();
        VltReport whole;
        BlockCipher cipher = CipherFor(made.key.empty() ? "x" : made.key);
        BlockCipher* used = made.key.empty() ? nullptr : &cipher;
        for (const std::size_t piece : {0u, 1u, 2u, 3u, 5u, 7u, 4099u, 70000u}) {
            VltReport report;
            const Bytes plain = DecryptInPieces(made.file, used, made.options, piece, report);
            SCOPED_TRACE(std::string(row.what) + ", pieces of " + std::to_string(piece));
            EXPECT_EQ(report.verdict, made.expected.verdict);
            EXPECT_EQ(report.damage, made.expected.damage);
            EXPECT_EQ(report.at, made.expected.at);
            EXPECT_EQ(report.value, made.expected.value);
            EXPECT_EQ(report.fileBytes, made.file.size());
            EXPECT_EQ(report.plainBytes, made.expected.plainBytes);
            EXPECT_EQ(report.triplesAboveRange, made.expected.triplesAboveRange);
            EXPECT_EQ(report.tail, made.expected.tail);
            EXPECT_EQ(report.ignoredBytes, made.expected.ignoredBytes);
            EXPECT_EQ(report.unknownBytes, made.expected.unknownBytes);
            EXPECT_EQ(report.firstUnknown, made.expected.firstUnknown);
            if (made.expected.verdict == VltVerdict::Finished || made.options.salvage ||
                used == nullptr) {
                EXPECT_EQ(plain, made.plain);
            }
            if (piece != 0 && made.expected.tail == VltTail::None &&
                made.expected.damage == VltDamage::None && made.key.size() > 0 &&
                made.expected.verdict == VltVerdict::Finished && !made.options.writeOnWrongKey) {
                EXPECT_EQ(EncryptInPieces(made.plain, made.key, piece), made.file);
            }
        }
    }
}

}  // namespace
}  // namespace vlt
