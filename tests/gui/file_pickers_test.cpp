// The two "..." buttons: what they fill in, and what the shared dialog keeps
// between uses.

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/file_dialog.h"
#include "app/form1.h"
#include "tests/gui/controls.h"
#include "tests/gui/fakes.h"

namespace {

const QString kFilter = QStringLiteral("Veltrimax vl datoteke (*.vlt)|*.vlt|");

}  // namespace

class FilePickersTest : public QObject {
    Q_OBJECT

  private slots:
    // Each step is "3|answer" or "4|answer": the button clicked and the path
    // chosen in the dialog, an empty answer being a cancel. The decryption's
    // output box holds "keep" before the first step.
    void fillsTheBoxesFromTheDialog_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("boxes");  // encrypt in, out, decrypt in, out afterwards
        QTest::addColumn<QStringList>("filtersShown");
        QTest::addColumn<QStringList>("namesShown");

        QTest::newRow("encrypt side, first choice")
            << QStringList{"3|/in/a.bin"} << QStringList{"/in/a.bin", "/in/a.bin.vlt", "", "keep"}
            << QStringList{""} << QStringList{""};
        QTest::newRow("decrypt side, first choice")
            << QStringList{"4|/in/a.bin.vlt"} << QStringList{"", "", "/in/a.bin.vlt", "/in/a.bin"}
            << QStringList{kFilter} << QStringList{""};
        QTest::newRow("encrypt side cancelled after a decrypt-side choice")
            << QStringList{"4|/in/a.bin.vlt", "3|"}
            << QStringList{"/in/a.bin.vlt", "/in/a.bin.vlt.vlt", "/in/a.bin.vlt", "/in/a.bin"}
            << QStringList{kFilter, kFilter} << QStringList{"", "/in/a.bin.vlt"};
        QTest::newRow("encrypt side, first cancelled")
            << QStringList{"3|"} << QStringList{"", ".vlt", "", "keep"} << QStringList{""}
            << QStringList{""};
        QTest::newRow("decrypt side, first cancelled")
            << QStringList{"4|"} << QStringList{"", "", "", "keep"} << QStringList{kFilter}
            << QStringList{""};
        QTest::newRow("decrypt side, name of four characters")
            << QStringList{"4|/abc"} << QStringList{"", "", "/abc", ""} << QStringList{kFilter}
            << QStringList{""};
        QTest::newRow("decrypt side, name of three characters")
            << QStringList{"4|/ab"} << QStringList{"", "", "/ab", "keep"} << QStringList{kFilter}
            << QStringList{""};
        QTest::newRow("decrypt side, other ending")
            << QStringList{"4|/data/notes.txt"}
            << QStringList{"", "", "/data/notes.txt", "/data/notes"} << QStringList{kFilter}
            << QStringList{""};
        QTest::newRow("decrypt side cancelled after an encrypt-side choice")
            << QStringList{"3|/in/a.bin", "4|"}
            << QStringList{"/in/a.bin", "/in/a.bin.vlt", "/in/a.bin", "/in/a"}
            << QStringList{"", kFilter} << QStringList{"", "/in/a.bin"};
        QTest::newRow("encrypted file chosen for encryption")
            << QStringList{"3|/in/b.vlt"} << QStringList{"/in/b.vlt", "/in/b.vlt.vlt", "", "keep"}
            << QStringList{""} << QStringList{""};
        QTest::newRow("characters, not bytes")
            << QStringList{"4|/in/čšž.txt"} << QStringList{"", "", "/in/čšž.txt", "/in/čšž"}
            << QStringList{kFilter} << QStringList{""};
        QTest::newRow("filter stays for later encrypt-side choices")
            << QStringList{"4|/in/a.vlt", "3|/in/c.doc", "3|"}
            << QStringList{"/in/c.doc", "/in/c.doc.vlt", "/in/a.vlt", "/in/a"}
            << QStringList{kFilter, kFilter, kFilter} << QStringList{"", "/in/a.vlt", "/in/c.doc"};
    }
    void fillsTheBoxesFromTheDialog() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, filtersShown);
        QFETCH(QStringList, namesShown);

        ScriptedFileDialog dialog;
        RecordingMessageBox messages;
        Form1 form(dialog, messages);
        const Form1Controls ui(form);
        ui.decryptOutput->setText(QStringLiteral("keep"));
        for (const QString& step : steps) {
            const QString answer = step.section(QLatin1Char('|'), 1);
            dialog.answers << (answer.isEmpty() ? ScriptedFileDialog::kCancel : answer);
            QPushButton* button =
                step.startsWith(QLatin1Char('3')) ? ui.encryptBrowse : ui.decryptBrowse;
            QTest::mouseClick(button, Qt::LeftButton);
        }

        QCOMPARE((QStringList{ui.encryptInput->text(), ui.encryptOutput->text(),
                              ui.decryptInput->text(), ui.decryptOutput->text()}),
                 boxes);
        QStringList filters;
        QStringList names;
        for (const ScriptedFileDialog::Shown& shown : dialog.shown) {
            filters << shown.filter;
            names << shown.fileName;
        }
        QCOMPARE(filters, filtersShown);
        QCOMPARE(names, namesShown);
        QVERIFY(messages.log.isEmpty());
        QVERIFY(!form.Running());
    }

    // Each row: the control a file manager drops onto, the names dropped (from a folder
    // holding the files "a.bin" and "b.bin.vlt" and the folder "sub"), the boxes afterwards
    // and the notes shown. An earlier decrypt-side choice of "/in/c.vlt" filled that side
    // and left its name and the filter on the dialog, which a drop leaves alone.
    void dropsFillTheBoxesOfTheirSide_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QStringList>("boxes");  // encrypt in, out, decrypt in, out; @ the folder
        QTest::addColumn<QStringList>("notes");
        const QStringList before{"", "", "/in/c.vlt", "/in/c"};
        const QStringList refused{"Please drop one file, not several or a folder"};
        for (const char* target : {"Text1", "Text2", "Command3"}) {
            QTest::addRow("onto %s", target)
                << target << QStringList{"a.bin"}
                << QStringList{"@/a.bin", "@/a.bin.vlt", "/in/c.vlt", "/in/c"} << QStringList{};
        }
        for (const char* target : {"Text6", "Text5", "Command4"}) {
            QTest::addRow("onto %s", target)
                << target << QStringList{"b.bin.vlt"}
                << QStringList{"", "", "@/b.bin.vlt", "@/b.bin"} << QStringList{};
        }
        QTest::newRow("encrypted file onto the encrypt side")
            << "Text2" << QStringList{"b.bin.vlt"}
            << QStringList{"@/b.bin.vlt", "@/b.bin.vlt.vlt", "/in/c.vlt", "/in/c"} << QStringList{};
        QTest::newRow("two files")
            << "Text1" << QStringList{"a.bin", "b.bin.vlt"} << before << refused;
        QTest::newRow("a folder") << "Command4" << QStringList{"sub"} << before << refused;
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
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        boxes.replaceInStrings(QStringLiteral("@"), dir.path());

        ScriptedFileDialog dialog;
        RecordingMessageBox messages;
        Form1 form(dialog, messages);
        const Form1Controls ui(form);
        dialog.answers << QStringLiteral("/in/c.vlt");
        QTest::mouseClick(ui.decryptBrowse, Qt::LeftButton);

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
        QCoreApplication::processEvents();  // a refusal is shown once the drop has ended
        QCOMPARE(messages.Texts(), notes);

        QCOMPARE((QStringList{ui.encryptInput->text(), ui.encryptOutput->text(),
                              ui.decryptInput->text(), ui.decryptOutput->text()}),
                 boxes);
        QCOMPARE(dialog.shown.size(), 1);
        QCOMPARE(dialog.Filter(), kFilter);
        QCOMPARE(dialog.FileName(), QStringLiteral("/in/c.vlt"));
        QVERIFY(!form.Running());
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
};

QTEST_MAIN(FilePickersTest)
#include "file_pickers_test.moc"
