#pragma once

// What vlt says on standard error: every line begins "vlt: ", and the names and hints
// that recur in its lines are made here, so that they read the same everywhere.

#include <string>
#include <string_view>

namespace vlt::cli {

// "vlt: TEXT\n", for lines that wait for their input's batch before they are shown.
std::string MessageLine(std::string_view text);

// Writes MessageLine(text) on standard error.
void ShowMessage(std::string_view text);

// How messages name "-" as an input or key file.
inline constexpr std::string_view kStandardInputName = "standard input";

// `path` as messages name it: "standard input" for "-".
std::string ShownName(const std::string& path);

// "TEXT; use --force to replace it", for an output that a file is in the way of.
std::string WithForceHint(std::string_view text);

// What ends the complaint when no output can be named after an input.
inline constexpr std::string_view kNameOutputHint = "name the output with -o";

// When the key is empty (the window says the same).
inline constexpr std::string_view kEnterKeyMessage = "Please enter primary key";

// How a message on a run that left no output ends.
inline constexpr std::string_view kNothingWritten = "nothing was written";

}  // namespace vlt::cli
