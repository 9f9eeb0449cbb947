#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vlt {

// Decodes the UTF-8 sequence at `i` and moves `i` past it. A sequence that is not UTF-8
// (overlong, a UTF-16 surrogate, past U+10FFFF) gives nothing and moves `i` past it; a bad
// or cut-short lead or continuation byte gives nothing and moves `i` by one byte.
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& i);

// Whether `byte` continues a character begun before it (10xxxxxx).
constexpr bool IsContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Whether every sequence of `text` decodes.
bool IsValidUtf8(std::string_view text);

// Names pass through the program as UTF-8 and become paths only here: a
// narrow string would be taken in the ANSI code page on Windows. On POSIX
// systems both are the bytes unchanged.
std::filesystem::path PathFromUtf8(std::string_view name);
std::string Utf8Of(const std::filesystem::path& path);

}  // namespace vlt
