// Every UTF-16 unit of every code page against the system's own conversion,
// WideCharToMultiByte with its default flags (best fit, the default
// character). A key is coded one unit at a time, so each unit is converted
// alone: a surrogate half alone is no character, and Windows writes the
// default character ("?") for it, as the tables do.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "platform/codepage.h"

namespace vlt {
namespace {

constexpr int kMismatchesShown = 5;

// The code as AnsiCode gives it: one byte, or lead * 256 + trail.
std::uint16_t WindowsCode(char16_t unit, CodePage codePage) {
    const wchar_t wide = static_cast<wchar_t>(unit);
    char bytes[4] = {};
    const int n = ::WideCharToMultiByte(static_cast<UINT>(codePage), 0, &wide, 1, bytes,
                                        sizeof bytes, nullptr, nullptr);
    const auto byte = [&](int i) { return static_cast<std::uint16_t>(bytes[i] & 0xFF); };
    if (n == 1) {
        return byte(0);
    }
    if (n == 2) {
        return static_cast<std::uint16_t>(byte(0) << 8 | byte(1));
    }
    ADD_FAILURE() << "code page " << codePage << ": " << n << " bytes for U+" << std::hex
                  << int{unit} << ", error " << std::dec << ::GetLastError();
    return 0;
}

class CodePageAgainstWindows : public testing::TestWithParam<CodePage> {};

TEST_P(CodePageAgainstWindows, EveryUnitAsWideCharToMultiByteCodesIt) {
    const CodePage codePage = GetParam();
    ASSERT_TRUE(::IsValidCodePage(static_cast<UINT>(codePage)));
    int mismatches = 0;
    std::ostringstream first;
    for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const auto ours = static_cast<std::uint16_t>(AnsiCode(char16_t(unit), codePage));
        const std::uint16_t windows = WindowsCode(char16_t(unit), codePage);
        if (ours != windows && ++mismatches <= kMismatchesShown) {
            first << std::hex << "\n  U+" << unit << ": expected 0x" << windows << ", got 0x"
                  << ours;
        }
    }
    EXPECT_EQ(mismatches, 0) << "code page " << codePage << ", the first:" << first.str();
}

INSTANTIATE_TEST_SUITE_P(EachCodePage, CodePageAgainstWindows,
                         testing::ValuesIn(SupportedCodePages()),
                         [](const testing::TestParamInfo<CodePage>& info) {
                             return std::to_string(info.param);
                         });

}  // namespace
}  // namespace vlt
