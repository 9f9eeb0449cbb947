#pragma once

// Form1 drawn with Qt widgets: the controls of kForm1Controls, each with its control
// name as its object name ("Text3" is the key box), which is how the tests find it. The
// clicks, drops and the close box go to Form1's rules; the rules reach the widgets, the
// dialog and the message boxes through Form1View.

#include <QStringList>
#include <QWidget>
#include <array>

#include "app/form/form1.h"
#include "app/form/form1_view.h"

class QCloseEvent;
class QLineEdit;
class QProgressBar;

namespace vlt {

class OpenDialog;
class MessageBox;

class Form1Window final : public QWidget, public Form1View {
    Q_OBJECT

  public:
    // The dialog and the message boxes are the caller's and outlive the window.
    Form1Window(OpenDialog& commonDialog, MessageBox& messages, QWidget* parent = nullptr);
    ~Form1Window() override;

    // The program's arguments, for Form1's rules.
    void CommandLine(const QStringList& arguments);

    // True while an encryption or decryption runs.
    bool Running() const { return form_.Running(); }

    std::string Text(Box box) const override;
    void SetText(Box box, const std::string& text) override;
    void SetProgress(int percent) override;
    void Inform(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    std::optional<std::string> ShowOpen(const std::string& filter, const std::string& fileName,
                                        const std::string& folder) override;
    void Hide() override;
    void EndProgram() override;
    void Post(std::function<void()> task) override;

  signals:
    // The program is to end: the window was closed or a run has finished.
    void ProgramEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Files dropped onto either side's boxes or "..." button.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();

    std::array<QLineEdit*, 5> boxes_{};  // by Box
    QProgressBar* progressBar_ = nullptr;
    OpenDialog& commonDialog_;  // CommonDialog1
    MessageBox& messages_;
    // Destroyed first: a run stops before the window it posts to goes.
    Form1 form_;
};

}  // namespace vlt
