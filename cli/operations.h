#pragma once

// The inputs one at a time through the engine, with the messages vlt shows
// for each; their outputs are put in place a batch at a time.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cipher/engine.h"
#include "cli/command_line.h"

namespace vlt::cli {

enum class Outcome { Done, Failed, Interrupted };

struct Session {
    const Options& options;
    std::optional<PrimaryKey> key;  // always there for encrypt and decrypt
    const CancelSignal& cancel;
    RunMemory& memory;   // shared by the runs of all inputs
    OutputBatch& batch;  // the outputs written and not yet in place
    bool showProgress = false;
};

// The output of each input in order (empty for check), or why the command line
// names none for some input.
std::variant<std::vector<std::string>, std::string> PlanOutputs(const Options& options);

// Runs the command over every input; returns vlt's exit status.
int ProcessInputs(const Session& session, const std::vector<std::string>& outputs);

}  // namespace vlt::cli
