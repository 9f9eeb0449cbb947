#include "platform/system.h"

#include <windows.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform/win32/system_text.h"

// Windows hands a program its command line as one text; splitting it and
// expanding "*" and "?" are the program's business (cmd and PowerShell leave
// both alone). CommandLineToArgvW splits, but forgets which words were quoted,
// and a quoted pattern stays as typed, as the C runtimes' expansion leaves it.
// So the line is split here by CommandLineToArgvW's rules, quotes noted.

namespace vlt {

namespace {

struct Word {
    std::wstring text;
    bool quoted = false;
};

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

// CommandLineToArgvW's rules: the program's name ends at its closing quote or
// its first blank; in the other words 2n backslashes before a quote are n and
// the quote opens or closes a quoted part, 2n + 1 are n and a literal quote,
// other backslashes are literal, and a third quote in a row inside a quoted
// part is a literal one.
std::vector<Word> SplitCommandLine(std::wstring_view line) {
    std::vector<Word> words;
    std::size_t i = 0;
    Word program;
    if (i < line.size() && line[i] == L'"') {
        const std::size_t end = line.find(L'"', 1);
        program.text = line.substr(1, end == std::wstring_view::npos ? end : end - 1);
        i = end == std::wstring_view::npos ? line.size() : end + 1;
    }
    while (i < line.size() && !IsBlank(line[i])) {
        program.text += line[i++];
    }
    words.push_back(std::move(program));
    while (true) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        Word word;
        int quotes = 0;  // odd inside a quoted part
        std::size_t backslashes = 0;
        for (; i < line.size() && (quotes % 2 == 1 || !IsBlank(line[i])); ++i) {
            const wchar_t c = line[i];
            if (c == L'\\') {
                ++backslashes;
                word.text += c;
                continue;
            }
            if (c != L'"') {
                backslashes = 0;
                word.text += c;
                continue;
            }
            word.text.resize(word.text.size() - (backslashes + 1) / 2);
            const bool literal = backslashes % 2 == 1;
            backslashes = 0;
            if (literal) {
                word.text += L'"';
                continue;
            }
            word.quoted = true;
            ++quotes;
            while (i + 1 < line.size() && line[i + 1] == L'"') {
                ++i;
                if (++quotes == 3) {
                    word.text += L'"';
                    quotes = 0;
                }
            }
            if (quotes == 2) {
                quotes = 0;
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

bool IsPattern(const Word& word) {
    // Options, and "/?", Windows' call for help, which the parser answers.
    return !word.quoted && word.text.find_first_of(L"*?") != std::wstring::npos &&
           !word.text.starts_with(L"-") && word.text != L"/?";
}

// The files whose names match the last part of `pattern`, in the folder the
// rest names, each written with that folder as given; folders are left out.
std::vector<std::wstring> Matches(const std::wstring& pattern) {
    const std::size_t separator = pattern.find_last_of(L"\\/");
    std::wstring folder;
    if (separator != std::wstring::npos) {
        folder = pattern.substr(0, separator + 1);
    } else if (pattern.size() > 1 && pattern[1] == L':') {
        folder = pattern.substr(0, 2);  // "C:*.vlt": the drive's current folder
    }
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(folder + found.cFileName);
        }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    // In the order of their names, whatever order the file system lists them in.
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                      static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    });
    return names;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int, char**) {
    std::vector<std::string> arguments;
    bool first = true;
    for (const Word& word : SplitCommandLine(::GetCommandLineW())) {
        if (first || !IsPattern(word)) {
            arguments.push_back(win32::Utf8FromWide(word.text));
            first = false;
            continue;
        }
        const std::vector<std::wstring> names = Matches(word.text);
        if (names.empty()) {
            throw UnmatchedPattern(win32::Utf8FromWide(word.text));
        }
        for (const std::wstring& name : names) {
            arguments.push_back(win32::Utf8FromWide(name));
        }
    }
    return arguments;
}

}  // namespace vlt
