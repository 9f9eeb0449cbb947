// The window as it starts: its frame, the controls' places, tab order and fonts.

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <utility>

#include "app/form1.h"
#include "tests/gui/controls.h"
#include "tests/gui/fakes.h"

class Form1LayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        dialog_ = std::make_unique<ScriptedFileDialog>();
        messages_ = std::make_unique<RecordingMessageBox>();
        form_ = std::make_unique<Form1>(*dialog_, *messages_);
        ui_ = std::make_unique<Form1Controls>(*form_);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() {
        ui_.reset();
        form_.reset();
        messages_.reset();
        dialog_.reset();
    }

    void startsEmptyWithFocusOnEncrypt() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("Veltrimax Encrypt and decrypt file"));
        for (QLineEdit* box : {ui_->encryptInput, ui_->encryptOutput, ui_->key, ui_->decryptOutput,
                               ui_->decryptInput}) {
            QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
            QVERIFY(!box->isReadOnly());
            QCOMPARE(box->echoMode(), QLineEdit::Normal);
        }
        QCOMPARE(ui_->progress->minimum(), 0);
        QCOMPARE(ui_->progress->maximum(), 100);
        QCOMPARE(ui_->progress->value(), 0);
        QCOMPARE(form_->focusWidget(), ui_->encrypt);
        QVERIFY(dialog_->Filter().isEmpty());
        QVERIFY(dialog_->FileName().isEmpty());
        QVERIFY(messages_->log.isEmpty());
    }

    void hasAFixedClientAreaWithCloseBoxOnly() {
        QCOMPARE(form_->size(), QSize(725, 386));
        QCOMPARE(form_->minimumSize(), QSize(725, 386));
        QCOMPARE(form_->maximumSize(), QSize(725, 386));
        const Qt::WindowFlags flags = form_->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        // A tool window is left out of the taskbar by the window managers that honour it.
        QCOMPARE(form_->windowType(), Qt::Tool);
    }

    void placesEachControl_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("spoken");  // the name a screen reader says
        // Left, top, width and height in twips, as the window was drawn. A control without
        // a spoken name of its own is spoken by its caption.
        const auto row = [](const char* name, const char* caption, QAccessible::Role role, int left,
                            int top, int width, int height, const char* spoken = nullptr) {
            QTest::newRow(name) << QString::fromUtf8(caption) << QRect(left, top, width, height)
                                << role << QString::fromUtf8(spoken ? spoken : caption);
        };
        const auto button = QAccessible::Button;
        const auto label = QAccessible::StaticText;
        const auto box = QAccessible::EditableText;
        row("Command1", "Encrypt file", button, 7680, 1680, 3030, 375);
        row("Label1", "File for encrypt", label, 240, 795, 1980, 315);
        row("Text1", "", box, 2040, 720, 7785, 285, "File for encrypt");
        row("Command3", "...", button, 10080, 720, 615, 375);
        row("Label2", "Output file name", label, 240, 1200, 1980, 315);
        row("Text2", "", box, 2070, 1200, 7800, 285, "Output file name");
        row("ProgressBar1", "", QAccessible::ProgressBar, 240, 2160, 10455, 495, "Progress");
        row("Text3", "", box, 2070, 240, 7800, 285, "Primary key");
        row("Label3", "Primary key", label, 240, 315, 1980, 315);
        row("Text5", "", box, 2070, 3720, 7800, 285, "Output file name");
        row("Command4", "...", button, 10080, 3240, 615, 375);
        row("Text6", "", box, 2040, 3240, 7785, 285, "File for decrypt");
        row("Label5", "Output file name", label, 240, 3795, 1980, 315);
        row("Label6", "File for decrypt", label, 240, 3315, 1980, 315);
        row("Command2", "Decrypt file", button, 7680, 4200, 3030, 375);
        row("Label4", "Veltrimax for Linux - https://veltrimax.invalid - support@veltrimax.invalid",
            label, 3240, 5040, 6855, 375);
    }
    void placesEachControl() {
        QFETCH(QString, caption);
        QFETCH(QRect, twips);
        QFETCH(QAccessible::Role, role);
        QFETCH(QString, spoken);
        auto* control = form_->findChild<QWidget*>(QString::fromUtf8(QTest::currentDataTag()));
        QVERIFY(control);
        QCOMPARE(control->geometry(),
                 QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
        QVERIFY(control->isVisible());
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            QCOMPARE(button->text(), caption);
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            QCOMPARE(label->text(), caption);
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        }
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), role);
        QCOMPARE(accessible->text(QAccessible::Name), spoken);
        QVERIFY(accessible->text(QAccessible::Accelerator).isEmpty());
    }

    void tabFollowsTheTabIndexAndSkipsLabels_data() {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QStringList>("order");
        const QStringList forward = {"Command1", "Text1",    "Command3", "Text2",    "Text3",
                                     "Text5",    "Command4", "Text6",    "Command2", "Command1"};
        QStringList backward = forward;
        std::reverse(backward.begin(), backward.end());
        QTest::newRow("tab") << Qt::Key_Tab << forward;
        QTest::newRow("backtab") << Qt::Key_Backtab << backward;
    }
    void tabFollowsTheTabIndexAndSkipsLabels() {
        QFETCH(Qt::Key, key);
        QFETCH(QStringList, order);
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        ui_->encrypt->setFocus();
        QStringList visited = {QApplication::focusWidget()->objectName()};
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), key);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, order);
    }

    void browseButtonsUseABoldNineAndThreeQuarterPointFont() {
        for (QPushButton* button : {ui_->encryptBrowse, ui_->decryptBrowse}) {
            QVERIFY(button->font().bold());
            QCOMPARE(button->font().pointSizeF(), 9.75);
        }
        QVERIFY(!ui_->encrypt->font().bold());
    }

    // A pasted key arrives whole, up to its first line break, as on Windows.
    void aPastedKeyKeepsItsFirstLine_data() {
        QString longKey;
        for (int i = 0; i < 40000; ++i) {
            longKey += QChar(u'a' + i % 26);
        }
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("key");
        QTest::newRow("forty thousand characters") << longKey << longKey;
        QTest::newRow("with its newline") << QStringLiteral("secret\n") << QStringLiteral("secret");
        QTest::newRow("two lines, CR LF") << QStringLiteral("a\r\nb") << QStringLiteral("a");
        QTest::newRow("blanks kept") << QStringLiteral(" s p \nx") << QStringLiteral(" s p ");
    }
    void aPastedKeyKeepsItsFirstLine() {
        QFETCH(QString, pasted);
        QFETCH(QString, key);
        QApplication::clipboard()->setText(pasted);
        ui_->key->paste();
        QCOMPARE(ui_->key->text(), key);
    }

    // There is no default or cancel button: Enter and Esc in a box do nothing.
    void enterAndEscInABoxDoNothing() {
        QSignalSpy ended(form_.get(), &Form1::ProgramEnded);
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        ui_->key->setFocus();
        QTest::keyClick(ui_->key, Qt::Key_Return);
        QTest::keyClick(ui_->key, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(ui_->key, Qt::Key_Escape);
        QVERIFY(messages_->log.isEmpty());
        QVERIFY(dialog_->shown.isEmpty());
        QVERIFY(form_->isVisible());
        QCOMPARE(ended.count(), 0);
    }

    // A focused button answers Space, Enter and the keypad's Enter as it answers a click.
    void aFocusedButtonAnswersItsKeys_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<QStringList>("filtersShown");  // one per showing of the Open dialog
        const QString filter = QStringLiteral("Veltrimax vl datoteke (*.vlt)|*.vlt|");
        const std::pair<Qt::Key, const char*> keys[] = {
            {Qt::Key_Space, "Space"}, {Qt::Key_Return, "Enter"}, {Qt::Key_Enter, "keypad Enter"}};
        for (const auto& [key, keyName] : keys) {
            const auto row = [key, keyName](const char* button) -> QTestData& {
                return QTest::addRow("%s, %s", button, keyName)
                       << QString::fromLatin1(button) << key;
            };
            row("Command1") << QStringList{"Please enter file name"} << QStringList{""};
            row("Command2") << QStringList{"Please enter primary key"} << QStringList{};
            row("Command3") << QStringList{} << QStringList{""};
            row("Command4") << QStringList{} << QStringList{filter};
        }
    }
    void aFocusedButtonAnswersItsKeys() {
        QFETCH(QString, button);
        QFETCH(Qt::Key, key);
        QFETCH(QStringList, notes);
        QFETCH(QStringList, filtersShown);
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        auto* focused = Form1Controls::Find<QPushButton>(*form_, qPrintable(button));
        focused->setFocus();

        QTest::keyClick(focused, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);

        QCOMPARE(messages_->Texts(), notes);
        QStringList filters;
        for (const ScriptedFileDialog::Shown& shown : dialog_->shown) {
            filters << shown.filter;
        }
        QCOMPARE(filters, filtersShown);
        for (const QPushButton* any : form_->findChildren<QPushButton*>()) {
            QVERIFY2(!any->isDefault(), qPrintable(any->objectName()));
        }
    }

    void closingEndsTheProgramAtOnce() {
        QSignalSpy ended(form_.get(), &Form1::ProgramEnded);
        QVERIFY(form_->close());
        QCOMPARE(ended.count(), 1);
        QVERIFY(!form_->isVisible());
        QVERIFY(messages_->log.isEmpty());
    }

  private:
    std::unique_ptr<ScriptedFileDialog> dialog_;
    std::unique_ptr<RecordingMessageBox> messages_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<Form1Controls> ui_;
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
