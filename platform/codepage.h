#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vlt {

// A Windows ANSI code page number: 874, 932, 936, 949, 950 or 1250 to 1258.
using CodePage = int;

// Western European: Windows' own where nothing says otherwise.
inline constexpr CodePage kDefaultCodePage = 1252;

class CodePageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The code pages this program codes keys in, ascending.
std::vector<CodePage> SupportedCodePages();

// "1250", "cp1250" or "windows-1250" (any case) to 1250; throws CodePageError
// naming the accepted values for anything else.
CodePage ParseCodePage(std::string_view text);

// The ANSI code page Windows would use for this POSIX locale name
// ("cs_CZ.UTF-8", "sr_RS@latin", "zh_TW", "C", ...).
CodePage CodePageForLocale(std::string_view locale);

// The signed 16-bit ANSI code Windows writes for one UTF-16 unit: the code page's own
// character, else a similar one where Windows has one ("best fit": "ł" is "l" in
// 1252), else 63 ("?"). A double-byte code is lead * 256 + trail, taken as signed.
// Throws CodePageError for a code page that is not supported.
std::int16_t AnsiCode(char16_t unit, CodePage codePage);

// The code of every UTF-16 unit of a UTF-8 text, as Windows counts characters: a
// character outside the BMP is two units. What does not decode (DecodeUtf8 in utf8.h)
// is U+FFFD.
std::vector<std::int16_t> AnsiCodes(std::string_view utf8, CodePage codePage);

// How many characters of a UTF-8 text the code page codes as "?" without their being
// "?": those it lacks and has no similar one for. A character outside the BMP counts once.
std::size_t UnwritableCharacters(std::string_view utf8, CodePage codePage);

// What the window and vlt say before a run whose key has such characters ("3 characters
// of the key cannot be written in code page 1252 and count as '?'"); nothing when every
// character can be written.
std::optional<std::string> KeyCodingNote(std::string_view utf8Key, CodePage codePage);

}  // namespace vlt
