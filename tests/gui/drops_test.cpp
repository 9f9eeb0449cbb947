// Files dropped from a file manager onto the window's controls: each side's boxes and
// "..." button take them for that side, and a refusal waits until the drop has ended.

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include "app/qt/form1_window.h"
#include "tests/gui/controls.h"
#include "tests/gui/fakes.h"

class DropsTest : public QObject {
    Q_OBJECT

  private slots:
    // Each row: the control dropped onto, the names dropped (from a folder holding the
    // files "a.bin" and "b.bin.vlt"), the boxes afterwards and the notes shown.
    void dropsFillTheBoxesOfTheirSide_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QStringList>("boxes");  // encrypt in, out, decrypt in, out; @ the folder
        QTest::addColumn<QStringList>("notes");
        for (const char* target : {"Text1", "Text2", "Command3"}) {
            QTest::addRow("onto %s", target)
                << target << QStringList{"a.bin"} << QStringList{"@/a.bin", "@/a.bin.vlt", "", ""}
                << QStringList{};
        }
        for (const char* target : {"Text6", "Text5", "Command4"}) {
            QTest::addRow("onto %s", target)
                << target << QStringList{"b.bin.vlt"}
                << QStringList{"", "", "@/b.bin.vlt", "@/b.bin"} << QStringList{};
        }
        QTest::newRow("two files")
            << "Text1" << QStringList{"a.bin", "b.bin.vlt"} << QStringList{"", "", "", ""}
            << QStringList{"Please drop one file, not several or a folder"};
    }
    void dropsFillTheBoxesOfTheirSide() {
        QFETCH(QString, target);
        QFETCH(QStringList, dropped);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, notes);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char* name : {"a.bin", "b.bin.vlt"}) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        boxes.replaceInStrings(QStringLiteral("@"), dir.path());

        ScriptedFileDialog dialog;
        RecordingMessageBox messages;
        vlt::Form1Window form(dialog, messages);
        const Form1Controls ui(form);
        QList<QUrl> urls;
        for (const QString& name : dropped) {
            urls << QUrl::fromLocalFile(dir.filePath(name));
        }
        QMimeData data;
        data.setUrls(urls);
        auto* widget = Form1Controls::Find<QWidget>(form, qPrintable(target));
        const QPoint centre = widget->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &drop);
        QVERIFY(drop.isAccepted());
        QVERIFY(messages.log.isEmpty());
        QCoreApplication::processEvents();  // a refusal is shown once the drop has ended
        QCOMPARE(messages.Texts(), notes);

        QCOMPARE((QStringList{ui.encryptInput->text(), ui.encryptOutput->text(),
                              ui.decryptInput->text(), ui.decryptOutput->text()}),
                 boxes);
        QVERIFY(dialog.shown.isEmpty());
    }

    // Text dragged from one box to another is the boxes' own business, not a file's drop.
    void draggedTextIsNoFile() {
        ScriptedFileDialog dialog;
        RecordingMessageBox messages;
        vlt::Form1Window form(dialog, messages);
        const Form1Controls ui(form);
        QMimeData data;
        data.setText(QStringLiteral("/in/a.bin"));
        QDropEvent drop(ui.encryptOutput->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
        QCoreApplication::sendEvent(ui.encryptOutput, &drop);
        QCoreApplication::processEvents();
        QVERIFY(messages.log.isEmpty());
        QVERIFY(ui.encryptInput->text().isEmpty());
    }
};

QTEST_MAIN(DropsTest)
#include "drops_test.moc"
