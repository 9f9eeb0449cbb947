#include "cli/progress_bar.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vlt::cli {
namespace {

TEST(ProgressFormat, Bytes) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {1024 * 1024, "1.0 MiB"},
        {5ull * 1024 * 1024 * 1024, "5.0 GiB"},
        {3ull << 50, "3.0 PiB"},
        {4096ull << 50, "4096.0 PiB"},  // no unit beyond
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(FormatBytes(bytes), text) << bytes;
    }
}

TEST(ProgressFormat, Duration) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"},     {4.6, "0:05"},     {59.4, "0:59"},    {61, "1:01"},
        {3599, "59:59"}, {3600, "1:00:00"}, {3723, "1:02:03"}, {-3, "0:00"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(FormatDuration(seconds), text) << seconds;
    }
}

// A console without escapes gets no byte of one: blanks cover what a shorter line leaves.
TEST(ProgressFormat, LinesAreRedrawnWithTheEscapeOrWithBlanks) {
    const struct {
        const char* text;
        std::size_t previous;
        bool escapes;
        const char* redrawn;
        const char* cleared;
    } cases[] = {
        {"a.bin 5%", 0, true, "\ra.bin 5%\033[K", "\r\033[K"},
        {"a.bin 5%", 0, false, "\ra.bin 5%", "\r\r"},
        {"a.bin 10%", 8, false, "\ra.bin 10%", "\r        \r"},
        {"ä 1%", 6, false, "\rä 1%  ", "\r      \r"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RedrawnLine(c.text, c.previous, c.escapes), c.redrawn) << c.text;
        EXPECT_EQ(ClearedLine(c.previous, c.escapes), c.cleared) << c.text;
    }
}

TEST(ProgressFormat, KnownTotalShowsPercentSpeedAndTimeLeft) {
    const std::string text = ProgressText("a.bin", {512 * 1024, 2048 * 1024}, 2.0, 100);
    EXPECT_EQ(text.rfind("a.bin  25% [", 0), 0u) << text;
    EXPECT_NE(text.find("]  512.0 KiB of 2.0 MiB  256.0 KiB/s  0:06 left"), std::string::npos)
        << text;
    EXPECT_LE(text.size(), 100u);
}

TEST(ProgressFormat, SpeedWaitsForASecondOfMeasure) {
    const std::string text = ProgressText("a.bin", {1000, 4000}, 0.2, 100);
    EXPECT_EQ(text.find("/s"), std::string::npos) << text;
    EXPECT_EQ(text.find("left"), std::string::npos) << text;
}

TEST(ProgressFormat, UnknownTotalShowsBytesAndSpeedOnly) {
    const std::string text = ProgressText("standard input", {3 * 1024 * 1024, 0}, 3.0, 80);
    EXPECT_EQ(text, "standard input  3.0 MiB  1.0 MiB/s");
}

TEST(ProgressFormat, FitsNarrowTerminalsByShorteningTheName) {
    const std::string name = "some/long/folder/name/with/a/file/at/its/end.bin";
    for (const std::size_t width : {120u, 79u, 60u, 40u, 20u}) {
        const std::string text = ProgressText(name, {50, 100}, 5.0, width);
        EXPECT_LE(text.size(), width) << text;
        if (width >= 60) {
            EXPECT_NE(text.find("50% ["), std::string::npos) << text;
        }
        if (width >= 79) {
            EXPECT_NE(text.find("/its/end.bin"), std::string::npos) << text;  // the end is kept
        }
    }
}

TEST(ProgressFormat, NamesAreShownOnOneLineAsLsEscapesThem) {
    const std::pair<const char*, const char*> cases[] = {
        {"line\nbreak", "line\\nbreak"},
        {"tab\there", "tab\\there"},
        {"\a\b\v\f\r", "\\a\\b\\v\\f\\r"},
        {"esc\x1b[2J", "esc\\033[2J"},
        {"del\x7f", "del\\177"},
        {"back\\slash", "back\\\\slash"},
        {"latin1 \xe9t\xe9", "latin1 \\351t\\351"},  // not UTF-8
        {"c1 \xc2\x85", "c1 \\302\\205"},            // U+0085, a control character
        {"\xc0\xaf", "\\300\\257"},                  // an overlong "/"
        {"žluťoučký kůň €", "žluťoučký kůň €"},
        {"a b'c\"d", "a b'c\"d"},
    };
    for (const auto& [name, shown] : cases) {
        EXPECT_EQ(EscapedName(name), shown) << name;
        EXPECT_EQ(ProgressText(name, {3 * 1024 * 1024, 0}, 3.0, 80),
                  std::string(shown) + "  3.0 MiB  1.0 MiB/s");
    }
}

// Names are measured in characters: one of 100 "ž" is laid out as one of 100 "z",
// never cut inside a character.
TEST(ProgressFormat, NamesAreShortenedByCharacters) {
    std::string wide;
    for (int i = 0; i < 100; ++i) {
        wide += "ž";
    }
    const std::string narrow(100, 'z');
    for (const std::size_t width : {200u, 120u, 79u, 40u, 20u, 12u}) {
        for (const Progress progress : {Progress{50, 100}, Progress{50, 0}}) {
            std::string text = ProgressText(wide, progress, 5.0, width);
            for (std::size_t at; (at = text.find("ž")) != std::string::npos;) {
                text.replace(at, 2, "z");
            }
            EXPECT_EQ(text, ProgressText(narrow, progress, 5.0, width)) << width;
        }
    }
}

TEST(ProgressFormat, BarFillsWithTheDoneShare) {
    for (const std::uint64_t done : {0, 1, 50, 99, 100}) {
        const std::string text = ProgressText("f", {done, 100}, 0, 60);
        const auto open = text.find('[');
        const auto close = text.find(']');
        ASSERT_NE(close, std::string::npos) << text;
        const std::string bar = text.substr(open + 1, close - open - 1);
        EXPECT_GE(bar.size(), 10u) << text;
        const auto hashes = static_cast<std::uint64_t>(std::count(bar.begin(), bar.end(), '#'));
        EXPECT_EQ(hashes, done * bar.size() / 100) << text;
        EXPECT_EQ(bar.find_first_not_of('#'), done == 100 ? std::string::npos : hashes) << text;
    }
}

}  // namespace
}  // namespace vlt::cli
