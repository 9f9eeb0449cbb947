// Files handed to the window. Dropped from a file manager onto its controls: each side's
// boxes and "..." button take them for that side, and a refusal waits until the drop has
// ended. Named on its command line: the name's ending picks the side.

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

    // Each row: the arguments (@ a scratch folder, which is the current one), the boxes
    // afterwards and the notes shown.
    void commandLineFilesFillTheirSide_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("boxes");  // encrypt in, out, decrypt in, out
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("none") << QStringList{} << QStringList{"", "", "", ""} << QStringList{};
        QTest::newRow("a .vlt file")
            << QStringList{"@/b.bin.vlt"} << QStringList{"", "", "@/b.bin.vlt", "@/b.bin"}
            << QStringList{};
        QTest::newRow(".VLT, another case")
            << QStringList{"@/C.VLT"} << QStringList{"", "", "@/C.VLT", "@/C"} << QStringList{};
        QTest::newRow("another file")
            << QStringList{"@/a.bin"} << QStringList{"@/a.bin", "@/a.bin.vlt", "", ""}
            << QStringList{};
        QTest::newRow("a relative name")
            << QStringList{"a.bin"} << QStringList{"@/a.bin", "@/a.bin.vlt", "", ""}
            << QStringList{};
        QTest::newRow("--encrypt, a .vlt file")
            << QStringList{"--encrypt", "@/b.bin.vlt"}
            << QStringList{"@/b.bin.vlt", "@/b.bin.vlt.vlt", "", ""} << QStringList{};
        QTest::newRow("--decrypt, another file")
            << QStringList{"--decrypt", "@/a.bin"} << QStringList{"", "", "@/a.bin", "@/a"}
            << QStringList{};
        QTest::newRow("two files")
            << QStringList{"@/a.bin", "@/b.bin.vlt"} << QStringList{"", "", "", ""}
            << QStringList{"Please open one file at a time"};
    }
    void commandLineFilesFillTheirSide() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, notes);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        names.replaceInStrings(QStringLiteral("@"), dir.path());
        boxes.replaceInStrings(QStringLiteral("@"), dir.path());

        ScriptedFileDialog dialog;
        RecordingMessageBox messages;
        vlt::Form1Window form(dialog, messages);
        const Form1Controls ui(form);
        form.CommandLine(names);
        QCoreApplication::processEvents();  // the note waits for the window
        QVERIFY(QDir::setCurrent(previous));
        QCOMPARE(messages.Texts(), notes);
        QCOMPARE((QStringList{ui.encryptInput->text(), ui.encryptOutput->text(),
                              ui.decryptInput->text(), ui.decryptOutput->text()}),
                 boxes);
        // The Open dialog keeps its filter and takes the file as its last one.
        QTest::mouseClick(ui.encryptBrowse, Qt::LeftButton);
        QCOMPARE(dialog.shown.size(), 1);
        QVERIFY(dialog.shown.front().filter.isEmpty());
        const QString filled = boxes[0].isEmpty() ? boxes[2] : boxes[0];
        QCOMPARE(dialog.shown.front().fileName, filled);
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
