// vlt: encrypts, decrypts and checks .vlt files from the command line.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>
#include <optional>

#include "cli/command_line.h"
#include "cli/key_input.h"
#include "cli/messages.h"
#include "cli/operations.h"
#include "platform/error_text.h"
#include "platform/interruption.h"
#include "platform/output_batch.h"
#include "platform/system.h"
#include "platform/system_code_page.h"
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

int Run(const Options& options);

// The parser's tables are built before main, where memory that runs out
// cannot be caught and would end the program in an abort. Until main
// begins, the end is a message and the status of a command line that could
// not be read; then the usual handler is back, for whatever else may call it.
[[noreturn]] void StartFailed() noexcept {
    std::fputs("vlt: not enough memory to start\n", stderr);
    std::_Exit(kExitUsage);
}

std::terminate_handler usualTerminate = nullptr;

__attribute__((constructor(101))) void CatchFailedStart() {
    usualTerminate = std::set_terminate(StartFailed);
}

}  // namespace

// Memory that runs out where no input is at stake fails the command: while
// the command line is read, it is the command line's fault (status 2); later,
// the inputs still waiting are failed (status 1), and the outputs waiting in
// the batch are discarded, their temporary files removed as it unwinds.
int main(int argc, char** argv) {
    std::set_terminate(usualTerminate);
    std::optional<ParsedCommandLine> parsed;
    try {
        parsed.emplace(ParseCommandLine(Utf8Arguments(argc, argv)));
    } catch (const UnmatchedPattern& e) {
        ShowMessage(std::string(e.what()) + ": no file matches");
        return kExitUsage;
    } catch (const std::bad_alloc&) {
        std::fputs("vlt: not enough memory to read the command line\n", stderr);
        return kExitUsage;
    }
    if (!parsed->options) {
        return parsed->exitStatus;
    }
    try {
        return Run(*parsed->options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vlt: %s\n", ErrorText(error));
        return kExitFailure;
    }
}

namespace {

int Run(const Options& options) {
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

}  // namespace
