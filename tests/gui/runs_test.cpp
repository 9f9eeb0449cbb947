// Both runs through the window's buttons, on real files: the input checks,
// the end of the program after a completed run, failures that keep the window
// usable, the wrong-key question, progress, and closing during a run.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "cipher/engine.h"
#include "tests/gui/fakes.h"
#include "app/form1.h"

namespace {

constexpr int kRunTimeoutMs = 60000;

QByteArray Sample(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 12345;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

std::filesystem::path Native(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

vlt::PrimaryKey Key(const QString& text) {
    return {text.toStdString(), 1252};
}

}  // namespace

class RunsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QVERIFY(dir_.isValid());
        NewStart();
    }
    void cleanup() {
        form_.reset();
        qputenv("VLT_CODEPAGE", "1252");
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }

    // Each row: the button, then Text1, Text2, Text3, Text5, Text6, then the
    // notes shown in order and how often the Open dialog appeared.
    void checksTheBoxesInOrder_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<int>("dialogs");
        const QStringList none;
        QTest::newRow("encrypt, all empty")
            << 1 << QStringList{"", "", "", "", ""} << QStringList{"Please enter file name"} << 1;
        QTest::newRow("encrypt, key but no file") << 1 << QStringList{"", "out", "k", "", ""}
                                                  << QStringList{"Please enter file name"} << 1;
        QTest::newRow("encrypt, file but no key") << 1 << QStringList{"in", "out", "", "", ""}
                                                  << QStringList{"Please enter primary key"} << 0;
        QTest::newRow("encrypt, no output name")
            << 1 << QStringList{"in", "", "k", "", ""}
            << QStringList{"Please enter output file name"} << 0;
        QTest::newRow("decrypt, all empty")
            << 2 << QStringList{"", "", "", "", ""} << QStringList{"Please enter primary key"} << 0;
        QTest::newRow("decrypt, file but no key") << 2 << QStringList{"", "", "", "out", "in"}
                                                  << QStringList{"Please enter primary key"} << 0;
        QTest::newRow("decrypt, key but no file")
            << 2 << QStringList{"", "", "k", "out", ""}
            << QStringList{"Please enter file name for decrypt"} << 0;
        QTest::newRow("decrypt, no output name")
            << 2 << QStringList{"", "", "k", "", "in"}
            << QStringList{"Please enter output file name for decrypt"} << 0;
    }
    void checksTheBoxesInOrder() {
        QFETCH(int, button);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, notes);
        QFETCH(int, dialogs);
        for (QString& box : boxes) {
            box = box.isEmpty() ? box : In(box);
        }
        QVERIFY(WriteAll(In("in"), "plain"));
        form_->Text1->setText(boxes[0]);
        form_->Text2->setText(boxes[1]);
        form_->Text3->setText(boxes[2].isEmpty() ? QString() : QStringLiteral("key"));
        form_->Text5->setText(boxes[3]);
        form_->Text6->setText(boxes[4]);

        QTest::mouseClick(button == 1 ? form_->Command1 : form_->Command2, Qt::LeftButton);

        QCOMPARE(messages_->Texts(), notes);
        QCOMPARE(messages_->log.front().kind, RecordingMessageBox::Kind::Note);
        QCOMPARE(dialog_->shown.size(), dialogs);
        QVERIFY(!form_->Running());
        QCOMPARE(ended_->count(), 0);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files), QStringList{"in"});
    }

    void encryptsAndDecryptsThroughTheButtons_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QString>("key");
        QTest::newRow("empty file") << qsizetype{0} << QStringLiteral("key");
        QTest::newRow("one byte") << qsizetype{1} << QStringLiteral("key");
        QTest::newRow("every byte value") << qsizetype{3 * 256} << QStringLiteral("Ključ 1€");
        QTest::newRow("several blocks") << qsizetype{700 * 1024} << QStringLiteral("   ");
    }
    void encryptsAndDecryptsThroughTheButtons() {
        QFETCH(qsizetype, size);
        QFETCH(QString, key);
        const QByteArray plain = Sample(size);
        QVERIFY(WriteAll(In("report.doc"), plain));

        dialog_->answers << In("report.doc");
        QTest::mouseClick(form_->Command3, Qt::LeftButton);
        form_->Text3->setText(key);
        QTest::mouseClick(form_->Command1, Qt::LeftButton);
        QVERIFY(form_->Running());
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), QStringList{"Encrypt is finish"});
        QCOMPARE(ended_->count(), 1);
        QVERIFY(!form_->isVisible());

        const QByteArray encrypted = ReadAll(In("report.doc.vlt"));
        QCOMPARE(encrypted.size(), 3 * size + 4);
        const vlt::RunResult direct =
            vlt::EncryptFile(Native(In("report.doc")), Native(In("direct.vlt")), Key(key));
        QCOMPARE(direct.status, vlt::RunStatus::Finished);
        QCOMPARE(encrypted, ReadAll(In("direct.vlt")));

        NewStart();
        dialog_->answers << In("report.doc.vlt");
        QTest::mouseClick(form_->Command4, Qt::LeftButton);
        QCOMPARE(form_->Text5->text(), In("report.doc"));
        form_->Text5->setText(In("restored.doc"));
        form_->Text3->setText(key);
        QTest::mouseClick(form_->Command2, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), QStringList{"Decrypt is finish"});
        QCOMPARE(ended_->count(), 1);
        QCOMPARE(form_->ProgressBar1->value(), 100);
        QCOMPARE(ReadAll(In("restored.doc")), plain);
    }

    void aWrongKeyAsksBeforeWritingAnything() {
        const QByteArray plain = Sample(2000);
        QVERIFY(WriteAll(In("a.bin"), plain));
        QCOMPARE(vlt::EncryptFile(Native(In("a.bin")), Native(In("a.vlt")), Key("right")).status,
                 vlt::RunStatus::Finished);
        const QString question = QStringLiteral(
            "The primary key is wrong or the file is damaged. Save the output anyway?");
        form_->Text6->setText(In("a.vlt"));
        form_->Text5->setText(In("out.bin"));
        form_->Text3->setText(QStringLiteral("wrong"));

        QTest::mouseClick(form_->Command2, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), QStringList{question});
        QCOMPARE(messages_->log.front().kind, RecordingMessageBox::Kind::Question);
        QVERIFY(!QFile::exists(In("out.bin")));
        QCOMPARE(ended_->count(), 0);
        QVERIFY(form_->isVisible());

        messages_->answers.push_back(true);
        QTest::mouseClick(form_->Command2, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running() && ended_->count() == 1, kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), (QStringList{question, question, "Decrypt is finish"}));
        const QByteArray written = ReadAll(In("out.bin"));
        QCOMPARE(written.size(), plain.size());
        QVERIFY(written != plain);
    }

    // Each row: the button, the names put into the input and output boxes
    // (relative to a folder holding "plain.bin", "good.vlt" and "folder"), and
    // a part of the error expected. The boxes are then corrected and the run
    // tried again, which must succeed.
    void failuresNameTheFileAndKeepTheWindowUsable_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing input") << 1 << "missing.bin"
                                       << "out.vlt"
                                       << "missing.bin";
        QTest::newRow("folder as input") << 1 << "folder"
                                         << "out.vlt"
                                         << "folder";
        QTest::newRow("output in a missing folder") << 1 << "plain.bin"
                                                    << "nowhere/out.vlt"
                                                    << "nowhere";
        QTest::newRow("input name of blanks") << 1 << "  "
                                              << "out.vlt"
                                              << "Encryption failed";
        QTest::newRow("missing encrypted file") << 2 << "missing.vlt"
                                                << "out.bin"
                                                << "missing.vlt";
        QTest::newRow("not an encrypted file") << 2 << "plain.bin"
                                               << "out.bin"
                                               << "plain.bin";
        QTest::newRow("output over a folder") << 2 << "good.vlt"
                                              << "folder"
                                              << "folder";
    }
    void failuresNameTheFileAndKeepTheWindowUsable() {
        QFETCH(int, button);
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(QString, expected);
        QVERIFY(WriteAll(In("plain.bin"), Sample(5000)));
        QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("folder")));
        QCOMPARE(vlt::EncryptFile(Native(In("plain.bin")), Native(In("good.vlt")), Key("k")).status,
                 vlt::RunStatus::Finished);
        const bool encrypt = button == 1;
        QLineEdit* inputBox = encrypt ? form_->Text1 : form_->Text6;
        QLineEdit* outputBox = encrypt ? form_->Text2 : form_->Text5;
        QPushButton* run = encrypt ? form_->Command1 : form_->Command2;
        inputBox->setText(input.trimmed().isEmpty() ? input : In(input));
        outputBox->setText(In(output));
        form_->Text3->setText(QStringLiteral("k"));

        QTest::mouseClick(run, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->log.size(), 1);
        const RecordingMessageBox::Message error = messages_->log.front();
        QCOMPARE(error.kind, RecordingMessageBox::Kind::Error);
        QVERIFY2(error.text.startsWith(encrypt ? "Encryption failed: " : "Decryption failed: "),
                 qPrintable(error.text));
        QVERIFY2(error.text.contains(expected), qPrintable(error.text));
        QCOMPARE(ended_->count(), 0);
        QVERIFY(form_->isVisible());
        QCOMPARE(form_->ProgressBar1->value(), 0);
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"good.vlt", "plain.bin"}));

        inputBox->setText(In(encrypt ? "plain.bin" : "good.vlt"));
        outputBox->setText(In("second try"));
        QTest::mouseClick(run, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->log.back().text, encrypt ? "Encrypt is finish" : "Decrypt is finish");
        QCOMPARE(ended_->count(), 1);
        QVERIFY(QFile::exists(In("second try")));
    }

    void aCodePageThatCannotBeUsedIsAnError() {
        qputenv("VLT_CODEPAGE", "ebcdic");
        QVERIFY(WriteAll(In("a.bin"), "abc"));
        form_->Text1->setText(In("a.bin"));
        form_->Text2->setText(In("a.bin.vlt"));
        form_->Text3->setText(QStringLiteral("key"));
        QTest::mouseClick(form_->Command1, Qt::LeftButton);
        QVERIFY(!form_->Running());
        QCOMPARE(messages_->log.size(), 1);
        QCOMPARE(messages_->log.front().kind, RecordingMessageBox::Kind::Error);
        QVERIFY2(messages_->log.front().text.contains("ebcdic"),
                 qPrintable(messages_->log.front().text));
        QVERIFY(!QFile::exists(In("a.bin.vlt")));
        QCOMPARE(ended_->count(), 0);
    }

    // While a run is active its button clicks are ignored, the browse buttons
    // work, and neither changes what the run does.
    void clicksDuringARunLeaveItAlone() {
        constexpr qsizetype kSize = 4 << 20;  // a run that outlasts the clicks
        QVERIFY(WriteAll(In("a.bin"), Sample(kSize)));
        form_->Text1->setText(In("a.bin"));
        form_->Text2->setText(In("a.bin.vlt"));
        form_->Text3->setText(QStringLiteral("key"));
        QTest::mouseClick(form_->Command1, Qt::LeftButton);
        QVERIFY(form_->Running());

        form_->Text1->clear();
        form_->Text3->clear();
        QTest::mouseClick(form_->Command1, Qt::LeftButton);
        QTest::mouseClick(form_->Command2, Qt::LeftButton);
        QVERIFY(messages_->log.isEmpty());
        QVERIFY(dialog_->shown.isEmpty());

        dialog_->answers << In("other.bin");
        QTest::mouseClick(form_->Command3, Qt::LeftButton);
        QCOMPARE(form_->Text2->text(), In("other.bin.vlt"));
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), QStringList{"Encrypt is finish"});
        QCOMPARE(ReadAll(In("a.bin.vlt")).size(), 3 * kSize + 4);
        QVERIFY(!QFile::exists(In("other.bin.vlt")));
    }

    void progressClimbsOnceToTheTop_data() {
        QTest::addColumn<int>("button");
        QTest::newRow("encryption") << 1;
        QTest::newRow("decryption") << 2;
    }
    void progressClimbsOnceToTheTop() {
        QFETCH(int, button);
        QVERIFY(WriteAll(In("a.bin"), Sample(8 << 20)));
        QCOMPARE(vlt::EncryptFile(Native(In("a.bin")), Native(In("a.vlt")), Key("key")).status,
                 vlt::RunStatus::Finished);
        form_->Text1->setText(In("a.bin"));
        form_->Text2->setText(In("b.vlt"));
        form_->Text6->setText(In("a.vlt"));
        form_->Text5->setText(In("b.bin"));
        form_->Text3->setText(QStringLiteral("key"));
        form_->ProgressBar1->setValue(37);  // left from an earlier failed attempt
        QSignalSpy values(form_->ProgressBar1, &QProgressBar::valueChanged);

        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(button == 1 ? form_->Command1 : form_->Command2, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        const qint64 elapsedMs = clock.elapsed();
        QCOMPARE(messages_->log.size(), 1);

        QList<int> seen;
        for (const QList<QVariant>& call : values) {
            seen << call.front().toInt();
        }
        QCOMPARE(seen.front(), 0);
        QCOMPARE(seen.back(), 100);
        QVERIFY(std::adjacent_find(seen.begin(), seen.end(), std::greater_equal<int>()) ==
                seen.end());
        // At most 25 moves a second, besides the first and the last.
        QVERIFY2(seen.size() <= 2 + elapsedMs / 40,
                 qPrintable(QStringLiteral("%1 moves in %2 ms").arg(seen.size()).arg(elapsedMs)));
    }

    void closingDuringARunCancelsItAndLeavesNoFile() {
        QFile big(In("big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(64 << 20));
        big.close();
        form_->Text1->setText(In("big.bin"));
        form_->Text2->setText(In("big.bin.vlt"));
        form_->Text3->setText(QStringLiteral("key"));
        QTest::mouseClick(form_->Command1, Qt::LeftButton);
        QVERIFY(form_->Running());

        QVERIFY(form_->close());
        QVERIFY(!form_->Running());
        QCOMPARE(ended_->count(), 1);
        QTest::qWait(100);
        QVERIFY(messages_->log.isEmpty());
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});
    }

  private:
    QString In(const QString& name) const { return dir_.filePath(name); }

    // A fresh start of the program: one window, one completed run at most.
    void NewStart() {
        form_.reset();
        dialog_ = std::make_unique<ScriptedFileDialog>();
        messages_ = std::make_unique<RecordingMessageBox>();
        form_ = std::make_unique<Form1>(*dialog_, *messages_);
        ended_ = std::make_unique<QSignalSpy>(form_.get(), &Form1::ProgramEnded);
        form_->show();
    }

    QTemporaryDir dir_;
    std::unique_ptr<ScriptedFileDialog> dialog_;
    std::unique_ptr<RecordingMessageBox> messages_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<QSignalSpy> ended_;
};

QTEST_MAIN(RunsTest)
#include "runs_test.moc"
