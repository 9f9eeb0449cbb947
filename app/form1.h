#pragma once

// The one window: the primary key, the boxes of both runs with their "..."
// buttons, the two run buttons and the progress bar. Each control carries its
// original control name as its object name ("Text3" is the key box), which is
// how the tests find it; handlers are named after the controls' events.

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <filesystem>

#include "app/background_run.h"
#include "cipher/engine.h"

class QCloseEvent;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vlt {
class FileDialog;
class MessageBox;
}  // namespace vlt

class Form1 : public QWidget {
    Q_OBJECT

  public:
    // The dialog and the message boxes are the caller's and outlive the window.
    Form1(vlt::FileDialog& commonDialog, vlt::MessageBox& messages, QWidget* parent = nullptr);
    ~Form1() override;

    // Encrypt file: checks the boxes, then encrypts the encryption's input into its output.
    void Command1_Click();
    // Decrypt file: checks the boxes, then decrypts the decryption's input into its output.
    void Command2_Click();
    // "..." of the encryption: its input gets the chosen name, its output that name and ".vlt".
    void Command3_Click();
    // "..." of the decryption: its input gets the chosen name, its output that name less four
    // characters.
    void Command4_Click();
    // Closing the window: stops a run and ends the program.
    void Form_Unload();

    // True while an encryption or decryption runs.
    bool Running() const { return run_.Active(); }

  signals:
    // The program is to end: the window was closed or a run has finished.
    void ProgramEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Files dropped onto either side's boxes or "..." button.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Operation { Encrypt, Decrypt };
    struct Request {
        Operation operation;
        std::filesystem::path input;
        std::filesystem::path output;
        QString outputName;  // as typed, for the question before replacing it
        vlt::PrimaryKey key{};
        vlt::DecryptOptions options{};
        bool replace = false;  // a file at the output's name may be replaced
    };

    void CreateControls();
    // The naming rules of the two sides, shared by their "..." buttons and by drops.
    void FillEncryptSide(const QString& name);
    void FillDecryptSide(const QString& name);
    void FileDropped(Operation side, const QList<QUrl>& urls);
    void StartRun(Operation operation, const QString& input, const QString& output);
    void Launch(const Request& request);
    void RunDone();
    // Stops a run and waits for it; what it could not remove goes to stderr, there being no
    // window left to show it.
    void StopRun();

    QLineEdit* keyBox_;              // Text3
    QLineEdit* encryptInput_;        // Text1
    QLineEdit* encryptOutput_;       // Text2
    QLineEdit* decryptInput_;        // Text6
    QLineEdit* decryptOutput_;       // Text5
    QPushButton* encryptButton_;     // Command1
    QPushButton* decryptButton_;     // Command2
    QPushButton* encryptBrowse_;     // Command3
    QPushButton* decryptBrowse_;     // Command4
    QProgressBar* progressBar_;      // ProgressBar1
    vlt::FileDialog& commonDialog_;  // CommonDialog1
    vlt::MessageBox& messages_;
    BackgroundRun run_;
    Request request_{};
    bool ended_ = false;
    bool closing_ = false;  // the window is being closed: a run's end is the closing's business
};
