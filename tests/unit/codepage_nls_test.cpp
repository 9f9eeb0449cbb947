// Every UTF-16 unit of every code page against Windows' own tables: the folder
// VLT_WINDOWS_NLS_DIR holds c_<code page>.nls as Debian's libwine ships them.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/codepage_tables.h"

namespace vlt {
namespace {

// The wide-character table of a .nls file. Words are little-endian: the header's size
// in words, the code page, the largest character size; after the header the word count
// of the multi-byte part, then that part, then one code per unit (a word when characters
// take two bytes, else a byte).
std::vector<std::uint16_t> WindowsCodes(CodePage codePage) {
    const std::string path =
        std::string(VLT_WINDOWS_NLS_DIR) + "/c_" + std::to_string(codePage) + ".nls";
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    const auto word = [&](std::size_t at) {
        return static_cast<std::uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
    };
    if (bytes.size() < 6 || word(2) != codePage) {
        ADD_FAILURE() << path << ": missing or not code page " << codePage;
        return {};
    }
    const bool doubleByte = word(4) == 2;
    const std::size_t headerWords = word(0);
    const std::size_t table = 2 * (headerWords + 1 + word(2 * headerWords));
    std::vector<std::uint16_t> codes(0x10000);
    for (std::size_t unit = 0; unit < codes.size(); ++unit) {
        codes[unit] = doubleByte ? word(table + 2 * unit) : bytes.at(table + unit);
    }
    return codes;
}

TEST(CodePageTables, EveryUnitAsWindowsCodesIt) {
    for (const CodePageTable& table : CodePageTables()) {
        const CodePage codePage = table.codePage;
        const std::vector<std::uint16_t> expected = WindowsCodes(codePage);
        int mismatches = 0;
        for (std::size_t unit = 0; unit < expected.size() && mismatches < 10; ++unit) {
            const auto code = static_cast<std::uint16_t>(AnsiCode(char16_t(unit), codePage));
            if (code != expected[unit]) {
                ++mismatches;
                ADD_FAILURE() << "code page " << codePage << ", U+" << std::hex << unit << ": "
                              << code << " instead of " << expected[unit];
            }
        }
    }
}

}  // namespace
}  // namespace vlt
