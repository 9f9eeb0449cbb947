#include "platform/system.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>

#include "platform/win32/system_text.h"

namespace vlt {

namespace win32 {

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), units);
    return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), bytes, nullptr, nullptr);
    return narrow;
}

std::string Reason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring sentence(text != nullptr ? text : L"", length);
    ::LocalFree(text);
    while (!sentence.empty() && (sentence.back() == L'\r' || sentence.back() == L'\n' ||
                                 sentence.back() == L' ' || sentence.back() == L'.')) {
        sentence.pop_back();
    }
    if (sentence.empty()) {
        return "system error " + std::to_string(error);
    }
    return Utf8FromWide(sentence);
}

}  // namespace win32

namespace {

// The C runtime writes "\n" to a stream in text mode as "\r\n": messages and
// `check`'s report would differ from the other systems' byte for byte, and a
// pipe into a POSIX tool (under Wine, or an MSYS shell) would carry the \r.
// Binary from the start, before anything is written.
[[maybe_unused]] const bool binaryStreams = [] {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    return true;
}();

}  // namespace

// An ANSI code page this program has no table for
// (65001, UTF-8, is the one a user may set; 437 and the like are OEM pages
// some setups report) gives Windows' own default instead of an error: every
// run would fail before the key is even asked for.
CodePage UserCodePage() {
    const auto acp = static_cast<CodePage>(::GetACP());
    const std::vector<CodePage> supported = SupportedCodePages();
    return std::binary_search(supported.begin(), supported.end(), acp) ? acp : kDefaultCodePage;
}

const char* UserCodePageSource() {
    return "the system's ANSI code page (GetACP)";
}

// NTFS, FAT and exFAT count a name's UTF-16 units.
const char* FileNameUnits() {
    return "characters";
}

// Each ReadFile, WriteFile and wait between the run's threads costs several
// times a POSIX call (under Wine a round trip to its server): in blocks of
// 32 KiB they took about half of an encryption's time.
std::size_t RunBlockBytes() {
    return 128 * 1024;
}

}  // namespace vlt
