#include "cli/operations.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <sstream>

#include "cipher/vlt_format.h"
#include "cli/messages.h"
#include "cli/output_naming.h"
#include "cli/progress_bar.h"
#include "platform/file_access.h"
#include "platform/interruption.h"
#include "platform/output_batch.h"
#include "platform/utf8.h"

namespace vlt::cli {
namespace {

std::string Plural(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::unique_ptr<ByteSource> OpenSource(const std::string& input, const CancelSignal& cancel) {
    if (input == kStandardStream) {
        return std::make_unique<StandardInput>(&cancel);
    }
    return std::make_unique<InputFile>(PathFromUtf8(input), &cancel);
}

class Run {
  public:
    Run(const Session& session, const std::string& input, const std::string& output,
        std::ostream& messages)
        : session_(session),
          input_(input),
          output_(output),
          messages_(messages),
          name_(ShownName(input)),
          bar_(name_, session.showProgress) {}

    Outcome Encrypt() {
        if (Refused()) {
            return Outcome::Failed;
        }
        return Finish(
            Streaming()
                ? Stream([&](ByteSource& source, ByteSink& sink) {
                      return vlt::Encrypt(source, sink, Key(), Control());
                  })
                : Guarded(
                      [&] { return EncryptFile(PathFromUtf8(input_), Target(), Key(), Control()); },
                      name_));
    }

    Outcome Decrypt() {
        if (Refused()) {
            return Outcome::Failed;
        }
        const DecryptOptions options{.writeOnWrongKey = session_.options.noKeyCheck,
                                     .salvage = session_.options.salvage};
        if (output_ == kStandardStream) {
            if (const auto outcome = CheckBeforeWriting(); outcome != Outcome::Done) {
                return outcome;
            }
        }
        return Finish(Streaming() ? Stream([&](ByteSource& source, ByteSink& sink) {
            return vlt::Decrypt(source, sink, Key(), Control(), options);
        })
                                  : Guarded(
                                        [&] {
                                            return DecryptFile(PathFromUtf8(input_), Target(),
                                                               Key(), Control(), options);
                                        },
                                        name_));
    }

    Outcome Check() {
        const PrimaryKey* key = session_.key ? &*session_.key : nullptr;
        const RunResult result = Guarded(
            [&] { return vlt::Check(*OpenSource(input_, session_.cancel), key, Control()); },
            name_);
        bar_.Clear();
        switch (result.status) {
            case RunStatus::Finished:
                if (!session_.options.quiet) {
                    const std::string tail = TailNote(result.file);
                    std::cout << name_ << ": encrypted file of "
                              << Plural(result.plainBytes, "plaintext byte", "plaintext bytes")
                              << (tail.empty() ? "" : "; " + tail)
                              << (key ? "; the key is plausible" : "") << std::endl;
                }
                return Outcome::Done;
            case RunStatus::WrongKey:
                Say(name_, "the key does not fit: " + std::string(kWrongKeyReason));
                return Outcome::Failed;
            default:
                return Finish(result);
        }
    }

  private:
    const PrimaryKey& Key() const { return *session_.key; }

    void Say(const std::string& who, const std::string& what) const {
        messages_ << MessageLine(who + ": " + what);
    }

    RunControl Control() {
        return {.progress = [this](const Progress& progress) { bar_.Update(progress); },
                .progressPace = ProgressBar::kRedrawPace,
                .cancel = &session_.cancel,
                .memory = &session_.memory};
    }

    OutputTarget Target() const {
        return {.path = PathFromUtf8(output_),
                .mayReplace = session_.options.mayReplace,
                .batch = &session_.batch};
    }

    bool Streaming() const { return input_ == kStandardStream || output_ == kStandardStream; }

    bool Refused() const {
        if (output_ == kStandardStream) {
            return false;
        }
        const bool named = session_.options.output.has_value();
        const auto refusal = OutputRefusal(output_, session_.options.mayReplace, named);
        if (refusal) {
            // A name made from the input's is the input's fault.
            Say(named || !refusal->starts_with(kNameTooLong) ? output_ : name_, *refusal);
        }
        return refusal.has_value();
    }

    template <typename Operation>
    RunResult Stream(Operation operation) {
        return Guarded(
            [&] {
                const auto source = OpenSource(input_, session_.cancel);
                if (output_ != kStandardStream) {
                    OutputSink sink(
                        PathFromUtf8(output_),
                        {.cancel = &session_.cancel, .mayReplace = session_.options.mayReplace});
                    RunResult result = operation(*source, sink);
                    result.leftover = sink.Discard();
                    return result;
                }
                // Standard output cannot be taken back: what reached it is counted.
                StandardOutput sink(&session_.cancel);
                RunResult result = operation(*source, sink);
                written_ = sink.Written();
                return result;
            },
            name_);
    }

    // Standard output cannot be taken back: a wrong key or a malformed file is
    // refused before the first byte when the input can be read twice.
    Outcome CheckBeforeWriting() {
        const PrimaryKey* key = session_.options.noKeyCheck ? nullptr : &Key();
        RunResult result = Guarded(
            [&] {
                if (input_ != kStandardStream) {
                    return CheckFile(PathFromUtf8(input_), key, Control());
                }
                const auto again = ReopenStandardInput(&session_.cancel);
                // A pipe: only the run itself can tell.
                return again ? vlt::Check(*again, key, Control()) : RunResult{};
            },
            name_);
        bar_.Clear();
        const bool salvaging = session_.options.salvage && Salvageable(result.file);
        return result.status == RunStatus::Finished || salvaging ? Outcome::Done : Finish(result);
    }

    std::string Incomplete() const {
        return output_ == kStandardStream && written_ > 0
                   ? "; standard output is incomplete (" +
                         Plural(written_, "byte was", "bytes were") +
                         " written before) and must be discarded"
                   : "; " + std::string(kNothingWritten);
    }

    Outcome Finish(const RunResult& result) {
        bar_.Clear();
        const Outcome outcome = Report(result);
        if (result.leftover.empty()) {
            return outcome;
        }
        messages_ << MessageLine(result.leftover);
        return outcome == Outcome::Done ? Outcome::Failed : outcome;
    }

    Outcome Report(const RunResult& result) {
        switch (result.status) {
            case RunStatus::Finished:
                if (session_.options.quiet) {
                    return Outcome::Done;
                }
                if (const std::string tail = TailNote(result.file); !tail.empty()) {
                    Say(name_, tail);
                }
                if (const std::string salvaged = SalvageNote(result.file); !salvaged.empty()) {
                    Say(name_, "warning: " + salvaged);
                }
                if (result.file.triplesAboveRange > 0) {
                    Say(name_,
                        "warning: " +
                            Plural(result.file.triplesAboveRange, "value was", "values were") +
                            " above 255 and written modulo 256; the key is probably wrong "
                            "or the file damaged");
                }
                return Outcome::Done;
            case RunStatus::Cancelled:
                Say(name_, "interrupted" + Incomplete());
                return Outcome::Interrupted;
            case RunStatus::OutputExists:
                Say(output_, WithForceHint("already exists"));
                return Outcome::Failed;
            case RunStatus::WrongKey:
                Say(name_, std::string(kWrongKeyReason) + Incomplete() +
                               "; if you are sure of the key, --no-key-check writes the output "
                               "anyway");
                return Outcome::Failed;
            case RunStatus::Failed:
                messages_ << MessageLine(FailureLine(result));
                return Outcome::Failed;
        }
        return Outcome::Failed;
    }

    // The engine's message names the file already; vlt adds what became of the output.
    std::string FailureLine(const RunResult& result) const {
        std::string line = result.message;
        if (result.file.damage != VltDamage::None) {
            if (session_.options.command != Command::Check) {
                line += Incomplete();
            }
            if (session_.options.command == Command::Decrypt && Salvageable(result.file)) {
                line += "; --salvage writes what can be read";
            }
        } else if (output_ == kStandardStream) {
            line += Incomplete();
        }
        return line;
    }

    const Session& session_;
    const std::string& input_;
    const std::string& output_;
    std::ostream& messages_;
    std::string name_;
    ProgressBar bar_;
    std::uint64_t written_ = 0;
};

}  // namespace

std::variant<std::vector<std::string>, std::string> PlanOutputs(const Options& options) {
    std::vector<std::string> outputs;
    for (const std::string& input : options.inputs) {
        if (options.command == Command::Check) {
            outputs.emplace_back();
        } else if (options.output) {
            outputs.push_back(*options.output);
        } else if (options.command == Command::Encrypt) {
            outputs.push_back(EncryptedName(input));
        } else if (auto name = WithoutVltEnding(input)) {
            outputs.push_back(std::move(*name));
        } else if (HasVltEnding(input)) {
            return input + ": nothing is left of the name once .vlt is dropped; " +
                   std::string(kNameOutputHint);
        } else {
            return input +
                   ": cannot name the output after it (that takes a name ending in .vlt); " +
                   std::string(kNameOutputHint);
        }
    }
    return outputs;
}

namespace {

Outcome ProcessInput(const Session& session, const std::string& input, const std::string& output,
                     std::ostream& messages) {
    Run run(session, input, output, messages);
    switch (session.options.command) {
        case Command::Encrypt:
            return run.Encrypt();
        case Command::Decrypt:
            return run.Decrypt();
        case Command::Check:
            return run.Check();
    }
    return Outcome::Failed;
}

// The inputs done since the batch began, whose messages wait for the batch:
// an output's failure to reach the disk is only known then, and the messages
// keep the order of the inputs.
class Reports {
  public:
    explicit Reports(OutputBatch& batch) : batch_(batch) {}

