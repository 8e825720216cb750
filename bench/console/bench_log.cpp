// Measures the log box and a whole repair run with the log connected.
//  1. Append cost: a log of 4 MB takes 1000 appends of one block each; the time of the
//     first appends is compared with that of the last (goal: ratio <= 2).
//  2. A run at log level Verbose from the main window: the stand-in writes the given
//     number of bytes (default 200 MiB); compared with "dd bs=256" reading the same
//     stream (goal: ratio <= 1.3).
//
// Usage: bench_log [bytes] [rounds]

#include "DdBaseline.h"
#include "console/frmDOSOutput.h"
#include "platform/LogTextBox.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <sys/resource.h>

namespace {

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
        box.appendText(piece);
        box.setSelStart(box.Text().size());
        box.showPending(); // each append laid out in the view, as if the batch ended
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

double timeWindowRun(frmDOSOutput& window) {
    QElapsedTimer timer;
    timer.start();
    window.cmdExecute_Click();
    return seconds(timer);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long long bytes = argc > 1 ? std::atoll(argv[1]) : 200LL * 1024 * 1024;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    measureAppends();

    qputenv("STANDIN_FAST_BYTES", QByteArray::number(bytes));
    SetMessageHandler([](const QString&, MessageIcon) {});
    QTemporaryDir appFolder;
    QFile::link(QStringLiteral(KESTREL_STANDIN_PATH), appFolder.filePath("untrunc-w"));
    frmDOSOutput window(appFolder.path());
    window.findChild<QRadioButton*>("Optlogverbose")->setChecked(true);
    std::vector<double> ddTimes;
    std::vector<double> runTimes;
    for (int round = 0; round < rounds; ++round) {
        ddTimes.push_back(bench::timeDd());
        runTimes.push_back(timeWindowRun(window));
    }
    const double firstRatio = runTimes.front() / ddTimes.front();
    std::sort(ddTimes.begin(), ddTimes.end());
    std::sort(runTimes.begin(), runTimes.end());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("run of %lld bytes at Verbose, log connected:\n", bytes);
    std::printf("  dd bs=256 %.3f s, window run %.3f s (best of %d)\n", ddTimes.front(),
                runTimes.front(), rounds);
    std::printf("  ratio %.2f (goal <= 1.30), first round %.2f\n",
                runTimes.front() / ddTimes.front(), firstRatio);
    std::printf("  log holds %lld characters\n",
                static_cast<long long>(window.findChild<LogTextBox*>("txtOutputs")->Text().size()));
    std::printf("peak RSS %ld KiB\n", usage.ru_maxrss);
    return 0;
}
