// Both runs through the window's buttons, on real files: the input checks,
// the end of the program after a completed run, failures that keep the window
// usable, the wrong-key and replace questions, progress, and closing during a run.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>

#include "app/form1.h"
#include "cipher/engine.h"
#include "tests/gui/controls.h"
#include "tests/gui/fakes.h"

namespace {

constexpr int kRunTimeoutMs = 60000;
const QString kWrongKeyQuestion =
    QStringLiteral("The primary key is wrong or the file is damaged. Save the output anyway?");

QString ReplaceQuestion(const QString& name) {
    return QStringLiteral("%1 already exists. Replace it?").arg(name);
}

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

enum class Operation { Encrypt, Decrypt };

// What the boxes hold before a run button is clicked.
struct Boxes {
    QString encryptInput{};
    QString encryptOutput{};
    QString key{};
    QString decryptInput{};
    QString decryptOutput{};
};

// A click on a run button with the boxes so filled, the notes expected in
// order and how often the Open dialog is to appear.
struct BoxCheck {
    Operation operation{};
    Boxes boxes;
    QStringList notes;
    int dialogs = 0;
};

// A run that fails: the names put into its input and output boxes (relative to
// a folder holding "plain.bin", "good.vlt" and "folder") and a part of the error.
struct Failure {
    Operation operation{};
    QString input;
    QString output;
    QString expected;
};

// What is at the output's name: a file or a dangling link from the start, or a
// file made while the wrong-key question is open.
enum class AtOutput { Nothing, File, DanglingLink, FileMadeWhileAsked };
enum class Asked { WrongKey, Replace };

// A run into "out" from "plain.bin" or "plain.vlt" (key "k"), the answers to its
// questions in order, the questions expected, and whether "out" is then written.
struct Replacement {
    Operation operation{};
    AtOutput atOutput{};
    bool wrongKey = false;
    std::deque<bool> answers;
    QList<Asked> asked;
    bool written = false;
};

}  // namespace

Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(BoxCheck)
Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(Replacement)

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

    void checksTheBoxesInOrder_data() {
        QTest::addColumn<BoxCheck>("check");
        const auto row = [](const char* name, BoxCheck check) { QTest::newRow(name) << check; };
        const auto encrypt = Operation::Encrypt;
        const auto decrypt = Operation::Decrypt;
        row("encrypt, all empty", {encrypt, {}, {"Please enter file name"}, 1});
        row("encrypt, key but no file",
            {encrypt, {.encryptOutput = "out", .key = "k"}, {"Please enter file name"}, 1});
        row("encrypt, file but no key", {encrypt,
                                         {.encryptInput = "in", .encryptOutput = "out"},
                                         {"Please enter primary key"},
                                         0});
        row("encrypt, no output name",
            {encrypt, {.encryptInput = "in", .key = "k"}, {"Please enter output file name"}, 0});
        row("decrypt, all empty", {decrypt, {}, {"Please enter primary key"}, 0});
        row("decrypt, file but no key", {decrypt,
                                         {.decryptInput = "in", .decryptOutput = "out"},
                                         {"Please enter primary key"},
                                         0});
        row("decrypt, key but no file", {decrypt,
                                         {.key = "k", .decryptOutput = "out"},
                                         {"Please enter file name for decrypt"},
                                         0});
        row("decrypt, no output name", {decrypt,
                                        {.key = "k", .decryptInput = "in"},
                                        {"Please enter output file name for decrypt"},
                                        0});
    }
    void checksTheBoxesInOrder() {
        QFETCH(BoxCheck, check);
        const auto path = [this](const QString& name) { return name.isEmpty() ? name : In(name); };
        QVERIFY(WriteAll(In("in"), "plain"));
        ui_->encryptInput->setText(path(check.boxes.encryptInput));
        ui_->encryptOutput->setText(path(check.boxes.encryptOutput));
        ui_->key->setText(check.boxes.key);
        ui_->decryptInput->setText(path(check.boxes.decryptInput));
        ui_->decryptOutput->setText(path(check.boxes.decryptOutput));

        QTest::mouseClick(RunButton(check.operation), Qt::LeftButton);

        QCOMPARE(messages_->Texts(), check.notes);
        QCOMPARE(messages_->log.front().kind, RecordingMessageBox::Kind::Note);
        QCOMPARE(dialog_->shown.size(), check.dialogs);
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
        QTest::mouseClick(ui_->encryptBrowse, Qt::LeftButton);
        ui_->key->setText(key);
        QTest::mouseClick(ui_->encrypt, Qt::LeftButton);
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
        QTest::mouseClick(ui_->decryptBrowse, Qt::LeftButton);
        QCOMPARE(ui_->decryptOutput->text(), In("report.doc"));
        ui_->decryptOutput->setText(In("restored.doc"));
        ui_->key->setText(key);
        QTest::mouseClick(ui_->decrypt, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), QStringList{"Decrypt is finish"});
        QCOMPARE(ended_->count(), 1);
        QCOMPARE(ui_->progress->value(), 100);
        QCOMPARE(ReadAll(In("restored.doc")), plain);
    }

    void aWrongKeyAsksBeforeWritingAnything() {
        const QByteArray plain = Sample(2000);
        QVERIFY(WriteAll(In("a.bin"), plain));
        QCOMPARE(vlt::EncryptFile(Native(In("a.bin")), Native(In("a.vlt")), Key("right")).status,
                 vlt::RunStatus::Finished);
        const QString question = kWrongKeyQuestion;
        ui_->decryptInput->setText(In("a.vlt"));
        ui_->decryptOutput->setText(In("out.bin"));
        ui_->key->setText(QStringLiteral("wrong"));

        QTest::mouseClick(ui_->decrypt, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), QStringList{question});
        QCOMPARE(messages_->log.front().kind, RecordingMessageBox::Kind::Question);
        QVERIFY(!QFile::exists(In("out.bin")));
        QCOMPARE(ended_->count(), 0);
        QVERIFY(form_->isVisible());

        messages_->answers.push_back(true);
        QTest::mouseClick(ui_->decrypt, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running() && ended_->count() == 1, kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), (QStringList{question, question, "Decrypt is finish"}));
        const QByteArray written = ReadAll(In("out.bin"));
        QCOMPARE(written.size(), plain.size());
        QVERIFY(written != plain);
    }

    void failuresNameTheFileAndKeepTheWindowUsable_data() {
        QTest::addColumn<Failure>("failure");
        const auto row = [](const char* name, Failure failure) { QTest::newRow(name) << failure; };
        const auto encrypt = Operation::Encrypt;
        const auto decrypt = Operation::Decrypt;
        row("missing input", {encrypt, "missing.bin", "out.vlt", "missing.bin"});
        row("folder as input", {encrypt, "folder", "out.vlt", "folder"});
        row("output in a missing folder", {encrypt, "plain.bin", "nowhere/out.vlt", "nowhere"});
        row("input name of blanks", {encrypt, "  ", "out.vlt", "Encryption failed"});
        row("missing encrypted file", {decrypt, "missing.vlt", "out.bin", "missing.vlt"});
        row("not an encrypted file", {decrypt, "plain.bin", "out.bin", "plain.bin"});
        row("output over a folder", {decrypt, "good.vlt", "folder", "folder"});
    }
    // The boxes are then corrected and the run tried again, which must succeed.
    void failuresNameTheFileAndKeepTheWindowUsable() {
        QFETCH(Failure, failure);
        const auto& [operation, input, output, expected] = failure;
        QVERIFY(WriteAll(In("plain.bin"), Sample(5000)));
        QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("folder")));
        QCOMPARE(vlt::EncryptFile(Native(In("plain.bin")), Native(In("good.vlt")), Key("k")).status,
                 vlt::RunStatus::Finished);
        const bool encrypt = operation == Operation::Encrypt;
        QLineEdit* inputBox = encrypt ? ui_->encryptInput : ui_->decryptInput;
        QLineEdit* outputBox = encrypt ? ui_->encryptOutput : ui_->decryptOutput;
        QPushButton* run = RunButton(operation);
        inputBox->setText(input.trimmed().isEmpty() ? input : In(input));
        outputBox->setText(In(output));
        ui_->key->setText(QStringLiteral("k"));

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
        QCOMPARE(ui_->progress->value(), 0);
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

    void anOutputNameInUseIsReplacedOnlyWhenAgreed_data() {
        QTest::addColumn<Replacement>("run");
        const auto row = [](const char* name, Replacement run) { QTest::newRow(name) << run; };
        const auto encrypt = Operation::Encrypt;
        const auto decrypt = Operation::Decrypt;
        const auto wrong = Asked::WrongKey;
        const auto replace = Asked::Replace;
        row("encrypt, nothing at the name", {encrypt, AtOutput::Nothing, false, {}, {}, true});
        row("encrypt, file kept", {encrypt, AtOutput::File, false, {false}, {replace}, false});
        row("encrypt, file replaced", {encrypt, AtOutput::File, false, {true}, {replace}, true});
        row("encrypt, dangling link kept",
            {encrypt, AtOutput::DanglingLink, false, {false}, {replace}, false});
        row("encrypt, dangling link replaced",
            {encrypt, AtOutput::DanglingLink, false, {true}, {replace}, true});
        row("decrypt, file kept", {decrypt, AtOutput::File, false, {false}, {replace}, false});
        row("decrypt, file replaced", {decrypt, AtOutput::File, false, {true}, {replace}, true});
        row("wrong key, replacing agreed once",
            {decrypt, AtOutput::File, true, {true, true}, {replace, wrong}, true});
        row("wrong key, file made meanwhile, replaced",
            {decrypt, AtOutput::FileMadeWhileAsked, true, {true, true}, {wrong, replace}, true});
        row("wrong key, file made meanwhile, kept",
            {decrypt, AtOutput::FileMadeWhileAsked, true, {true, false}, {wrong, replace}, false});
    }
    void anOutputNameInUseIsReplacedOnlyWhenAgreed() {
        QFETCH(Replacement, run);
        const QByteArray plain = Sample(3000);
        const QByteArray old("the output of an earlier day");
        QVERIFY(WriteAll(In("plain.bin"), plain));
        QCOMPARE(
            vlt::EncryptFile(Native(In("plain.bin")), Native(In("plain.vlt")), Key("k")).status,
            vlt::RunStatus::Finished);
        const bool before =
            run.atOutput == AtOutput::File || run.atOutput == AtOutput::DanglingLink;
        if (run.atOutput == AtOutput::File) {
            QVERIFY(WriteAll(In("out"), old));
        } else if (run.atOutput == AtOutput::DanglingLink) {
            QVERIFY(QFile::link(In("missing"), In("out")));
        } else if (run.atOutput == AtOutput::FileMadeWhileAsked) {
            messages_->onShown = [&] {
                if (messages_->log.back().text == kWrongKeyQuestion) {
                    QVERIFY(WriteAll(In("out"), old));
                }
            };
        }
        const bool encrypt = run.operation == Operation::Encrypt;
        (encrypt ? ui_->encryptInput : ui_->decryptInput)
            ->setText(In(encrypt ? "plain.bin" : "plain.vlt"));
        (encrypt ? ui_->encryptOutput : ui_->decryptOutput)->setText(In("out"));
        ui_->key->setText(run.wrongKey ? QStringLiteral("wrong") : QStringLiteral("k"));
        messages_->answers = run.answers;

        QTest::mouseClick(RunButton(run.operation), Qt::LeftButton);
        // Asked before anything runs; a No starts nothing.
        QCOMPARE(messages_->log.size(), before ? 1 : 0);
        QCOMPARE(form_->Running(), !before || run.answers.front());
        QStringList expected;
        for (const Asked asked : run.asked) {
            expected << (asked == Asked::WrongKey ? kWrongKeyQuestion : ReplaceQuestion(In("out")));
        }
        if (run.written) {
            expected << (encrypt ? "Encrypt is finish" : "Decrypt is finish");
        }
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running() && messages_->log.size() == expected.size(),
                                 kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), expected);
        QCOMPARE(ended_->count(), run.written ? 1 : 0);
        QCOMPARE(ui_->progress->value(), run.written ? 100 : 0);
        const QByteArray written = ReadAll(In("out"));
        if (run.written && run.wrongKey) {
            QCOMPARE(written.size(), plain.size());
            QVERIFY(written != plain);
        } else if (run.written) {
            QCOMPARE(written, encrypt ? ReadAll(In("plain.vlt")) : plain);
        } else {
            QVERIFY(form_->isVisible());
            QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                     (QStringList{"out", "plain.bin", "plain.vlt"}));
            if (run.atOutput == AtOutput::DanglingLink) {
                QCOMPARE(QFileInfo(In("out")).symLinkTarget(), In("missing"));
            } else {
                QCOMPARE(written, old);
            }
        }
    }

    void aCodePageThatCannotBeUsedIsAnError() {
        qputenv("VLT_CODEPAGE", "ebcdic");
        QVERIFY(WriteAll(In("a.bin"), "abc"));
        ui_->encryptInput->setText(In("a.bin"));
        ui_->encryptOutput->setText(In("a.bin.vlt"));
        ui_->key->setText(QStringLiteral("key"));
        QTest::mouseClick(ui_->encrypt, Qt::LeftButton);
        QVERIFY(!form_->Running());
        QCOMPARE(messages_->log.size(), 1);
        QCOMPARE(messages_->log.front().kind, RecordingMessageBox::Kind::Error);
        QVERIFY2(messages_->log.front().text.startsWith("VLT_CODEPAGE: unknown code page 'ebcdic'"),
                 qPrintable(messages_->log.front().text));
        QVERIFY(!QFile::exists(In("a.bin.vlt")));
        QCOMPARE(ended_->count(), 0);
    }

    // While a run is active its button clicks are ignored, the browse buttons
    // work, and neither changes what the run does.
    void clicksDuringARunLeaveItAlone() {
        constexpr qsizetype kSize = 4 << 20;  // a run that outlasts the clicks
        QVERIFY(WriteAll(In("a.bin"), Sample(kSize)));
        ui_->encryptInput->setText(In("a.bin"));
        ui_->encryptOutput->setText(In("a.bin.vlt"));
        ui_->key->setText(QStringLiteral("key"));
        QTest::mouseClick(ui_->encrypt, Qt::LeftButton);
        QVERIFY(form_->Running());

        ui_->encryptInput->clear();
        ui_->key->clear();
        QTest::mouseClick(ui_->encrypt, Qt::LeftButton);
        QTest::mouseClick(ui_->decrypt, Qt::LeftButton);
        QVERIFY(messages_->log.isEmpty());
        QVERIFY(dialog_->shown.isEmpty());

        dialog_->answers << In("other.bin");
        QTest::mouseClick(ui_->encryptBrowse, Qt::LeftButton);
        QCOMPARE(ui_->encryptOutput->text(), In("other.bin.vlt"));
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_->Texts(), QStringList{"Encrypt is finish"});
        QCOMPARE(ReadAll(In("a.bin.vlt")).size(), 3 * kSize + 4);
        QVERIFY(!QFile::exists(In("other.bin.vlt")));
    }

    void progressClimbsOnceToTheTop_data() {
        QTest::addColumn<Operation>("operation");
        QTest::newRow("encryption") << Operation::Encrypt;
        QTest::newRow("decryption") << Operation::Decrypt;
    }
    void progressClimbsOnceToTheTop() {
        QFETCH(Operation, operation);
        QVERIFY(WriteAll(In("a.bin"), Sample(8 << 20)));
        QCOMPARE(vlt::EncryptFile(Native(In("a.bin")), Native(In("a.vlt")), Key("key")).status,
                 vlt::RunStatus::Finished);
        ui_->encryptInput->setText(In("a.bin"));
        ui_->encryptOutput->setText(In("b.vlt"));
        ui_->decryptInput->setText(In("a.vlt"));
        ui_->decryptOutput->setText(In("b.bin"));
        ui_->key->setText(QStringLiteral("key"));
        ui_->progress->setValue(37);  // left from an earlier failed attempt
        QSignalSpy values(ui_->progress, &QProgressBar::valueChanged);

        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(RunButton(operation), Qt::LeftButton);
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

    // Each row: the input, and whether a writer holds it open without writing.
    void closingDuringARunCancelsItAndLeavesNoFile_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("held");
        QTest::newRow("large file") << QStringLiteral("big.bin") << false;
        QTest::newRow("named pipe whose writer stalls") << QStringLiteral("fifo") << true;
        QTest::newRow("named pipe with no writer") << QStringLiteral("fifo") << false;
    }
    void closingDuringARunCancelsItAndLeavesNoFile() {
        QFETCH(QString, input);
        QFETCH(bool, held);
        if (input == QStringLiteral("big.bin")) {
            QFile big(In(input));
            QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(64 << 20));
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(In(input)).constData(), 0600), 0);
        }
        const int writer =
            held ? ::open(QFile::encodeName(In(input)).constData(), O_RDWR | O_NONBLOCK) : -1;
        ui_->encryptInput->setText(In(input));
        ui_->encryptOutput->setText(In(input + QStringLiteral(".vlt")));
        ui_->key->setText(QStringLiteral("key"));
        QTest::mouseClick(ui_->encrypt, Qt::LeftButton);
        QVERIFY(form_->Running());
        // The temporary output appears once the input is open, just before its first read.
        QTRY_COMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
                     2);

        QElapsedTimer clock;
        clock.start();
        QVERIFY(form_->close());
        const qint64 closingMs = clock.elapsed();
        ::close(writer);
        QVERIFY2(closingMs < 5000, qPrintable(QStringLiteral("closing took %1 ms").arg(closingMs)));
        QVERIFY(!form_->Running());
        QCOMPARE(ended_->count(), 1);
        QTest::qWait(100);
        QVERIFY(messages_->log.isEmpty());
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{input});
    }

  private:
    QString In(const QString& name) const { return dir_.filePath(name); }
    QPushButton* RunButton(Operation operation) const {
        return operation == Operation::Encrypt ? ui_->encrypt : ui_->decrypt;
    }

    // A fresh start of the program: one window, one completed run at most.
    void NewStart() {
        form_.reset();
        dialog_ = std::make_unique<ScriptedFileDialog>();
        messages_ = std::make_unique<RecordingMessageBox>();
        form_ = std::make_unique<Form1>(*dialog_, *messages_);
        ui_ = std::make_unique<Form1Controls>(*form_);
        ended_ = std::make_unique<QSignalSpy>(form_.get(), &Form1::ProgramEnded);
        form_->show();
    }

    QTemporaryDir dir_;
    std::unique_ptr<ScriptedFileDialog> dialog_;
    std::unique_ptr<RecordingMessageBox> messages_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<Form1Controls> ui_;
    std::unique_ptr<QSignalSpy> ended_;
};

QTEST_MAIN(RunsTest)
#include "runs_test.moc"
