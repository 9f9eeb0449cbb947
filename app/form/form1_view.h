#pragma once

// What Form1's rules need of a window, whatever the toolkit draws it with. Texts are
// UTF-8; every call but Post comes on the window's thread.

#include <functional>
#include <optional>
#include <string>

namespace vlt {

// The five boxes, by role.
enum class Box {
    Key,            // Text3
    EncryptInput,   // Text1
    EncryptOutput,  // Text2
    DecryptInput,   // Text6
    DecryptOutput,  // Text5
};

// A run, and the side of the window whose controls serve it.
enum class Operation { Encrypt, Decrypt };

class Form1View {
  public:
    virtual ~Form1View() = default;

    virtual std::string Text(Box box) const = 0;
    virtual void SetText(Box box, const std::string& text) = 0;
    // ProgressBar1, 0 to 100.
    virtual void SetProgress(int percent) = 0;

    // Modal message boxes titled with the application's title; each returns when closed.
    // A note or a prompt with a single OK button.
    virtual void Inform(const std::string& text) = 0;
    // A failure with a single OK button.
    virtual void ShowError(const std::string& text) = 0;
    // A question with Yes and No, No being the default; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;

    // The modal Open dialog with `filter` ("description|pattern|" pairs, empty for every
    // file), started in `folder` with the name of `fileName` (the last file chosen) in its
    // box; the chosen file's full path, or nothing on cancel.
    virtual std::optional<std::string> ShowOpen(const std::string& filter,
                                                const std::string& fileName,
                                                const std::string& folder) = 0;

    // Takes the window off the screen at once.
    virtual void Hide() = 0;
    // The program is to end: the view stops its event loop.
    virtual void EndProgram() = 0;

    // Runs `task` on the window's thread once the current event is done; callable from any
    // thread. Tasks still waiting when the window goes are dropped.
    virtual void Post(std::function<void()> task) = 0;
};

}  // namespace vlt
