#pragma once

// Output names as the window proposes them, and whether an output may be written.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vlt::cli {

// INPUT + ".vlt", appended to the whole name ("a.vlt" gives "a.vlt.vlt").
std::string EncryptedName(const std::string& input);

// INPUT without its ".vlt" ending (in any case); nothing when INPUT does not
// end in ".vlt" or nothing would remain of its file name.
std::optional<std::string> DecryptedName(const std::string& input);

// What follows "already exists" when an output is in the way.
inline constexpr std::string_view kForceHint = "use --force to replace it";

// How the refusal of a name made from the input's begins.
inline constexpr std::string_view kNameTooLong = "the output's name would be too long";

// Why `path` may not be written, or nothing when it may: an existing file
// (or a link to one) is replaced only with `mayReplace`; a folder or a terminal never
// gets the output; other existing things (/dev/null, a pipe) are written to.
// `named`: the user named the output with -o, else it is named after the
// input, and a name longer than its folder takes is refused before any work.
std::optional<std::string> OutputRefusal(const std::string& path, bool mayReplace, bool named);

}  // namespace vlt::cli
