#pragma once

// What a program asks of the system at start: its arguments and the code
// page of the user's text. Each system implements this header in
// platform/<system>/system.cpp.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace vlt {

// The program's arguments in UTF-8, the program's name first. POSIX systems
// pass them as given; Windows gives them as UTF-16, whatever `argv` says.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The ANSI code page of the user: GetACP() on Windows; elsewhere the code
// page Windows would use for the locale of LC_ALL, LC_CTYPE or LANG.
CodePage UserCodePage();

// Plaintext bytes a run reads, turns into digits and writes at a time. Small
// where reads and writes are cheap: the blocks in flight then stay in the
// processor's cache (the copies into and out of them cost half as much as
// with larger blocks), and a stop is seen at once. Larger where each read,
// write and hand-over between threads costs more.
std::size_t RunBlockBytes();

}  // namespace vlt
