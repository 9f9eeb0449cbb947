#include "app/form/form1.h"

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "app/form/messages.h"
#include "app/form/naming.h"
#include "cipher/vlt_format.h"
#include "platform/file_access.h"
#include "platform/system_code_page.h"
#include "platform/utf8.h"

namespace vlt {

namespace {

// Whether a run into `path` would replace a file: a regular file, or a link that leads to one
// or nowhere. A folder is refused by the run and a device or a pipe is written to, so neither
// is asked about; nor is a name that cannot be looked up, which the run then reports.
bool WouldReplace(const std::filesystem::path& path) {
    try {
        return KindOf(path) == FileKind::Regular;
    } catch (const FileError&) {
        return false;
    }
}

bool IsHelpRequest(std::string_view argument) {
    return argument == "--help" || argument == "-h" || argument == "/?";
}

bool IsFolder(const std::string& name) {
    try {
        return KindOf(PathFromUtf8(name)) == FileKind::Folder;
    } catch (const FileError&) {
        return false;
    }
}

struct Needed {
    Box box;
    std::string_view message;  // asks for it when it is empty
};

// Whether every box a run needs is filled; asks for the first that is not, in the order given.
bool Filled(Form1View& view, std::initializer_list<Needed> needed) {
    for (const Needed& one : needed) {
        if (view.Text(one.box).empty()) {
            view.Inform(std::string(one.message));
            return false;
        }
    }
    return true;
}

}  // namespace

Form1::Form1(Form1View& view) : view_(view) {}

Form1::~Form1() {
    StopRun();
}

void Form1::EncryptClicked() {
    if (run_.Active()) {
        return;
    }
    if (view_.Text(Box::EncryptInput).empty()) {
        view_.Inform(std::string(kEnterFileName));
        BrowseEncryptClicked();
        return;
    }
    if (Filled(view_, {{Box::Key, kEnterKey}, {Box::EncryptOutput, kEnterOutputName}})) {
        StartRun(Operation::Encrypt, view_.Text(Box::EncryptInput), view_.Text(Box::EncryptOutput));
    }
}

void Form1::DecryptClicked() {
    if (run_.Active()) {
        return;
    }
    if (Filled(view_, {{Box::Key, kEnterKey},
                       {Box::DecryptInput, kEnterDecryptName},
                       {Box::DecryptOutput, kEnterDecryptOutputName}})) {
        StartRun(Operation::Decrypt, view_.Text(Box::DecryptInput), view_.Text(Box::DecryptOutput));
    }
}

void Form1::BrowseEncryptClicked() {
    ShowOpen(Box::EncryptInput);
    FillEncryptSide(dialogFileName_);
}

void Form1::BrowseDecryptClicked() {
    dialogFilter_ = kEncryptedFilter;
    ShowOpen(Box::DecryptInput);
    FillDecryptSide(dialogFileName_);
}

void Form1::ShowOpen(Box sideInput) {
    if (std::optional<std::string> chosen =
            view_.ShowOpen(dialogFilter_, dialogFileName_, StartFolder(sideInput))) {
        dialogFileName_ = std::move(*chosen);
    }
}

std::string Form1::StartFolder(Box sideInput) const {
    std::error_code error;
    const std::filesystem::path folder = PathFromUtf8(view_.Text(sideInput)).parent_path();
    if (!folder.empty() && std::filesystem::is_directory(folder, error)) {
        return Utf8Of(std::filesystem::absolute(folder, error));
    }
    const std::filesystem::path current = std::filesystem::current_path(error);
    return error ? std::string() : Utf8Of(current);
}

void Form1::FillEncryptSide(const std::string& name) {
    view_.SetText(Box::EncryptInput, name);
    view_.SetText(Box::EncryptOutput, EncryptedName(name));
}

void Form1::FillDecryptSide(const std::string& name) {
    view_.SetText(Box::DecryptInput, name);
    if (const std::optional<std::string> output = WithoutLastFourCharacters(name)) {
        view_.SetText(Box::DecryptOutput, *output);
    }
}

void Form1::FilesDropped(Operation side, const std::vector<std::string>& names) {
    if (names.size() != 1 || names.front().empty() || IsFolder(names.front())) {
        // Shown once the drop has ended, so that the file manager is not kept waiting on it.
        view_.Post([this] { view_.Inform(std::string(kDropOneFile)); });
        return;
    }
    if (side == Operation::Encrypt) {
        FillEncryptSide(names.front());
    } else {
        FillDecryptSide(names.front());
    }
}

void Form1::CommandLine(std::vector<std::string> arguments) {
    if (!arguments.empty() && IsHelpRequest(arguments.front())) {
        view_.Post([this] { view_.Inform(std::string(kUsage)); });
        return;
    }
    std::optional<Operation> side;
    if (!arguments.empty() &&
        (arguments.front() == kEncryptOption || arguments.front() == kDecryptOption)) {
        side = arguments.front() == kEncryptOption ? Operation::Encrypt : Operation::Decrypt;
        arguments.erase(arguments.begin());
    }
    if (arguments.size() > 1) {
        // Shown once the window is on the screen.
        view_.Post([this] { view_.Inform(std::string(kOpenOneFile)); });
        return;
    }
    if (arguments.empty()) {
        return;
    }
    // A full path, as the Open dialog gives, so that the box says where the file is.
    std::error_code error;
    const std::filesystem::path path = PathFromUtf8(arguments.front());
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    const std::string name = Utf8Of(error ? path : full);
    // As if chosen with that side's "...": a cancelled Open dialog keeps it.
    dialogFileName_ = name;
    if (side.value_or(HasVltEnding(name) ? Operation::Decrypt : Operation::Encrypt) ==
        Operation::Decrypt) {
        FillDecryptSide(name);
    } else {
        FillEncryptSide(name);
    }
}

void Form1::WindowClosed() {
    // The window goes at once; the run stops behind it and removes its temporary
    // file before the program goes, which for a huge file takes a moment.
    closing_ = true;
    view_.Hide();
    StopRun();
    if (!ended_) {
        ended_ = true;
        view_.EndProgram();
    }
}

void Form1::StopRun() {
    const RunResult stopped = run_.CancelAndWait();
    for (const std::string& note :
         {stopped.leftover, refused_ ? refused_->Discard() : std::string()}) {
        if (!note.empty()) {
            std::fprintf(stderr, "veltrimax: %s\n", note.c_str());
        }
    }
    refused_.reset();
}

void Form1::StartRun(Operation operation, const std::string& input, const std::string& output) {
    Request request{.operation = operation,
                    .input = PathFromUtf8(input),
                    .output = PathFromUtf8(output),
                    .inputName = input,
                    .outputName = output};
    request.key.text = view_.Text(Box::Key);
    try {
        request.key.codePage = SystemCodePage();
    } catch (const CodePageError& error) {
        // The code page comes from the environment: say which setting is wrong.
        view_.ShowError(std::string("VLT_CODEPAGE: ") + error.what());
        return;
    }
    if (const std::optional<std::string> note =
            KeyCodingNote(request.key.text, request.key.codePage)) {
        view_.Inform(*note);
    }
    if (WouldReplace(request.output)) {
        if (!view_.AskYesNo(ReplaceQuestion(output))) {
            return;
        }
        request.mayReplace = true;
    }
    Launch(request);
}

void Form1::Launch(const Request& request) {
    request_ = request;
    view_.SetProgress(0);
    BackgroundRun::Reports reports{
        .progressed =
            [this](int percent) { view_.Post([this, percent] { view_.SetProgress(percent); }); },
        .done = [this] { view_.Post([this] { RunDone(); }); },
    };
    run_.Start(
        [request](const RunControl& control) {
            const OutputTarget target{
                .path = request.output, .mayReplace = request.mayReplace, .keepRefused = true};
            if (request.operation == Operation::Encrypt) {
                return EncryptFile(request.input, target, request.key, control);
            }
            return DecryptFile(request.input, target, request.key, control, request.options);
        },
        std::move(reports));
}

void Form1::RunDone() {
    // A run stopped by closing the window is waited for there; nothing is left to show.
    if (!run_.Active() || closing_) {
        return;
    }
    RunResult result = run_.TakeResult();
    // A failure's message carries it; any other end shows it first, whatever is asked next.
    if (!result.leftover.empty() && result.status != RunStatus::Failed) {
        view_.ShowError(result.leftover);
    }
    const bool encrypt = request_.operation == Operation::Encrypt;
    switch (result.status) {
        case RunStatus::Finished:
            ShowFinished(result);
            break;
        case RunStatus::WrongKey:
            if (view_.AskYesNo(std::string(kWrongKeyQuestion))) {
                request_.options.writeOnWrongKey = true;
                Launch(request_);
            } else {
                view_.SetProgress(0);
            }
            break;
        // A file appeared at the output's name during the run, or while a question was open.
        case RunStatus::OutputExists:
            refused_ = std::move(result.refused);
            if (view_.AskYesNo(ReplaceQuestion(request_.outputName))) {
                ReplaceAfterRun(result);
            } else if (!closing_) {
                view_.SetProgress(0);
                if (const std::string note = refused_ ? refused_->Discard() : std::string();
                    !note.empty()) {
                    view_.ShowError(note);
                }
                refused_.reset();
            }
            break;
        case RunStatus::Failed: {
            view_.SetProgress(0);
            if (!encrypt && Salvageable(result.file) && !request_.options.salvage) {
                if (view_.AskYesNo(
                        DamagedQuestion(request_.inputName, DamageSentence(result.file)))) {
                    request_.options.salvage = true;
                    Launch(request_);
                }
                break;
            }
            ShowFailure(result.message, result.leftover);
            break;
        }
        case RunStatus::Cancelled:
            view_.SetProgress(0);
            break;
    }
}

void Form1::ShowFinished(const RunResult& result) {
    view_.SetProgress(100);
    const std::string finished(request_.operation == Operation::Encrypt ? kEncryptFinished
                                                                        : kDecryptFinished);
    std::string note = SalvageNote(result.file);
    if (note.empty()) {
        note = TailNote(result.file);
    }
    view_.Inform(note.empty() ? finished : FinishedWithNote(finished, request_.inputName, note));
    WindowClosed();
}

void Form1::ReplaceAfterRun(const RunResult& result) {
    if (closing_) {
        return;  // the closing has discarded what the run left
    }
    if (!refused_) {
        request_.mayReplace = true;
        Launch(request_);
        return;
    }
    // The output was finished before the question: the input may be gone or changed by now.
    std::string leftover;
    try {
        leftover = refused_->Replace();
    } catch (const FileError& error) {
        refused_.reset();
        view_.SetProgress(0);
        ShowFailure(error.what(), {});
        return;
    }
    refused_.reset();
    if (!leftover.empty()) {
        view_.ShowError(leftover);
    }
    ShowFinished(result);
}

void Form1::ShowFailure(const std::string& reason, const std::string& leftover) {
    std::string text =
        request_.operation == Operation::Encrypt ? EncryptFailed(reason) : DecryptFailed(reason);
    if (!leftover.empty()) {
        text += '\n' + leftover;
    }
    view_.ShowError(text);
}

}  // namespace vlt
