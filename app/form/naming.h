#pragma once

// How the decryption side names its output from the input chosen for it; the encryption
// side's is EncryptedName (cipher/vlt_format.h).

#include <optional>
#include <string>
#include <string_view>

namespace vlt {

// The decryption's output: the name less its last four characters, whatever they are,
// counted as Windows counts them (UTF-16 units). Nothing for a shorter name, which leaves
// the output box as it was.
std::optional<std::string> WithoutLastFourCharacters(std::string_view name);

}  // namespace vlt
