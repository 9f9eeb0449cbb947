#pragma once

// How the two sides name their output from the input chosen for them.

#include <optional>
#include <string>
#include <string_view>

namespace vlt {

// The encryption's output: the whole name and ".vlt", even after a ".vlt" of its own.
std::string EncryptedName(std::string_view name);

// The decryption's output: the name less its last four characters, whatever they are,
// counted as Windows counts them (UTF-16 units). Nothing for a shorter name, which leaves
// the output box as it was.
std::optional<std::string> DecryptedName(std::string_view name);

}  // namespace vlt
