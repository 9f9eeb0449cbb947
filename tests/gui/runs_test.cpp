// Runs through the Qt window's widgets, on real files: what the boxes hold reaches the
// run, its reports come back to the window's thread, and the window's close box stops it.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/qt/form1_window.h"
#include "cipher/engine.h"
#include "tests/gui/controls.h"
#include "tests/gui/fakes.h"

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

}  // namespace

class RunsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QVERIFY(dir_.isValid());
        form_ = std::make_unique<vlt::Form1Window>(dialog_, messages_);
        ui_ = std::make_unique<Form1Controls>(*form_);
        ended_ = std::make_unique<QSignalSpy>(form_.get(), &vlt::Form1Window::ProgramEnded);
        form_->show();
    }
    void cleanup() {
        ended_.reset();
        ui_.reset();
        form_.reset();
        messages_.log.clear();
        dialog_.shown.clear();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }

    // Names and a key beyond ASCII pass between the widgets and the run unchanged.
    void aCompletedRunEndsTheProgram() {
        const QByteArray plain = Sample(100 * 1024);
        const QString input = In(QStringLiteral("poročilo č.doc"));
        QVERIFY(WriteAll(input, plain));
        const QString key = QStringLiteral("Ključ 1€");
        dialog_.answers << input;
        QTest::mouseClick(ui_->encryptBrowse, Qt::LeftButton);
        QCOMPARE(ui_->encryptOutput->text(), input + QStringLiteral(".vlt"));
        ui_->key->setText(key);
        ui_->progress->setValue(37);  // left from an earlier failed attempt
        QSignalSpy values(ui_->progress, &QProgressBar::valueChanged);

        QTest::mouseClick(ui_->encrypt, Qt::LeftButton);
        QVERIFY(form_->Running());
        QTRY_VERIFY_WITH_TIMEOUT(!form_->Running(), kRunTimeoutMs);
        QCOMPARE(messages_.Texts(), QStringList{"Encrypt is finish"});
        QCOMPARE(ended_->count(), 1);
        QVERIFY(!form_->isVisible());
        QCOMPARE(values.front().front().toInt(), 0);
        QCOMPARE(ui_->progress->value(), 100);
        const vlt::RunResult direct = vlt::EncryptFile(
            Native(input), {Native(In(QStringLiteral("direct.vlt")))}, {key.toStdString(), 1252});
        QCOMPARE(direct.status, vlt::RunStatus::Finished);
        QCOMPARE(ReadAll(input + QStringLiteral(".vlt")),
                 ReadAll(In(QStringLiteral("direct.vlt"))));
    }

    void theCloseBoxDuringARunCancelsItAndLeavesNoFile() {
        const QString input = In(QStringLiteral("big.bin"));
        QFile big(input);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(64 << 20));
        ui_->encryptInput->setText(input);
        ui_->encryptOutput->setText(input + QStringLiteral(".vlt"));
        ui_->key->setText(QStringLiteral("key"));
        QTest::mouseClick(ui_->encrypt, Qt::LeftButton);
        QVERIFY(form_->Running());
        // The temporary output appears once the input is open, just before its first read.
        QTRY_COMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
                     2);

        QElapsedTimer clock;
        clock.start();
        QVERIFY(form_->close());
        QVERIFY2(clock.elapsed() < 5000,
                 qPrintable(QStringLiteral("closing took %1 ms").arg(clock.elapsed())));
        QVERIFY(!form_->Running());
        QVERIFY(!form_->isVisible());
        QCOMPARE(ended_->count(), 1);
        QTest::qWait(100);
        QVERIFY(messages_.log.isEmpty());
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{"big.bin"});
    }

  private:
    QString In(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    ScriptedFileDialog dialog_;
    RecordingMessageBox messages_;
    std::unique_ptr<vlt::Form1Window> form_;
    std::unique_ptr<Form1Controls> ui_;
    std::unique_ptr<QSignalSpy> ended_;
};

QTEST_MAIN(RunsTest)
#include "runs_test.moc"
