#pragma once

// Sentences of vlt's own that more than one of its files says.

#include <string_view>

namespace vlt::cli {

// When the key is empty (the window says the same).
inline constexpr std::string_view kEnterKeyMessage = "Please enter primary key";

// How a message on a run that left no output ends.
inline constexpr std::string_view kNothingWritten = "nothing was written";

}  // namespace vlt::cli
