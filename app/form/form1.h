#pragma once

// The one window's rules, whatever draws it: the checks of the two run buttons in their
// order, the naming rules of the two "..." buttons and of dropped files, and a run's life
// from its start to the end of the program. The window itself is the view's; handlers
// are named for what the user did, with the control beside them.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/form/background_run.h"
#include "app/form/form1_view.h"
#include "cipher/engine.h"

namespace vlt {

class Form1 {
  public:
    // The view is the caller's and outlives the rules.
    explicit Form1(Form1View& view);
    // Stops a run still going and waits for it.
    ~Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // Command1, "Encrypt file": checks the boxes, then encrypts the encryption's input into
    // its output.
    void EncryptClicked();
    // Command2, "Decrypt file": checks the boxes, then decrypts the decryption's input into
    // its output.
    void DecryptClicked();
    // Command3, the encryption's "...": its input gets the chosen name, its output that name
    // and ".vlt".
    void BrowseEncryptClicked();
    // Command4, the decryption's "...": its input gets the chosen name, its output that name
    // less four characters.
    void BrowseDecryptClicked();
    // Files dropped onto a side's boxes or "...": one file fills that side as its "..." does.
    // A name that is not a local file is empty.
    void FilesDropped(Operation side, const std::vector<std::string>& names);
    // The program's arguments, `[--encrypt | --decrypt] [FILE]`: a file fills the side the
    // option names, as that side's "..." would; without one, a name ending in ".vlt" (in any
    // case) the decryption's and any other the encryption's. Explorer's "Encrypt with" and
    // "Decrypt with" name the side. The file becomes the Open dialog's last file, as if
    // chosen with that "...", so that a cancelled dialog keeps it. Several files get a note;
    // "--help", "-h" and "/?" the usage.
    void CommandLine(std::vector<std::string> arguments);
    // Form_Unload, the window closed: stops a run and ends the program.
    void WindowClosed();

    // True while an encryption or decryption runs.
    bool Running() const { return run_.Active(); }

    // CommonDialog1, shared by both "...": its filter and the last file chosen, kept between
    // uses; a cancel leaves the name.
    const std::string& DialogFilter() const { return dialogFilter_; }
    const std::string& DialogFileName() const { return dialogFileName_; }

  private:
    struct Request {
        Operation operation;
        std::filesystem::path input;
        std::filesystem::path output;
        std::string inputName;   // as typed, for what is said about the file
        std::string outputName;  // as typed, for the question before replacing it
        PrimaryKey key{};
        DecryptOptions options{};
        bool mayReplace = false;  // a file at the output's name may be replaced
    };

    // The Open dialog, started in the folder of the file in the side's input box, else in
    // the current folder, rather than wherever the system last left it.
    void ShowOpen(Box sideInput);
    std::string StartFolder(Box sideInput) const;
    void FillEncryptSide(const std::string& name);
    void FillDecryptSide(const std::string& name);
    void StartRun(Operation operation, const std::string& input, const std::string& output);
    void Launch(const Request& request);
    void RunDone();
    void ShowFinished(const RunResult& result);
    // Yes to replacing a file that appeared at the output's name: the finished
    // output kept from the run goes in place, or, without one, the run starts again.
    void ReplaceAfterRun(const RunResult& result);
    void ShowFailure(const std::string& reason, const std::string& leftover);
    // Stops a run and waits for it; what it could not remove goes to stderr, there being no
    // window left to show it.
    void StopRun();

    Form1View& view_;
    std::string dialogFilter_;
    std::string dialogFileName_;
    BackgroundRun run_;
    Request request_{};
    // A finished output refused its place, while the user is asked about the file at its name.
    std::optional<RefusedOutput> refused_;
    bool ended_ = false;
    bool closing_ = false;  // the window is being closed: a run's end is the closing's business
};

}  // namespace vlt
