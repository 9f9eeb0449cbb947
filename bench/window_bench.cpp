// What the window adds to a run: the same encryption and decryption timed
// through the engine alone (no progress callback) and through Form1's buttons,
// with the event loop running and the progress bar moving as in the program.
// Not a test; run it by hand:
//   QT_QPA_PLATFORM=offscreen vlt_window_bench [MiB, default 256] [rounds, default 5]

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "codepage.h"
#include "engine.h"
#include "fakes.h"
#include "form1.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const QString kKey = QStringLiteral("bench key");

enum Way { kEngine, kWindow };
enum Operation { kEncrypt, kDecrypt };

struct Timing {
    double seconds = 0;
    int updates = 0;  // changes of the progress bar's value
};

void WriteRandom(const fs::path& path, std::uint64_t bytes) {
    std::mt19937_64 random(42);
    std::vector<std::uint64_t> block(1 << 17);
    std::ofstream out(path, std::ios::binary);
    for (std::uint64_t left = bytes; left > 0;) {
        std::generate(block.begin(), block.end(), std::ref(random));
        const auto size = std::min<std::uint64_t>(left, block.size() * sizeof(block[0]));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(size));
        left -= size;
    }
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

bool SameContents(const fs::path& a, const fs::path& b) {
    QFile x(QString::fromStdString(a.string())), y(QString::fromStdString(b.string()));
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

Timing ByEngine(Operation operation, const fs::path& in, const fs::path& out,
                const vlt::PrimaryKey& key) {
    const auto start = Clock::now();
    const vlt::RunResult result =
        operation == kEncrypt ? vlt::EncryptFile(in, out, key) : vlt::DecryptFile(in, out, key);
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
    Form1 form(dialog, messages);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        throw std::runtime_error("the window was not shown");
    }
    QTest::keyClicks(operation == kEncrypt ? form.Text1 : form.Text6, in.c_str());
    QTest::keyClicks(operation == kEncrypt ? form.Text2 : form.Text5, out.c_str());
    QTest::keyClicks(form.Text3, kKey);
    Timing timing;
    QObject::connect(form.ProgressBar1, &QProgressBar::valueChanged,
                     [&timing] { ++timing.updates; });
    QEventLoop loop;
    messages.onShown = [&loop] { loop.quit(); };

    const auto start = Clock::now();
    QTest::mouseClick(operation == kEncrypt ? form.Command1 : form.Command2, Qt::LeftButton);
    if (messages.log.isEmpty()) {
        loop.exec();
    }
    timing.seconds = SecondsSince(start);
    const QString finished = operation == kEncrypt ? "Encrypt is finish" : "Decrypt is finish";
    if (messages.Texts() != QStringList{finished}) {
        throw std::runtime_error("window: " + messages.Texts().join("; ").toStdString());
    }
    return timing;
}

template <typename T>
T Median(std::vector<T> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
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
    const int rounds = args.size() > 2 ? args[2].toInt() : 5;
    if (mib <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: %s [MiB] [rounds]\n", argv[0]);
        return 2;
    }
    const std::uint64_t bytes = static_cast<std::uint64_t>(mib) << 20;
    const fs::path dir = fs::path("/dev/shm") /
                         ("vlt_window_bench." + std::to_string(QApplication::applicationPid()));
    try {
        fs::create_directories(dir);
        const fs::path plain = dir / "plain";
        WriteRandom(plain, bytes);
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
        std::printf("%d MiB, %d rounds, medians\n", mib, rounds);
        std::printf("%-8s %-10s %10s %8s %17s\n", "way", "operation", "wall s", "MB/s",
                    "progress updates");
        double medians[2][2];
        for (const Way way : {kEngine, kWindow}) {
            for (const Operation operation : {kEncrypt, kDecrypt}) {
                std::vector<double> seconds;
                std::vector<int> updates;
                for (const Timing& timing : timings[way][operation]) {
                    seconds.push_back(timing.seconds);
                    updates.push_back(timing.updates);
                }
                medians[way][operation] = Median(seconds);
                std::printf("%-8s %-10s %10.3f %8.0f %17d\n", ways[way],
                            operation == kEncrypt ? "encrypt" : "decrypt", medians[way][operation],
                            static_cast<double>(bytes) / 1e6 / medians[way][operation],
                            Median(updates));
            }
        }
        std::printf("window against engine: encrypt %+.1f %%, decrypt %+.1f %%\n",
                    100 * (medians[kWindow][kEncrypt] / medians[kEngine][kEncrypt] - 1),
                    100 * (medians[kWindow][kDecrypt] / medians[kEngine][kDecrypt] - 1));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vlt_window_bench: %s\n", error.what());
        fs::remove_all(dir);
        return 1;
    }
    fs::remove_all(dir);
    return 0;
}
