#pragma once

// The one window: the primary key, the boxes of both runs with their "..."
// buttons, the two run buttons and the progress bar. Controls and handlers are
// named after the window's controls and their events.

#include <QWidget>
#include <filesystem>

#include "app/background_run.h"
#include "cipher/engine.h"

class QCloseEvent;
class QLabel;
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

    // Encrypt file: checks the boxes, then encrypts Text1 into Text2.
    void Command1_Click();
    // Decrypt file: checks the boxes, then decrypts Text6 into Text5.
    void Command2_Click();
    // "..." of the encryption: Text1 gets the chosen name, Text2 that name and ".vlt".
    void Command3_Click();
    // "..." of the decryption: Text6 gets the chosen name, Text5 that name less four characters.
    void Command4_Click();
    // Closing the window: stops a run and ends the program.
    void Form_Unload();

    // True while an encryption or decryption runs.
    bool Running() const { return run_.Active(); }

    QLineEdit* Text1;
    QLineEdit* Text2;
    QLineEdit* Text3;
    QLineEdit* Text5;
    QLineEdit* Text6;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* Command4;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QProgressBar* ProgressBar1;
    vlt::FileDialog& CommonDialog1;

  signals:
    // The program is to end: the window was closed or a run has finished.
    void ProgramEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    enum class Operation { Encrypt, Decrypt };
    struct Request {
        Operation operation;
        std::filesystem::path input;
        std::filesystem::path output;
        vlt::PrimaryKey key;
        vlt::DecryptOptions options;
    };

    void CreateControls();
    void StartRun(Operation operation, const QString& input, const QString& output);
    void Launch(const Request& request);
    void RunDone();

    vlt::MessageBox& messages_;
    BackgroundRun run_;
    Request request_{};
    bool ended_ = false;
};
