#include "cli/messages.h"

#include <iostream>

#include "cli/command_line.h"

namespace vlt::cli {

std::string MessageLine(std::string_view text) {
    return "vlt: " + std::string(text) + "\n";
}

void ShowMessage(std::string_view text) {
    std::cerr << MessageLine(text);
}

std::string ShownName(const std::string& path) {
    return path == kStandardStream ? std::string(kStandardInputName) : path;
}

std::string WithForceHint(std::string_view text) {
    return std::string(text) + "; use --force to replace it";
}

}  // namespace vlt::cli
