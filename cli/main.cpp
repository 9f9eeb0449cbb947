// vlt: encrypts, decrypts and checks .vlt files from the command line.

#include <iostream>

#include "cli/command_line.h"
#include "cli/key_input.h"
#include "cli/messages.h"
#include "cli/operations.h"
#include "platform/codepage.h"
#include "platform/interruption.h"
#include "platform/output_batch.h"
#include "platform/system.h"
#include "platform/terminal.h"

using namespace vlt;
using namespace vlt::cli;

namespace {

// The code page of the key's characters; throws CodePageError naming its source.
CodePage KeyCodePage(const Options& options) {
    try {
        return options.codePage ? ParseCodePage(*options.codePage) : SystemCodePage();
    } catch (const CodePageError& e) {
        throw CodePageError((options.codePage ? "--codepage: " : "VLT_CODEPAGE: ") +
                            std::string(e.what()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    try {
        arguments = Utf8Arguments(argc, argv);
    } catch (const UnmatchedPattern& e) {
        ShowMessage(std::string(e.what()) + ": no file matches");
        return kExitUsage;
    }
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.options) {
        return parsed.exitStatus;
    }
    const Options& options = *parsed.options;

    if (options.output == kStandardStream && IsTerminal(StandardStream::Output)) {
        ShowMessage(
            "standard output is a terminal and the output is binary; redirect it to a file or a "
            "pipe (vlt ... -o - > FILE)");
        return kExitUsage;
    }
    const auto planned = PlanOutputs(options);
    if (const auto* complaint = std::get_if<std::string>(&planned)) {
        ShowMessage(*complaint);
        return kExitUsage;
    }
    const auto& outputs = std::get<std::vector<std::string>>(planned);

    RunMemory memory;
    OutputBatch batch;
    Session session{options, std::nullopt, InstallInterruptHandlers(),
                    memory,  batch,        !options.quiet && IsTerminal(StandardStream::Error)};
    try {
        // A --codepage given is checked even where no key needs it.
        if (!options.NeedsKey() && options.codePage) {
            KeyCodePage(options);
        }
        if (options.NeedsKey()) {
            const CodePage codePage = KeyCodePage(options);
            std::string text = options.keyFile
                                   ? ReadKeyFile(*options.keyFile, session.cancel)
                                   : AskKey(options.command == Command::Encrypt, session.cancel);
            if (const std::optional<std::string> note = KeyCodingNote(text, codePage);
                note && !options.quiet) {
                ShowMessage(*note);
            }
            session.key = PrimaryKey{std::move(text), codePage};
        }
    } catch (const std::runtime_error& e) {  // KeyError, CodePageError
        ShowMessage(e.what());
        return kExitUsage;
    } catch (const Cancelled&) {
        // At the prompt the line typed so far is left open.
        std::cerr << (options.keyFile ? "" : "\n") << MessageLine("interrupted");
        return InterruptedExitStatus();
    }

    return ProcessInputs(session, outputs);
}
