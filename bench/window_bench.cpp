// What the window adds to a run: the same encryption and decryption timed
// through the engine alone (no progress callback) and through Form1's buttons,
// with the event loop running and the progress bar moving as in the program,
// and the CPU time the window's own thread spent on it. Not a test; run it by
// hand (on Qt's offscreen platform unless QT_QPA_PLATFORM names another):
//   vlt_window_bench [MiB, default 256] [runs of each, default 7]

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator64>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "app/qt/form1_window.h"
#include "cipher/engine.h"
#include "platform/system_code_page.h"
#include "tests/gui/controls.h"
#include "tests/gui/fakes.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const QString kKey = QStringLiteral("bench key");

enum Way { kEngine, kWindow };
enum Operation { kEncrypt, kDecrypt };

struct Timing {
    double seconds = 0;
    int updates = 0;         // changes of the progress bar's value
    double windowCpuMs = 0;  // what the window's thread spent on the run
};

// `mib` MiB of random bytes.
void WriteRandom(const fs::path& path, int mib) {
    QRandomGenerator64 random(42);
    std::vector<quint64> block((1 << 20) / sizeof(quint64));
    QFile out(path);
    bool written = out.open(QIODevice::WriteOnly);
    for (int i = 0; i < mib && written; ++i) {
        random.fillRange(block.data(), block.size());
        written = out.write(reinterpret_cast<const char*>(block.data()), 1 << 20) == 1 << 20;
    }
    if (!written) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

bool SameContents(const fs::path& a, const fs::path& b) {
    QFile x(a), y(b);
    if (!x.open(QIODevice::ReadOnly) || !y.open(QIODevice::ReadOnly) || x.size() != y.size()) {
        return false;
    }
    const uchar* left = x.map(0, x.size());
    const uchar* right = y.map(0, y.size());
    return x.size() == 0 || (left && right && std::memcmp(left, right, x.size()) == 0);
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of the calling thread: wall times on a shared machine move more than
// the window could cost, this shows the cost itself.
double ThreadCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

Timing ByEngine(Operation operation, const fs::path& in, const fs::path& out,
                const vlt::PrimaryKey& key) {
    const auto start = Clock::now();
    const vlt::RunResult result =
        operation == kEncrypt ? vlt::EncryptFile(in, {out}, key) : vlt::DecryptFile(in, {out}, key);
    const Timing timing{SecondsSince(start), 0};
    if (result.status != vlt::RunStatus::Finished) {
        throw std::runtime_error("engine: " + result.message);
    }
    return timing;
}

// Types the boxes and clicks the button as a user would; the run has ended
// when the window shows its end message.
Timing ByWindow(Operation operation, const fs::path& in, const fs::path& out) {
    ScriptedFileDialog dialog;
    RecordingMessageBox messages;
    vlt::Form1Window form(dialog, messages);
    const Form1Controls ui(form);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        throw std::runtime_error("the window was not shown");
    }
    QTest::keyClicks(operation == kEncrypt ? ui.encryptInput : ui.decryptInput, in.c_str());
    QTest::keyClicks(operation == kEncrypt ? ui.encryptOutput : ui.decryptOutput, out.c_str());
    QTest::keyClicks(ui.key, kKey);
    Timing timing;
    QObject::connect(ui.progress, &QProgressBar::valueChanged, [&timing] { ++timing.updates; });
    QEventLoop loop;
    messages.onShown = [&loop] { loop.quit(); };

    const double cpuAtStart = ThreadCpuMs();
    const auto start = Clock::now();
    QTest::mouseClick(operation == kEncrypt ? ui.encrypt : ui.decrypt, Qt::LeftButton);
    if (messages.log.isEmpty()) {
        loop.exec();
    }
    timing.seconds = SecondsSince(start);
    timing.windowCpuMs = ThreadCpuMs() - cpuAtStart;
    const QString finished = operation == kEncrypt ? "Encrypt is finish" : "Decrypt is finish";
    if (messages.Texts() != QStringList{finished}) {
        throw std::runtime_error("window: " + messages.Texts().join("; ").toStdString());
    }
    return timing;
}

// The median of each figure on its own.
Timing Median(const std::vector<Timing>& timings) {
    const auto median = [&timings](auto field) {
        std::vector<double> values;
        for (const Timing& timing : timings) {
            values.push_back(timing.*field);
        }
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    return {median(&Timing::seconds), static_cast<int>(median(&Timing::updates)),
            median(&Timing::windowCpuMs)};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);  // each run closes its window; the benchmark goes on
    const QStringList args = QApplication::arguments();
    const int mib = args.size() > 1 ? args[1].toInt() : 256;
    const int rounds = args.size() > 2 ? args[2].toInt() : 7;
    if (mib <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: %s [MiB] [runs]\n", argv[0]);
        return 2;
    }
    const double megabytes = mib * 1.048576;
    try {
        const QTemporaryDir scratch(QStringLiteral("/dev/shm/vlt_window_bench-XXXXXX"));
        const fs::path dir = scratch.path().toStdString();
        const fs::path plain = dir / "plain";
        WriteRandom(plain, mib);
        const vlt::PrimaryKey key{kKey.toStdString(), vlt::SystemCodePage()};
        const char* ways[] = {"engine", "window"};
        std::vector<Timing> timings[2][2];
        for (int round = 0; round < rounds; ++round) {
            // Either way goes first in turn, so that neither always meets a warmer machine.
            for (const Operation operation : {kEncrypt, kDecrypt}) {
                for (const Way way : {Way(round % 2), Way(1 - round % 2)}) {
                    const fs::path encrypted = dir / (std::string(ways[way]) + ".vlt");
                    const fs::path in = operation == kEncrypt ? plain : encrypted;
                    const fs::path out = operation == kEncrypt ? encrypted : dir / ways[way];
                    fs::remove(out);
                    timings[way][operation].push_back(way == kEngine
                                                          ? ByEngine(operation, in, out, key)
                                                          : ByWindow(operation, in, out));
                    if (round == 0 && operation == kDecrypt && !SameContents(plain, out)) {
                        throw std::runtime_error(out.string() + " differs from the input");
                    }
                }
            }
        }
        std::printf("%d MiB, medians of %d runs\n%-7s %-8s %7s %5s %8s %10s %15s\n", mib, rounds,
                    "way", "", "wall s", "MB/s", "updates", "vs engine", "window CPU ms");
        for (const Operation operation : {kEncrypt, kDecrypt}) {
            const Timing engine = Median(timings[kEngine][operation]);
            const Timing window = Median(timings[kWindow][operation]);
            const char* name = operation == kEncrypt ? "encrypt" : "decrypt";
            std::printf("%-7s %-8s %7.3f %5.0f %8d\n", ways[kEngine], name, engine.seconds,
                        megabytes / engine.seconds, engine.updates);
            std::printf("%-7s %-8s %7.3f %5.0f %8d %+8.1f %% %15.0f\n", ways[kWindow], name,
                        window.seconds, megabytes / window.seconds, window.updates,
                        100 * (window.seconds / engine.seconds - 1), window.windowCpuMs);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vlt_window_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
