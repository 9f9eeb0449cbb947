#pragma once

// The system's reasons for its failures (in platform/posix/system.cpp).

#include <string>

namespace vlt::posix {

// The system's sentence for an error of errno: "No such file or directory".
std::string Reason(int error);

}  // namespace vlt::posix
