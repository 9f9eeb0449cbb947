// The two "..." buttons: what they fill in, and what the shared dialog keeps
// between uses.

#include <QLineEdit>
#include <QPushButton>
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