    // A failure completes the batch at once: what the earlier inputs made is
    // put in place before whatever struck this one can strike them too.
    void Add(Outcome outcome, std::string messages, bool inBatch) {
        held_.push_back({outcome, std::move(messages), inBatch});
        if (batch_.size() == 0 || batch_.Full() || outcome == Outcome::Failed) {
            Flush();
        }
    }

    // Completes the batch and shows the messages held for it. Outputs whose
    // run finished are put in place even when a later input is interrupted.
    void Flush() {
        const auto failures = batch_.Complete();
        auto failure = failures.begin();
        for (Held& input : held_) {
            const std::optional<FileError>* error = input.inBatch ? &*failure++ : nullptr;
            if (error != nullptr && *error) {
                const std::string what = (*error)->what();
                input.messages +=
                    MessageLine((*error)->AlreadyExists() ? WithForceHint(what) : what);
                input.outcome = Outcome::Failed;
            }
            std::cerr << input.messages;
            failed_ = failed_ || input.outcome == Outcome::Failed;
        }
        held_.clear();
    }

    bool failed() const { return failed_; }

  private:
    struct Held {
        Outcome outcome;
        std::string messages;
        bool inBatch;  // its output waits in the batch
    };
    OutputBatch& batch_;
    std::vector<Held> held_;
    bool failed_ = false;
};

}  // namespace

int ProcessInputs(const Session& session, const std::vector<std::string>& outputs) {
    const std::vector<std::string>& inputs = session.options.inputs;
    Reports reports(session.batch);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        // An input or output that an earlier output will replace is read or
        // written as it would be without batches: after that output is in place.
        const auto held = [&](const std::string& name) {
            return name != kStandardStream && !name.empty() &&
                   session.batch.Holds(PathFromUtf8(name));
        };
        const std::size_t waiting = session.batch.size();
        Outcome outcome = Outcome::Failed;
        std::string messages;
        // Memory that runs out outside a run fails this input alone; what the
        // earlier ones made stays in the batch, to be put in place.
        try {
            if (held(inputs[i]) || held(outputs[i])) {
                reports.Flush();
            }
            std::ostringstream said;
            outcome = ProcessInput(session, inputs[i], outputs[i], said);
            messages = said.str();
        } catch (const std::bad_alloc&) {
            outcome = Outcome::Failed;
            messages = MessageLine(ShownName(inputs[i]) + ": not enough memory");
        }
        reports.Add(outcome, std::move(messages), session.batch.size() > waiting);
        if (outcome == Outcome::Interrupted) {
            reports.Flush();
            return InterruptedExitStatus();
        }
        // A signal after an input's run ended leaves that output complete; it only
        // stops the inputs still waiting.
        const std::size_t remaining = inputs.size() - i - 1;
        if (session.cancel.Requested() && remaining > 0) {
            reports.Flush();
            ShowMessage("interrupted; " + Plural(remaining, "more input was", "more inputs were") +
                        " not processed");
            return InterruptedExitStatus();
        }
    }
    reports.Flush();
    return reports.failed() ? kExitFailure : kExitSuccess;
}

}  // namespace vlt::cli
