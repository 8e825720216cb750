// Measures the log box and whole repair runs from the main window with the log connected.
//  1. Append cost: a log of 4 MB takes 1000 appends of one block each; the time of the
//     first appends is compared with that of the last (goal: ratio <= 2).
//  2. Runs at log level "None (fastest)" and at "Verbose": the stand-in writes the given
//     number of bytes (default 1 GiB) and the window runs it, each run right after "dd
//     bs=256" reading the same stream (goal: ratio <= 1.3 at both levels, None never
//     slower than Verbose). The peak resident memory of each window run is measured on
//     its own (goal: <= 150 MiB). The first round also takes the pages of the captured
//     output's temporary file anew; later rounds reuse them.
//
// Usage: bench_log [bytes] [rounds] [none|verbose]
// (a level named: only runs at that level, for a profiler to watch)

#include "DdBaseline.h"
#include "PeakMemory.h"
#include "console/frmDOSOutput.h"
#include "platform/LogTextBox.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

constexpr double ratioGoal = 1.3;
constexpr long memoryGoalMiB = 150;

double seconds(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// Mean time of appends [from, from + count) out of total, on a log that starts at 4 MB.
void measureAppends() {
    constexpr int total = 1000;
    constexpr int window = 10;
    LogTextBox box;
    box.resize(471, 148);
    const QString line = QString(79, u'x') + u'\n';
    box.setText(line.repeated(qsizetype{4} * 1024 * 1024 / line.size()));
    const QString piece = QString(255, u'y') + u'\n';
    std::vector<double> times;
    for (int i = 0; i < total; ++i) {
        QElapsedTimer timer;
        timer.start();
        box.appendText(piece); // laid out in the view at once
        box.setSelStart(box.TextLength());
        times.push_back(seconds(timer));
    }
    const auto mean = [&](int from) {
        double sum = 0;
        for (int i = from; i < from + window; ++i) {
            sum += times[i];
        }
        return sum / window;
    };
    const double first = mean(0);
    const double last = mean(total - window);
    std::printf("append to a 4 MB log: first %.1f us, 1000th %.1f us, ratio %.2f (goal <= 2)\n",
                times.front() * 1e6, times.back() * 1e6, times.back() / times.front());
    std::printf("  mean of appends 1-10: %.1f us, 991-1000: %.1f us, ratio %.2f\n", first * 1e6,
                last * 1e6, last / first);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double best(const std::vector<double>& values) {
    return *std::min_element(values.begin(), values.end());
}

double worst(const std::vector<double>& values) {
    return *std::max_element(values.begin(), values.end());
}

struct Level {
    const char* option;
    const char* caption;
    std::vector<double> dd;
    std::vector<double> run;
    std::vector<double> ratios;
    long peakKiB = 0;
    qsizetype logLength = 0;
};

// One dd run, then one window run at the level, measured right after each other so that
// both see the same load on the machine; the peak memory of the window run on its own.
void measureRound(frmDOSOutput& window, Level& level) {
    window.findChild<QRadioButton*>(level.option)->setChecked(true);
    level.dd.push_back(bench::timeDd());
    const bool peakReset = bench::ResetPeakMemory();
    QElapsedTimer timer;
    timer.start();
    window.cmdExecute_Click();
    level.run.push_back(seconds(timer));
    level.ratios.push_back(level.run.back() / level.dd.back());
    std::printf("  round %zu, %s: dd %.3f s, window %.3f s, ratio %.2f\n", level.run.size(),
                level.caption, level.dd.back(), level.run.back(), level.ratios.back());
    level.peakKiB = std::max(level.peakKiB, peakReset ? bench::PeakMemoryKiB() : -1L);
    level.logLength = window.findChild<LogTextBox*>("txtOutputs")->TextLength();
}

void printLevel(const Level& level) {
    std::printf("%s:\n", level.caption);
    std::printf("  dd bs=256    best %.3f s, typical %.3f s\n", best(level.dd), median(level.dd));
    std::printf("  window run   best %.3f s, typical %.3f s\n", best(level.run), median(level.run));
    std::printf("  ratio        best %.2f, typical %.2f, worst %.2f (goal <= %.2f)\n",
                best(level.ratios), median(level.ratios), worst(level.ratios), ratioGoal);
    std::printf("  peak RSS     %ld MiB (goal <= %ld MiB)\n", level.peakKiB / 1024, memoryGoalMiB);
    std::printf("  log holds    %lld characters\n", static_cast<long long>(level.logLength));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long long bytes = argc > 1 ? std::atoll(argv[1]) : 1024LL * 1024 * 1024;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    measureAppends();

    // Runs that succeed: the stand-in leaves a result, which the window renames.
    qputenv("STANDIN_FAST_BYTES", QByteArray::number(bytes));
    qputenv("STANDIN_RESULT", "1");
    QStringList messages;
    SetMessageHandler([&](const QString& text, MessageIcon) { messages.append(text); });
    QTemporaryDir appFolder;
    QFile::link(QStringLiteral(KESTREL_STANDIN_PATH), appFolder.filePath("untrunc-w"));
    frmDOSOutput window(appFolder.path());
    window.findChild<QLineEdit*>("TxtCor")->setText(appFolder.filePath("clip.mp4"));
    window.show();
    std::printf("runs of %lld bytes from the main window, %d rounds each:\n", bytes, rounds);
    Level none{"Optlognone", "None (fastest)", {}, {}, {}};
    Level verbose{"Optlogverbose", "Verbose", {}, {}, {}};
    std::vector<double> noneAgainstVerbose;
    const QByteArray only = argc > 3 ? QByteArray(argv[3]) : QByteArray();
    if (!only.isEmpty()) {
        for (int round = 0; round < rounds; ++round) {
            measureRound(window, only == "none" ? none : verbose);
        }
        return 0;
    }
    for (int round = 0; round < rounds; ++round) {
        // Each level goes first in turn, so that neither always runs on a warmer machine.
        Level& first = round % 2 == 0 ? none : verbose;
        Level& second = round % 2 == 0 ? verbose : none;
        measureRound(window, first);
        measureRound(window, second);
        noneAgainstVerbose.push_back(none.run.back() / verbose.run.back());
    }
    printLevel(none);
    printLevel(verbose);
    std::printf("None against Verbose, round by round: best %.2f, typical %.2f (goal <= 1)\n",
                best(noneAgainstVerbose), median(noneAgainstVerbose));
    messages.removeAll(QStringLiteral("done"));
    if (!messages.isEmpty()) {
        std::printf("not every run said \"done\": %s\n", qPrintable(messages.first()));
        return 1;
    }
    return 0;
}
