// The real Qt dialog and message boxes behind the window's stand-ins, answered
// by a timer the way a user would answer them, and the dialog's filters in Qt's form.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>

#include "app/qt/message_box.h"
#include "app/qt/open_dialog.h"

namespace {

const QString kFilter = QStringLiteral("Veltrimax vl datoteke (*.vlt)|*.vlt|");

// Runs `answer` on the next modal window once it is shown.
void WhenShown(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer = std::move(answer)] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        answer(modal);
    });
}

}  // namespace

class QtStandInsTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    // A choice comes back as its full path; the next showing opens in the folder it is
    // given, with the last name in its box, and a cancel gives nothing.
    void theDialogGivesTheChoiceAndOpensAtTheName() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString chosen = dir.filePath(QStringLiteral("a.bin.vlt"));
        QFile file(chosen);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        vlt::QtOpenDialog dialog;
        QStringList nameFilters;
        WhenShown([&](QWidget* modal) {
            auto* open = qobject_cast<QFileDialog*>(modal);
            QVERIFY(open);
            nameFilters = open->nameFilters();
            open->selectFile(chosen);
            static_cast<QDialog*>(open)->accept();  // as the Open button does
        });
        const std::optional<QString> answer = dialog.Ask(kFilter, QString(), QString());
        QVERIFY(answer);
        QCOMPARE(*answer, chosen);
        QCOMPARE(nameFilters, QStringList{"Veltrimax vl datoteke (*.vlt)"});

        QString openedIn;
        WhenShown([&](QWidget* modal) {
            auto* open = qobject_cast<QFileDialog*>(modal);
            QVERIFY(open);
            openedIn = open->directory().absolutePath();
            open->reject();
        });
        QTemporaryDir start;
        QVERIFY(start.isValid());
        QVERIFY(!dialog.Ask(kFilter, chosen, start.path()));
        QCOMPARE(openedIn, QDir(start.path()).absolutePath());
    }

    void convertsFiltersForQt_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("nameFilters");
        QTest::newRow("none") << "" << QStringList{};
        QTest::newRow("encrypted files") << kFilter << QStringList{"Veltrimax vl datoteke (*.vlt)"};
        QTest::newRow("pattern not in the description")
            << "Text|*.txt;*.log|All files (*.*)|*.*|"
            << QStringList{"Text (*.txt *.log)", "All files (*.*)"};
        QTest::newRow("no trailing bar") << "Pictures|*.png" << QStringList{"Pictures (*.png)"};
        QTest::newRow("description without pattern") << "Odd|" << QStringList{};
    }
    void convertsFiltersForQt() {
        QFETCH(QString, filter);
        QFETCH(QStringList, nameFilters);
        QCOMPARE(vlt::ToNameFilters(filter), nameFilters);
    }

    // Each row: the call, the button pressed (none: Enter on the default
    // button), the answer expected from a question.
    void messageBoxesAreTitledAndDefaultToNo_data() {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("press");
        QTest::addColumn<bool>("yes");
        QTest::newRow("note") << "inform" << int(QMessageBox::NoButton) << false;
        QTest::newRow("error") << "error" << int(QMessageBox::NoButton) << false;
        QTest::newRow("question, Enter") << "ask" << int(QMessageBox::NoButton) << false;
        QTest::newRow("question, Yes") << "ask" << int(QMessageBox::Yes) << true;
    }
    void messageBoxesAreTitledAndDefaultToNo() {
        QFETCH(QString, call);
        QFETCH(int, press);
        QFETCH(bool, yes);
        vlt::QtMessageBox messages;
        QString title;
        QString text;
        QList<QMessageBox::StandardButton> buttons;
        WhenShown([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            for (QAbstractButton* button : box->buttons()) {
                buttons << box->standardButton(button);
            }
            if (press == QMessageBox::NoButton) {
                QTest::keyClick(box, Qt::Key_Return);
            } else {
                box->button(QMessageBox::StandardButton(press))->click();
            }
        });

        bool answer = false;
        if (call == "inform") {
            messages.Inform(QStringLiteral("Encrypt is finish"));
        } else if (call == "error") {
            messages.ShowError(QStringLiteral("Encrypt is finish"));
        } else {
            answer = messages.AskYesNo(QStringLiteral("Encrypt is finish"));
        }
        QCOMPARE(title, QStringLiteral("Veltrimax"));
        QCOMPARE(text, QStringLiteral("Encrypt is finish"));
        QCOMPARE(answer, yes);
        std::sort(buttons.begin(), buttons.end());
        QCOMPARE(buttons, call == "ask" ? (QList<QMessageBox::StandardButton>{QMessageBox::Yes,
                                                                              QMessageBox::No})
                                        : QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    }
};

QTEST_MAIN(QtStandInsTest)
#include "qt_stand_ins_test.moc"
