#pragma once

#include <cstdint>
#include <span>

namespace vlt {

// A stretch of UTF-16 units [first, last]: a listed run takes unit u's code from
// literals[base + u - first], a stepping run codes it base + u - first.
struct CodeRun {
    std::uint16_t first;
    std::uint16_t last;
    std::uint16_t base;
    bool listed;
};

// The code Windows writes for each UTF-16 unit in one code page (a double-byte code as
// lead * 256 + trail): the units of the runs, in ascending order; every other unit is "?".
struct CodePageTable {
    int codePage;
    std::span<const CodeRun> runs;
    std::span<const std::uint16_t> literals;
};

// One table per supported code page (these and no others are accepted), generated from Windows' own
// tables (tools/gen_codepage_tables.py writes codepage_tables.cpp).
std::span<const CodePageTable> CodePageTables();

}  // namespace vlt
