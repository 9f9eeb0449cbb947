#include "platform/codepage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <string>

#include "platform/codepage_tables.h"
#include "platform/utf8.h"

namespace vlt {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

const CodePageTable& TableFor(CodePage codePage) {
    const auto tables = CodePageTables();
    const auto table = std::find_if(tables.begin(), tables.end(),
                                    [&](const CodePageTable& t) { return t.codePage == codePage; });
    if (table == tables.end()) {
        throw CodePageError("code page " + std::to_string(codePage) + " is not supported");
    }
    return *table;
}

std::int16_t CodeIn(const CodePageTable& table, char16_t unit) {
    // The last run that starts at or before the unit.
    const auto after =
        std::upper_bound(table.runs.begin(), table.runs.end(), unit,
                         [](char16_t u, const CodeRun& run) { return u < run.first; });
    if (after == table.runs.begin() || unit > std::prev(after)->last) {
        return '?';
    }
    const CodeRun& run = *std::prev(after);
    const std::size_t offset = unit - run.first;
    const std::uint16_t code = run.listed ? table.literals[run.base + offset]
                                          : static_cast<std::uint16_t>(run.base + offset);
    return static_cast<std::int16_t>(code);
}

}  // namespace

std::vector<CodePage> SupportedCodePages() {
    std::vector<CodePage> codePages;
    for (const CodePageTable& table : CodePageTables()) {
        codePages.push_back(table.codePage);
    }
    return codePages;
}

namespace {

// "874, 932, 936, 949, 950 or 1250 to 1258": runs of consecutive code pages as ranges.
std::string Listed(const std::vector<CodePage>& codePages) {
    std::vector<std::string> items;
    for (std::size_t i = 0; i < codePages.size();) {
        std::size_t last = i;
        while (last + 1 < codePages.size() && codePages[last + 1] == codePages[last] + 1) {
            ++last;
        }
        items.push_back(std::to_string(codePages[i]) +
                        (last > i + 1 ? " to " + std::to_string(codePages[last]) : ""));
        if (last == i + 1) {
            items.push_back(std::to_string(codePages[last]));
        }
        i = last + 1;
    }
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == items.size() ? " or " : ", ") + items[i];
    }
    return text;
}

}  // namespace

CodePage ParseCodePage(std::string_view text) {
    std::string lower = Lower(text);
    for (const std::string_view prefix : {"windows-", "cp"}) {
        if (StartsWith(lower, prefix)) {
            lower.erase(0, prefix.size());
            break;
        }
    }
    for (const CodePage codePage : SupportedCodePages()) {
        if (lower == std::to_string(codePage)) {
            return codePage;
        }
    }
    throw CodePageError("unknown code page '" + std::string(text) + "': use one of " +
                        Listed(SupportedCodePages()) +
                        " (written as 1250, cp1250 or windows-1250)");
}

CodePage CodePageForLocale(std::string_view locale) {
    // "ll_TT.charset@modifier": language, territory, modifier.
    const std::string name = Lower(locale);
    const std::size_t at = name.find('@');
    const std::string modifier = at == std::string::npos ? "" : name.substr(at + 1);
    const std::string base = name.substr(0, std::min(name.find('.'), at));
    const std::size_t sep = base.find_first_of("_-");
    const std::string language = base.substr(0, sep);
    const std::string territory = sep == std::string::npos ? "" : base.substr(sep + 1);

    const auto in = [](const std::string& value, std::initializer_list<std::string_view> set) {
        return std::find(set.begin(), set.end(), value) != set.end();
    };
    if (language == "sr" || language == "uz") {  // script decides; Windows' defaults differ
        if (modifier == "latin") {
            return language == "sr" ? 1250 : 1254;
        }
        return language == "sr" || modifier == "cyrillic" ? 1251 : 1254;
    }
    if (language == "zh") {
        return in(territory, {"tw", "hk", "mo"}) ? 950 : 936;
    }
    if (in(language, {"cs", "hu", "pl", "ro", "hr", "sk", "sl", "bs", "sq"}))
        return 1250;
    if (in(language, {"ru", "uk", "be", "bg", "mk", "kk", "ky", "tt", "mn", "tg", "ba"}))
        return 1251;
    if (language == "el")
        return 1253;
    if (in(language, {"tr", "az"}))
        return 1254;
    if (in(language, {"he", "yi"}))
        return 1255;
    if (in(language, {"ar", "fa", "ur", "ug", "ckb"}))
        return 1256;
    if (in(language, {"et", "lv", "lt"}))
        return 1257;
    if (language == "vi")
        return 1258;
    if (language == "th")
        return 874;
    if (language == "ja")
        return 932;
    if (language == "ko")
        return 949;
    return kDefaultCodePage;
}

std::int16_t AnsiCode(char16_t unit, CodePage codePage) {
    return CodeIn(TableFor(codePage), unit);
}

std::vector<std::int16_t> AnsiCodes(std::string_view utf8, CodePage codePage) {
    const CodePageTable& table = TableFor(codePage);
    std::vector<std::int16_t> codes;
    codes.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = DecodeUtf8(utf8, i).value_or(U'\uFFFD');
        if (cp > 0xFFFF) {  // two UTF-16 units to Windows, each coded on its own
            const char32_t bits = cp - 0x10000;
            codes.push_back(CodeIn(table, static_cast<char16_t>(0xD800 + (bits >> 10))));
            codes.push_back(CodeIn(table, static_cast<char16_t>(0xDC00 + (bits & 0x3FF))));
        } else {
            codes.push_back(CodeIn(table, static_cast<char16_t>(cp)));
        }
    }
    return codes;
}

std::size_t UnwritableCharacters(std::string_view utf8, CodePage codePage) {
    constexpr std::int16_t kQuestionMark = '?';
    const CodePageTable& table = TableFor(codePage);
    std::size_t count = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t cp = DecodeUtf8(utf8, i).value_or(U'\uFFFD');
        // A character outside the BMP is two surrogates, which no code page has.
        const std::int16_t code =
            cp > 0xFFFF ? kQuestionMark : CodeIn(table, static_cast<char16_t>(cp));
        count += code == kQuestionMark && cp != U'?';
    }
    return count;
}

std::optional<std::string> KeyCodingNote(std::string_view utf8Key, CodePage codePage) {
    const std::size_t count = UnwritableCharacters(utf8Key, codePage);
    if (count == 0) {
        return std::nullopt;
    }
    return std::to_string(count) + (count == 1 ? " character" : " characters") +
           " of the key cannot be written in code page " + std::to_string(codePage) +
           (count == 1 ? " and counts" : " and count") + " as '?'";
}

}  // namespace vlt
