// Long runs, not part of the default test run (ctest --preset soak): many
// random files with random keys, and one file larger than 4 GiB.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <vector>

#include "cipher/engine.h"
#include "cipher/vlt_format.h"
#include "platform/codepage.h"
#include "platform/system.h"
#include "tests/support/digit_text.h"
#include "tests/support/keyed_pad_stream.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_oracle.h"

namespace vlt {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadAll;
using testing_support::TempFolder;
using testing_support::WriteAll;

// UTF-8 of one character from a mix of scripts, now and then a stray byte.
std::string RandomCharacter(std::mt19937_64& rng) {
    static constexpr char32_t kRanges[][2] = {
        {0x20, 0x7E},     {0xA0, 0xFF},     {0x100, 0x17F},   {0x391, 0x3C9},
        {0x410, 0x44F},   {0x5D0, 0x5EA},   {0x621, 0x64A},   {0xE01, 0xE3A},
        {0x3041, 0x30FF}, {0x4E00, 0x9FA5}, {0xAC00, 0xD7A3}, {0x1F600, 0x1F64F},
    };
    if (rng() % 50 == 0) {
        return std::string(1, static_cast<char>(0x80 + rng() % 0x80));
    }
    const auto& range = kRanges[rng() % std::size(kRanges)];
    const char32_t c = range[0] + static_cast<char32_t>(rng() % (range[1] - range[0] + 1));
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// The runs here write over their earlier outputs.
OutputTarget Replacing(std::filesystem::path path) {
    return {.path = std::move(path), .mayReplace = true};
}

PrimaryKey RandomKey(std::mt19937_64& rng) {
    // Mostly short keys; some long enough to pass the 16-bit key index.
    const std::size_t length = rng() % 20 == 0 ? 6000 + rng() % 20000 : rng() % 40;
    PrimaryKey key;
    static const std::vector<CodePage> codePages = SupportedCodePages();
    key.codePage = codePages[rng() % codePages.size()];
    for (std::size_t i = 0; i < length; ++i) {
        key.text += RandomCharacter(rng);
    }
    return key;
}

// Sizes spread over the orders of magnitude up to 4 MiB, with the edges of
// the engine's block now and then.
std::size_t RandomSize(std::mt19937_64& rng) {
    if (rng() % 10 == 0) {
        return RunBlockBytes() * (1 + rng() % 3) + rng() % 3 - 1;
    }
    return static_cast<std::size_t>(std::exp2(static_cast<double>(rng() % 2200) / 100.0)) - 1;
}

TEST(Soak, FiveHundredRandomFilesWithRandomKeys) {
    TempFolder folder;
    std::mt19937_64 rng(20261207);
    std::uint64_t bytes = 0;
    for (int i = 0; i < 500; ++i) {
        const std::size_t size = RandomSize(rng);
        const std::string data = testing_support::RandomBytes(size, static_cast<unsigned>(rng()));
        const PrimaryKey key = RandomKey(rng);
        const fs::path plain = folder / "plain", encrypted = folder / "plain.vlt",
                       decrypted = folder / "decrypted";
        WriteAll(plain, data);
        ASSERT_EQ(EncryptFile(plain, Replacing(encrypted), key).status, RunStatus::Finished) << i;
        ASSERT_EQ(fs::file_size(encrypted), EncryptedSize(size)) << i;
        if (size <= 64 * 1024) {
            const auto expected = oracle::EncryptAsText(data, key.text, key.codePage);
            ASSERT_TRUE(ReadAll(encrypted) == std::string(expected.begin(), expected.end()))
                << "file " << i << " of " << size << " bytes";
        }
        const RunResult result = DecryptFile(encrypted, Replacing(decrypted), key);
        ASSERT_EQ(result.status, RunStatus::Finished) << i;
        ASSERT_EQ(result.file.triplesAboveRange, 0u) << i;
        ASSERT_TRUE(ReadAll(decrypted) == data) << "file " << i << " of " << size << " bytes";
        bytes += size;
    }
    std::cout << "500 files, " << bytes << " bytes, encrypted and decrypted\n";
}

// The folder for the big file: /tmp when it has room for it, its encrypted
// form and the decrypted copy.
std::optional<fs::path> RoomFor(std::uint64_t bytes) {
    struct statvfs st {};
    const fs::path tmp = fs::temp_directory_path();
    if (::statvfs(tmp.c_str(), &st) == 0 && st.f_bavail * st.f_frsize > bytes) {
        return tmp;
    }
    return std::nullopt;
}

void WriteAt(const fs::path& path, std::uint64_t offset, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
              static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

std::string ReadAt(const fs::path& path, std::uint64_t offset, std::size_t n) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::string bytes(n, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(n));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

TEST(Soak, FileLargerThanFourGiB) {
    constexpr std::uint64_t kSize = (std::uint64_t{1} << 32) + (1 << 20) + 7;
    if (!RoomFor(4 * kSize + (std::uint64_t{1} << 30))) {
        GTEST_SKIP() << "not enough room in " << fs::temp_directory_path() << " for " << 4 * kSize
                     << " bytes";
    }
    TempFolder folder;
    const fs::path plain = folder / "big", encrypted = folder / "big.vlt",
                   decrypted = folder / "big.out";
    // Sparse zeros with data at the start, across 2^32 and at the end.
    const std::uint64_t marks[] = {0, (std::uint64_t{1} << 32) - 5000, kSize - 3000};
    {
        std::ofstream(plain, std::ios::binary).flush();
        fs::resize_file(plain, kSize);
    }
    for (const std::uint64_t at : marks) {
        WriteAt(plain, at,
                testing_support::RandomBytes(10000 - (at == marks[2] ? 7000 : 0),
                                             static_cast<unsigned>(at)));
    }
    const PrimaryKey key{"four gigabytes and more", 1252};
    ASSERT_EQ(EncryptFile(plain, {encrypted}, key).status, RunStatus::Finished);
    ASSERT_EQ(fs::file_size(encrypted), EncryptedSize(kSize));

    // The digits past 2^32 bytes, checked against the keyed pad at their
    // full 64-bit position: a round trip alone would not see a position
    // that wraps the same way both ways.
    const std::vector<Digit> keyDigits = KeyDigitValues(MakeKeyDigits(key.text, key.codePage));
    for (const std::uint64_t at : marks) {
        const std::string data = ReadAt(plain, at, 10000);
        const std::string digits = ReadAt(encrypted, 3 * at, 3 * data.size());
        std::vector<Digit> pad(digits.size());
        KeyedPad(keyDigits, 3 * at).Next(pad.data(), pad.size());
        for (std::size_t i = 0; i < data.size(); ++i) {
            const auto byte = static_cast<unsigned char>(data[i]);
            const Digit plainDigits[3] = {static_cast<Digit>(byte / 100),
                                          static_cast<Digit>(byte / 10 % 10),
                                          static_cast<Digit>(byte % 10)};
            for (int d = 0; d < 3; ++d) {
                ASSERT_EQ(digits[3 * i + d], AddMod10(plainDigits[d], pad[3 * i + d]))
                    << "at byte " << at + i;
            }
        }
    }
    ASSERT_EQ(fs::remove(plain), true);

    const RunResult result = DecryptFile(encrypted, {decrypted}, key);
    ASSERT_EQ(result.status, RunStatus::Finished);
    EXPECT_EQ(result.plainBytes, kSize);
    ASSERT_EQ(fs::file_size(decrypted), kSize);
    fs::remove(encrypted);
    for (const std::uint64_t at : marks) {
        const std::string expected = testing_support::RandomBytes(
            10000 - (at == marks[2] ? 7000 : 0), static_cast<unsigned>(at));
        EXPECT_TRUE(ReadAt(decrypted, at, expected.size()) == expected) << "at " << at;
    }
    // Zeros everywhere else: one pass over the whole file.
    std::ifstream in(decrypted, std::ios::binary);
    std::vector<char> block(1 << 20);
    std::uint64_t offset = 0, nonZero = 0;
    while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            nonZero += block[static_cast<std::size_t>(i)] != 0;
        }
        offset += static_cast<std::uint64_t>(in.gcount());
    }
    EXPECT_EQ(offset, kSize);
    // The marked stretches are random bytes, about 1 in 256 of them zero.
    EXPECT_GT(nonZero, 22000u);
    EXPECT_LE(nonZero, 23000u);
}

}  // namespace
}  // namespace vlt
