#pragma once

// The terminal (a console on Windows) as vlt uses it: whether a standard
// stream is one, how wide it is, and a line typed without echo. Each system
// implements this header in platform/<system>/terminal.cpp.

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/cancellation.h"

namespace vlt {

enum class StandardStream { Input, Output, Error };

bool IsTerminal(StandardStream stream);

// The columns of the terminal on standard error, when it is one.
std::optional<int> TerminalColumns();

// Whether the terminal on standard error takes the escape that clears to the
// end of the line ("\033[K"). A console of Windows does once its virtual-
// terminal processing is on, which this asks for; an older one does not.
bool TerminalTakesEscapes();

// The terminal refused or failed; what() is the system's reason.
class TerminalError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The user's terminal for a secret: the one the program was started from,
// even with its standard streams redirected.
class SecretPrompt {
  public:
    // None when the program has no terminal.
    static std::optional<SecretPrompt> Open();
    ~SecretPrompt() = default;
    SecretPrompt(SecretPrompt&& other) noexcept = default;
    SecretPrompt& operator=(SecretPrompt&&) = delete;

    // Shows `prompt` and reads one line without echoing it, in UTF-8 and
    // without its line ending; the end of input ends the line too. Throws
    // TerminalError, or Cancelled as soon as `cancel` is requested.
    std::string Ask(std::string_view prompt, const CancelSignal& cancel);

  private:
    struct System;  // the terminal, open; each system's own
    struct Close {  // each system's own
        void operator()(System* system) const noexcept;
    };
    explicit SecretPrompt(System* system) : system_(system) {}
    std::unique_ptr<System, Close> system_;
};

}  // namespace vlt
