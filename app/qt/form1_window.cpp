#include "app/qt/form1_window.h"

#include <QCloseEvent>
#include <QDropEvent>
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
#include <QUrl>
#include <limits>
#include <utility>
#include <vector>

#include "app/form/form1_layout.h"
#include "app/form/messages.h"
#include "app/qt/message_box.h"
#include "app/qt/open_dialog.h"

namespace vlt {

namespace {

QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect Pixels(const ControlPlace& place) {
    return {place.left / kTwipsPerPixel, place.top / kTwipsPerPixel, place.width / kTwipsPerPixel,
            place.height / kTwipsPerPixel};
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

QWidget* MakeButton(const QString& caption, QWidget* parent) {
    auto* button = new Button(caption, parent);
    // No default button: Enter in a box and Esc do nothing of their own.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QWidget* MakeBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    // A line edit stops at 32767 characters by default; a pasted key must arrive whole.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QWidget* MakeLabel(const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    // Captions sit at the top of their label, level with the box they name.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QWidget* MakeProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setAccessibleName(ToQt(kProgressName));
    return bar;
}

QWidget* MakeControl(const ControlPlace& place, QWidget* parent) {
    switch (place.kind) {
        case ControlKind::Button:
            return MakeButton(ToQt(place.caption), parent);
        case ControlKind::Label:
            return MakeLabel(ToQt(place.caption), parent);
        case ControlKind::TextBox:
            return MakeBox(parent);
        case ControlKind::ProgressBar:
            return MakeProgressBar(parent);
    }
    return nullptr;
}

QFont BrowseButtonFont() {
    QFont font;
    font.setFamilies({ToQt(kBrowseFont.family), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(kBrowseFont.points);
    font.setBold(kBrowseFont.bold);
    return font;
}

constexpr std::pair<std::string_view, void (Form1::*)()> kClicks[] = {
    {"Command1", &Form1::EncryptClicked},
    {"Command2", &Form1::DecryptClicked},
    {"Command3", &Form1::BrowseEncryptClicked},
    {"Command4", &Form1::BrowseDecryptClicked},
};

}  // namespace

Form1Window::Form1Window(OpenDialog& commonDialog, MessageBox& messages, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      commonDialog_(commonDialog),
      messages_(messages),
      form_(*this) {
    setWindowTitle(ToQt(kWindowTitle));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/veltrimax-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/veltrimax-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);
    CreateControls();

    for (const auto& [name, click] : kClicks) {
        auto* button = findChild<QPushButton*>(ToQt(name));
        connect(button, &QPushButton::clicked, this, [this, click] { (form_.*click)(); });
    }
    // A pasted key keeps its first line only, as a one-line box on Windows takes it: a key
    // copied with its line ending must be the key typed.
    QLineEdit* keyBox = boxes_[static_cast<std::size_t>(Box::Key)];
    connect(keyBox, &QLineEdit::textChanged, this, [keyBox](const QString& text) {
        const qsizetype lineBreak = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
        if (lineBreak >= 0) {
            keyBox->setText(text.left(lineBreak));
        }
    });

    if (const QScreen* where = screen()) {
        move(where->availableGeometry().center() - rect().center());
    }
    findChild<QPushButton*>(QStringLiteral("Command1"))->setFocus();
}

Form1Window::~Form1Window() = default;

// Created in tab order, which makes it the focus chain; labels and the bar take no focus.
void Form1Window::CreateControls() {
    std::vector<std::pair<QLabel*, std::string_view>> buddies;
    for (const ControlPlace& place : kForm1Controls) {
        QWidget* control = MakeControl(place, this);
        control->setObjectName(ToQt(place.name));
        control->setGeometry(Pixels(place));
        if (place.browseFont) {
            control->setFont(BrowseButtonFont());
        }
        // A file dropped onto a side's boxes or "..." button fills that side as its "..." does.
        if (place.dropSide) {
            control->setAcceptDrops(true);
            control->installEventFilter(this);
        }
        if (const std::optional<Box> box = BoxNamed(place.name)) {
            boxes_[static_cast<std::size_t>(*box)] = static_cast<QLineEdit*>(control);
        }
        if (place.kind == ControlKind::ProgressBar) {
            progressBar_ = static_cast<QProgressBar*>(control);
        }
        if (!place.names.empty()) {
            buddies.emplace_back(static_cast<QLabel*>(control), place.names);
        }
    }
    // A label names its box for screen readers; the captions carry no access key, so the
    // labels still take no focus and answer no key.
    for (const auto& [label, box] : buddies) {
        label->setBuddy(findChild<QLineEdit*>(ToQt(box)));
    }
}

void Form1Window::CommandLine(const QStringList& arguments) {
    std::vector<std::string> texts;
    for (const QString& argument : arguments) {
        texts.push_back(argument.toStdString());
    }
    form_.CommandLine(texts);
}

std::string Form1Window::Text(Box box) const {
    return boxes_[static_cast<std::size_t>(box)]->text().toStdString();
}

void Form1Window::SetText(Box box, const std::string& text) {
    boxes_[static_cast<std::size_t>(box)]->setText(QString::fromStdString(text));
}

void Form1Window::SetProgress(int percent) {
    progressBar_->setValue(percent);
}

void Form1Window::Inform(const std::string& text) {
    messages_.Inform(QString::fromStdString(text));
}

void Form1Window::ShowError(const std::string& text) {
    messages_.ShowError(QString::fromStdString(text));
}

bool Form1Window::AskYesNo(const std::string& text) {
    return messages_.AskYesNo(QString::fromStdString(text));
}

std::optional<std::string> Form1Window::ShowOpen(const std::string& filter,
                                                 const std::string& fileName,
                                                 const std::string& folder) {
    const std::optional<QString> chosen =
        commonDialog_.Ask(QString::fromStdString(filter), QString::fromStdString(fileName),
                          QString::fromStdString(folder));
    if (!chosen) {
        return std::nullopt;
    }
    return chosen->toStdString();
}

void Form1Window::Hide() {
    hide();
    QGuiApplication::sync();
}

void Form1Window::EndProgram() {
    emit ProgramEnded();
}

void Form1Window::Post(std::function<void()> task) {
    // Queued on this window: tasks still waiting when it goes go with it.
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void Form1Window::closeEvent(QCloseEvent* event) {
    form_.WindowClosed();
    event->accept();
}

bool Form1Window::eventFilter(QObject* watched, QEvent* event) {
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
        const ControlPlace* place = FindControl(watched->objectName().toStdString());
        std::vector<std::string> names;
        for (const QUrl& url : drop->mimeData()->urls()) {
            // toLocalFile is empty for what is not a local file.
            names.push_back(url.toLocalFile().toStdString());
        }
        form_.FilesDropped(*place->dropSide, names);
    }
    return true;
}

}  // namespace vlt
