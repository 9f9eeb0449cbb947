#pragma once

// Output names made from the inputs' names, and whether an output may be written.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vlt::cli {

// INPUT without its ".vlt" ending (in any case): decrypt's output unless -o names one.
// Nothing when INPUT does not end in ".vlt" or nothing would remain of its file name;
// such an input wants -o. (Encrypt's is EncryptedName, cipher/vlt_format.h.)
std::optional<std::string> WithoutVltEnding(const std::string& input);

// How the refusal of a name made from the input's begins.
inline constexpr std::string_view kNameTooLong = "the output's name would be too long";

// Why `path` may not be written, or nothing when it may: an existing file
// (or a link to one) is replaced only with `mayReplace`; a folder or a terminal never
// gets the output; other existing things (/dev/null, a pipe) are written to.
// `named`: the user named the output with -o, else it is named after the
// input, and a name longer than its folder takes is refused before any work.
std::optional<std::string> OutputRefusal(const std::string& path, bool mayReplace, bool named);

}  // namespace vlt::cli
