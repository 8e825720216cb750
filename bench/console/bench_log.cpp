// Measures the log box and whole repair runs from the main window with the log connected.
//  1. Append cost: a log of 4 MB takes 1000 appends of one block each; the time of the
//     first appends is compared with that of the last (goal: ratio <= 2).
//  2. Runs at log level "None (fastest)" and at "Verbose": the stand-in writes the given
//     number of bytes (default 1 GiB) and the window runs it, against "dd bs=256" reading
//     the same stream, round by round (goal: ratio <= 1.3 at both levels, None never
//     slower than Verbose). The peak resident memory of each level's runs is measured
//     on its own (goal: <= 150 MiB).
//
// Usage: bench_log [bytes] [rounds]

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
    box.setText(line.repeated(4 * 1024 * 1024 / line.size()));
    const QString piece = QString(255, u'y') + u'\n';
    std::vector<double> times;
    for (int i = 0; i < total; ++i) {
        QElapsedTimer timer;
        timer.start();
        box.appendText(piece); // laid out in the view at once
        box.setSelStart(box.Text().size());
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

struct LevelResult {
    double bestRatio = 0;
    double typicalRatio = 0;
    double bestRun = 0;
};

// Rounds of dd and a window run in turn, so that both see the same load on the machine.
LevelResult measureLevel(frmDOSOutput& window, const char* option, const char* caption,
                         int rounds) {
    window.findChild<QRadioButton*>(option)->setChecked(true);
    const bool peakReset = bench::ResetPeakMemory();
    std::vector<double> dd;
    std::vector<double> run;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        dd.push_back(bench::timeDd());
        QElapsedTimer timer;
        timer.start();
        window.cmdExecute_Click();
        run.push_back(seconds(timer));
        ratios.push_back(run.back() / dd.back());
    }
    const long peakKiB = bench::PeakMemoryKiB();
    const auto* log = window.findChild<LogTextBox*>("txtOutputs");
    LevelResult result{*std::min_element(ratios.begin(), ratios.end()), median(ratios),
                       *std::min_element(run.begin(), run.end())};
    std::printf("%s:\n", caption);
    std::printf("  dd bs=256    best %.3f s, typical %.3f s\n",
                *std::min_element(dd.begin(), dd.end()), median(dd));
    std::printf("  window run   best %.3f s, typical %.3f s\n", result.bestRun, median(run));
    std::printf("  ratio        best %.2f, typical %.2f, worst %.2f (goal <= %.2f)\n",
                result.bestRatio, result.typicalRatio,
                *std::max_element(ratios.begin(), ratios.end()), ratioGoal);
    std::printf("  peak RSS     %ld MiB%s (goal <= %ld MiB)\n", peakKiB / 1024,
                peakReset ? "" : " (whole process)", memoryGoalMiB);
    std::printf("  log holds    %lld characters\n", static_cast<long long>(log->Text().size()));
    return result;
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
    const LevelResult none = measureLevel(window, "Optlognone", "None (fastest)", rounds);
    const LevelResult verbose = measureLevel(window, "Optlogverbose", "Verbose", rounds);
    std::printf("None against Verbose: best %.2f (goal <= 1)\n", none.bestRun / verbose.bestRun);
    messages.removeAll(QStringLiteral("done"));
    if (!messages.isEmpty()) {
        std::printf("not every run said \"done\": %s\n", qPrintable(messages.first()));
        return 1;
    }
    return 0;
}
