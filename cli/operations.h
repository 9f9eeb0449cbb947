#pragma once

// One input at a time through the engine, with the messages vlt shows for it.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/command_line.h"
#include "cipher/engine.h"

namespace vlt::cli {

enum class Outcome { Done, Failed, Interrupted };

struct Session {
    const Options& options;
    std::optional<PrimaryKey> key;  // always there for encrypt and decrypt
    const CancelSignal& cancel;
    RunMemory& memory;  // shared by the runs of all inputs
    bool showProgress = false;
};

// The output of each input in order (empty for check), or why the command line
// names none for some input.
std::variant<std::vector<std::string>, std::string> PlanOutputs(const Options& options);

Outcome ProcessInput(const Session& session, const std::string& input, const std::string& output);

}  // namespace vlt::cli
