#include "app/form1.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <system_error>

#include "app/file_dialog.h"
#include "app/message_box.h"
#include "cipher/vlt_format.h"
#include "platform/codepage.h"

namespace {

const QString kEnterFileName = QStringLiteral("Please enter file name");
const QString kEnterKey = QString::fromUtf8(vlt::kEnterKeyMessage);
const QString kEnterDecryptName = QStringLiteral("Please enter file name for decrypt");
const QString kEnterOutputName = QStringLiteral("Please enter output file name");
const QString kEnterDecryptOutputName = QStringLiteral("Please enter output file name for decrypt");
const QString kEncryptFinished = QStringLiteral("Encrypt is finish");
const QString kDecryptFinished = QStringLiteral("Decrypt is finish");
const QString kWrongKeyQuestion =
    QStringLiteral("The primary key is wrong or the file is damaged. Save the output anyway?");
const QString kReplaceQuestion = QStringLiteral("%1 already exists. Replace it?");
const QString kEncryptFailed = QStringLiteral("Encryption failed: %1");
const QString kDecryptFailed = QStringLiteral("Decryption failed: %1");
const QString kEncryptedFilter = QStringLiteral("Veltrimax vl datoteke (*.vlt)|*.vlt|");
const QString kEncryptedSuffix = QString::fromUtf8(vlt::kVltSuffix);
const QString kDropOneFile = QStringLiteral("Please drop one file, not several or a folder");
const QString kContactLine =
    QStringLiteral("Veltrimax for Linux - https://veltrimax.invalid - support@veltrimax.invalid");

// The layout is kept in twips, as the window was designed; 15 twips make a pixel.
constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidthTwips = 10875;
constexpr int kClientHeightTwips = 5790;

template <class Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                        height / kTwipsPerPixel);
    return widget;
}

// A focused button acts on Enter and the keypad's Enter as on Space, as buttons do
// on Windows; a plain QPushButton that is not a default button ignores Enter.
class Button final : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (!event->isAutoRepeat()) {
                click();
            }
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

