#pragma once

// What a failure that no step of the program foresaw says to the user.

#include <exception>
#include <new>

namespace vlt {

// The words for memory that ran out, wherever it did.
inline constexpr const char* kNoMemory = "not enough memory";

// An exception's message for the user: std::bad_alloc's own is "std::bad_alloc".
inline const char* ErrorText(const std::exception& error) {
    return dynamic_cast<const std::bad_alloc*>(&error) != nullptr ? kNoMemory : error.what();
}

}  // namespace vlt
