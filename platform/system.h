#pragma once

// What a program asks of the system at start: its arguments and the code
// page of the user's text. Each system implements this header in
// platform/<system>/system.cpp.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/codepage.h"

namespace vlt {

// A file-name pattern of the command line that matches no file; what() is the pattern.
class UnmatchedPattern : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The program's arguments in UTF-8, the program's name first. POSIX systems
// pass them as given, the shell having expanded file-name patterns. Windows
// gives the command line as UTF-16, whatever `argv` says, and leaves patterns
// to the program: an unquoted word with "*" or "?" (not an option, nor "/?")
// becomes the files that match it, in the order of their names; throws
// UnmatchedPattern when none does.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The ANSI code page of the user: GetACP() on Windows; elsewhere the code
// page Windows would use for the locale of LC_ALL, LC_CTYPE or LANG.
CodePage UserCodePage();

// Where UserCodePage takes the code page from, as the help says it:
// "from the locale", "the system's ANSI code page (GetACP)".
const char* UserCodePageSource();

// What a file name's length is counted in where the system limits it: "bytes"
// on POSIX file systems, "characters" (UTF-16 units) on Windows'.
const char* FileNameUnits();

// Plaintext bytes a run reads, turns into digits and writes at a time. Small
// where reads and writes are cheap: the blocks in flight then stay in the
// processor's cache (the copies into and out of them cost half as much as
// with larger blocks), and a stop is seen at once. Larger where each read,
// write and hand-over between threads costs more.
std::size_t RunBlockBytes();

}  // namespace vlt