QPushButton* MakeButton(const QString& caption, QWidget* parent) {
    auto* button = new Button(caption, parent);
    // No default button: Enter in a box and Esc do nothing of their own.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLineEdit* MakeBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    // A line edit stops at 32767 characters by default; a pasted key must arrive whole.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QLabel* MakeLabel(const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    // Captions sit at the top of their label, level with the box they name.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QFont BrowseButtonFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}

std::filesystem::path ToPath(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

// Whether a run into `path` would replace a file: a regular file, or a link that leads to one
// or nowhere. A folder is refused by the run and a device or a pipe is written to, so neither
// is asked about; nor is a name that cannot be looked up, which the run then reports.
bool WouldReplace(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status link = std::filesystem::symlink_status(path, error);
    if (!std::filesystem::is_symlink(link)) {
        return std::filesystem::is_regular_file(link);
    }
    const std::filesystem::file_status target = std::filesystem::status(path, error);
    return !std::filesystem::exists(target) || std::filesystem::is_regular_file(target);
}

}  // namespace

Form1::Form1(vlt::FileDialog& commonDialog, vlt::MessageBox& messages, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      commonDialog_(commonDialog),
      messages_(messages) {
    setWindowTitle(QStringLiteral("Veltrimax Encrypt and decrypt file"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/veltrimax-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/veltrimax-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);
    CreateControls();

    connect(&run_, &BackgroundRun::Progressed, progressBar_, &QProgressBar::setValue);
    connect(&run_, &BackgroundRun::Done, this, &Form1::RunDone);
    connect(encryptButton_, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(decryptButton_, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(encryptBrowse_, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(decryptBrowse_, &QPushButton::clicked, this, &Form1::Command4_Click);
    // A pasted key keeps its first line only, as a one-line box on Windows takes it: a key
    // copied with its line ending must be the key typed.
    connect(keyBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        const qsizetype lineBreak = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
        if (lineBreak >= 0) {
            keyBox_->setText(text.left(lineBreak));
        }
    });

    if (const QScreen* where = screen()) {
        move(where->availableGeometry().center() - rect().center());
    }
    encryptButton_->setFocus();
}

Form1::~Form1() {
    StopRun();
}

// Created in tab order, which makes it the focus chain; labels and the bar take no focus.
void Form1::CreateControls() {
    encryptButton_ =
        Place(MakeButton(QStringLiteral("Encrypt file"), this), "Command1", 7680, 1680, 3030, 375);
    QLabel* encryptInputLabel =
        Place(MakeLabel(QStringLiteral("File for encrypt"), this), "Label1", 240, 795, 1980, 315);
    encryptInput_ = Place(MakeBox(this), "Text1", 2040, 720, 7785, 285);
    encryptBrowse_ =
        Place(MakeButton(QStringLiteral("..."), this), "Command3", 10080, 720, 615, 375);
    QLabel* encryptOutputLabel =
        Place(MakeLabel(QStringLiteral("Output file name"), this), "Label2", 240, 1200, 1980, 315);
    encryptOutput_ = Place(MakeBox(this), "Text2", 2070, 1200, 7800, 285);
    progressBar_ = Place(new QProgressBar(this), "ProgressBar1", 240, 2160, 10455, 495);
    keyBox_ = Place(MakeBox(this), "Text3", 2070, 240, 7800, 285);
    QLabel* keyLabel =
        Place(MakeLabel(QStringLiteral("Primary key"), this), "Label3", 240, 315, 1980, 315);
    decryptOutput_ = Place(MakeBox(this), "Text5", 2070, 3720, 7800, 285);
    decryptBrowse_ =
        Place(MakeButton(QStringLiteral("..."), this), "Command4", 10080, 3240, 615, 375);
    decryptInput_ = Place(MakeBox(this), "Text6", 2040, 3240, 7785, 285);
    QLabel* decryptOutputLabel =
        Place(MakeLabel(QStringLiteral("Output file name"), this), "Label5", 240, 3795, 1980, 315);
    QLabel* decryptInputLabel =
        Place(MakeLabel(QStringLiteral("File for decrypt"), this), "Label6", 240, 3315, 1980, 315);
    decryptButton_ =
        Place(MakeButton(QStringLiteral("Decrypt file"), this), "Command2", 7680, 4200, 3030, 375);
    Place(MakeLabel(kContactLine, this), "Label4", 3240, 5040, 6855, 375);

    encryptBrowse_->setFont(BrowseButtonFont());
    decryptBrowse_->setFont(BrowseButtonFont());
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setFocusPolicy(Qt::NoFocus);

    // A label names its box for screen readers; the captions carry no access key, so the
    // labels still take no focus and answer no key.
    keyLabel->setBuddy(keyBox_);
    encryptInputLabel->setBuddy(encryptInput_);
    encryptOutputLabel->setBuddy(encryptOutput_);
    decryptInputLabel->setBuddy(decryptInput_);
    decryptOutputLabel->setBuddy(decryptOutput_);
    progressBar_->setAccessibleName(QStringLiteral("Progress"));

    // A file dropped onto a side's boxes or "..." button fills that side as its "..." does.
    for (QWidget* target :
         std::initializer_list<QWidget*>{encryptInput_, encryptOutput_, encryptBrowse_,
                                         decryptInput_, decryptOutput_, decryptBrowse_}) {
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }
}

void Form1::Command1_Click() {
    if (run_.Active()) {
        return;
    }
    if (encryptInput_->text().isEmpty()) {
        messages_.Inform(kEnterFileName);
        Command3_Click();
        return;
    }
    if (keyBox_->text().isEmpty()) {
        messages_.Inform(kEnterKey);
        return;
    }
    if (encryptOutput_->text().isEmpty()) {
        messages_.Inform(kEnterOutputName);
        return;
    }
    StartRun(Operation::Encrypt, encryptInput_->text(), encryptOutput_->text());
}

void Form1::Command2_Click() {
    if (run_.Active()) {
        return;
    }
    if (keyBox_->text().isEmpty()) {
        messages_.Inform(kEnterKey);
        return;
    }
    if (decryptInput_->text().isEmpty()) {
        messages_.Inform(kEnterDecryptName);
        return;
    }
    if (decryptOutput_->text().isEmpty()) {
        messages_.Inform(kEnterDecryptOutputName);
        return;
    }
    StartRun(Operation::Decrypt, decryptInput_->text(), decryptOutput_->text());
}

void Form1::Command3_Click() {
    commonDialog_.ShowOpen();
    FillEncryptSide(commonDialog_.FileName());
}

void Form1::Command4_Click() {
    commonDialog_.SetFilter(kEncryptedFilter);
    commonDialog_.ShowOpen();
    FillDecryptSide(commonDialog_.FileName());
}

void Form1::FillEncryptSide(const QString& name) {
    encryptInput_->setText(name);
    encryptOutput_->setText(name + kEncryptedSuffix);
}

void Form1::FillDecryptSide(const QString& name) {
    decryptInput_->setText(name);
    // Drops the suffix's length whatever those characters are; shorter names leave the output
    // box alone.
    if (name.size() >= kEncryptedSuffix.size()) {
        decryptOutput_->setText(name.chopped(kEncryptedSuffix.size()));
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return QWidget::eventFilter(watched, event);
    }
    auto* drop = static_cast<QDropEvent*>(event);
    // Text dragged within or between the boxes stays the boxes' own business.
    if (!drop->mimeData()->hasUrls()) {
        return false;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        const bool encryptSide =
            watched == encryptInput_ || watched == encryptOutput_ || watched == encryptBrowse_;
        FileDropped(encryptSide ? Operation::Encrypt : Operation::Decrypt,
                    drop->mimeData()->urls());
    }
    return true;
}

void Form1::FileDropped(Operation side, const QList<QUrl>& urls) {
    const bool oneFile = urls.size() == 1 && urls.front().isLocalFile() &&
                         !QFileInfo(urls.front().toLocalFile()).isDir();
    if (!oneFile) {
        // Shown once the drop has ended, so that the file manager is not kept waiting on it.
        QMetaObject::invokeMethod(
            this, [this] { messages_.Inform(kDropOneFile); }, Qt::QueuedConnection);
        return;
    }
    const QString name = urls.front().toLocalFile();
    if (side == Operation::Encrypt) {
        FillEncryptSide(name);
    } else {
        FillDecryptSide(name);
    }
}

void Form1::Form_Unload() {
    // The window goes at once; the run stops behind it and removes its temporary
    // file before the program goes, which for a huge file takes a moment.
    closing_ = true;
    hide();
    QGuiApplication::sync();
    StopRun();
    if (!ended_) {
        ended_ = true;
        emit ProgramEnded();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Form1::StopRun() {
    const vlt::RunResult stopped = run_.CancelAndWait();
    if (!stopped.leftover.empty()) {
        std::fprintf(stderr, "veltrimax: %s\n", stopped.leftover.c_str());
    }
}

void Form1::StartRun(Operation operation, const QString& input, const QString& output) {
    Request request{.operation = operation,
                    .input = ToPath(input),
                    .output = ToPath(output),
                    .outputName = output};
    request.key.text = keyBox_->text().toStdString();
    try {
        request.key.codePage = vlt::SystemCodePage();
    } catch (const vlt::CodePageError& error) {
        // The code page comes from the environment: say which setting is wrong.
        messages_.ShowError(QStringLiteral("VLT_CODEPAGE: ") +
                            QString::fromStdString(error.what()));
        return;
    }
    if (WouldReplace(request.output)) {
        if (!messages_.AskYesNo(kReplaceQuestion.arg(output))) {
            return;
        }
        request.replace = true;
    }
    Launch(request);
}

void Form1::Launch(const Request& request) {
    request_ = request;
    progressBar_->setValue(0);
    run_.Start([request](const vlt::RunControl& given) {
        vlt::RunControl control = given;
        control.replace = request.replace;
        if (request.operation == Operation::Encrypt) {
            return vlt::EncryptFile(request.input, request.output, request.key, control);
        }
        return vlt::DecryptFile(request.input, request.output, request.key, control,
                                request.options);
    });
}

void Form1::RunDone() {
    // A run stopped by closing the window is waited for there; nothing is left to show.
    if (!run_.Active() || closing_) {
        return;
    }
    const vlt::RunResult result = run_.TakeResult();
    const QString leftover = QString::fromStdString(result.leftover);
    // A failure's message carries it; any other end shows it first, whatever is asked next.
    if (!leftover.isEmpty() && result.status != vlt::RunStatus::Failed) {
        messages_.ShowError(leftover);
    }
    switch (result.status) {
        case vlt::RunStatus::Finished:
            progressBar_->setValue(100);
            messages_.Inform(request_.operation == Operation::Encrypt ? kEncryptFinished
                                                                      : kDecryptFinished);
            close();
            break;
        case vlt::RunStatus::WrongKey:
            if (messages_.AskYesNo(kWrongKeyQuestion)) {
                request_.options.writeOnWrongKey = true;
                Launch(request_);
            } else {
                progressBar_->setValue(0);
            }
            break;
        // A file appeared at the output's name during the run, or while a question was open.
        case vlt::RunStatus::OutputExists:
            if (messages_.AskYesNo(kReplaceQuestion.arg(request_.outputName))) {
                request_.replace = true;
                Launch(request_);
            } else {
                progressBar_->setValue(0);
            }
            break;
        case vlt::RunStatus::Failed: {
            progressBar_->setValue(0);
            QString text =
                (request_.operation == Operation::Encrypt ? kEncryptFailed : kDecryptFailed)
                    .arg(QString::fromStdString(result.message));
            if (!leftover.isEmpty()) {
                text += QLatin1Char('\n') + leftover;
            }
            messages_.ShowError(text);
            break;
        }
        case vlt::RunStatus::Cancelled:
            progressBar_->setValue(0);
            break;
    }
}
