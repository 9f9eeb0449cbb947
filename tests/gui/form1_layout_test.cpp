// The Qt window as it starts: its frame, the controls of Form1's layout table with their
// places, captions and spoken names, tab order, fonts and keys.

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

#include "app/form/form1_layout.h"
#include "app/qt/form1_window.h"
#include "tests/gui/controls.h"
#include "tests/gui/fakes.h"

class Form1LayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        dialog_ = std::make_unique<ScriptedFileDialog>();
        messages_ = std::make_unique<RecordingMessageBox>();
        form_ = std::make_unique<vlt::Form1Window>(*dialog_, *messages_);
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
        QVERIFY(dialog_->shown.isEmpty());
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

    // Every control of the table, with the role a screen reader gives its kind and the
    // name it says: a box is spoken by the label that names it, the bar by its own name,
    // anything else by its caption.
    void placesEachControl_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("spoken");
        const auto text = [](std::string_view view) {
            return QString::fromUtf8(view.data(), qsizetype(view.size()));
        };
        for (const vlt::ControlPlace& place : vlt::kForm1Controls) {
            QAccessible::Role role = QAccessible::Button;
            QString spoken = text(place.caption);
            switch (place.kind) {
                case vlt::ControlKind::Button:
                    break;
                case vlt::ControlKind::Label:
                    role = QAccessible::StaticText;
                    break;
                case vlt::ControlKind::TextBox:
                    role = QAccessible::EditableText;
                    for (const vlt::ControlPlace& label : vlt::kForm1Controls) {
                        if (label.names == place.name) {
                            spoken = text(label.caption);
                        }
                    }
                    break;
                case vlt::ControlKind::ProgressBar:
                    role = QAccessible::ProgressBar;
                    spoken = QStringLiteral("Progress");
                    break;
            }
            QTest::newRow(std::string(place.name).c_str())
                << text(place.caption) << QRect(place.left, place.top, place.width, place.height)
                << role << spoken;
        }
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
        QStringList forward;
        for (const vlt::ControlPlace& place : vlt::kForm1Controls) {
            if (place.kind == vlt::ControlKind::Button || place.kind == vlt::ControlKind::TextBox) {
                forward << QString::fromUtf8(place.name.data(), qsizetype(place.name.size()));
            }
        }
        forward << forward.front();  // and round again
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
        QSignalSpy ended(form_.get(), &vlt::Form1Window::ProgramEnded);
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
        QSignalSpy ended(form_.get(), &vlt::Form1Window::ProgramEnded);
        QVERIFY(form_->close());
        QCOMPARE(ended.count(), 1);
        QVERIFY(!form_->isVisible());
        QVERIFY(messages_->log.isEmpty());
    }

  private:
    std::unique_ptr<ScriptedFileDialog> dialog_;
    std::unique_ptr<RecordingMessageBox> messages_;
    std::unique_ptr<vlt::Form1Window> form_;
    std::unique_ptr<Form1Controls> ui_;
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
