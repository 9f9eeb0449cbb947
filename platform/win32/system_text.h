#pragma once

// Text between the program (UTF-8) and Windows (UTF-16), and the system's
// reasons for its failures (in platform/win32/system.cpp).

#include <windows.h>

#include <string>
#include <string_view>

namespace vlt::win32 {

// What does not convert (a lone surrogate, bytes that are not UTF-8) becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The system's sentence for an error of GetLastError(), in UTF-8, without
// the line break and the full stop FormatMessage ends it with, so that it
// reads like the POSIX reasons it stands beside: "Access is denied".
std::string Reason(DWORD error);

}  // namespace vlt::win32
