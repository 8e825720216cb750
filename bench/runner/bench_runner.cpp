// Measures the runner against "dd bs=256" reading the same stream: the stand-in tool
// writes the given number of bytes (default 200 MiB) in 64 KiB writes; the runner reads
// them 256 bytes at a time at log level Verbose with a listener connected. Each side
// runs several rounds; the best times are compared. The runner keeps the output past
// 4 MiB in a temporary file; from the second round on it overwrites the file of the round
// before, whose pages the system still holds.
//
// Usage: bench_runner [bytes] [rounds]

#include "DdBaseline.h"
#include "platform/CommandLineRules.h"
#include "runner/DOSOutputs.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <vector>

namespace {

class VerboseLevels : public LogLevelView {
public:
    bool logNoneSelected() const override { return false; }
    bool logDefaultOrVerboseSelected() const override { return true; }
};

double timeRunner(DOSOutputs& runner, long long bytes) {
    QElapsedTimer timer;
    timer.start();
    const CapturedOutput output = runner.ExecuteCommand(QuoteArgument(KESTREL_STANDIN_PATH));
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (output.ByteSize() != bytes) {
        std::fprintf(stderr, "runner captured %lld of %lld bytes\n",
                     static_cast<long long>(output.ByteSize()), bytes);
        std::exit(1);
    }
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long long bytes = argc > 1 ? std::atoll(argv[1]) : 200LL * 1024 * 1024;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    qputenv("STANDIN_FAST_BYTES", QByteArray::number(bytes));

    VerboseLevels levels;
    DOSOutputs runner(&levels);
    long long events = 0;
    long long eventChars = 0;
    QObject::connect(
        &runner, &DOSOutputs::ReceiveOutputs, &runner,
        [&](const QString& text) {
            ++events;
            eventChars += text.size();
        },
        Qt::DirectConnection);

    std::vector<double> ddTimes;
    std::vector<double> runnerTimes;
    for (int round = 0; round < rounds; ++round) {
        ddTimes.push_back(bench::timeDd());
        runnerTimes.push_back(timeRunner(runner, bytes));
    }
    const double firstRatio = runnerTimes.front() / ddTimes.front();
    std::sort(ddTimes.begin(), ddTimes.end());
    std::sort(runnerTimes.begin(), runnerTimes.end());
    const double dd = ddTimes.front();
    const double run = runnerTimes.front();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    std::printf("bytes:          %lld\n", bytes);
    std::printf("rounds:         %d\n", rounds);
    std::printf("dd bs=256:      %.3f s (best)\n", dd);
    std::printf("runner:         %.3f s (best)\n", run);
    std::printf("ratio:          %.2f (goal <= 1.30)\n", run / dd);
    std::printf("first round:    %.2f (the runner's memory not yet in use)\n", firstRatio);
    std::printf("median ratio:   %.2f\n",
                runnerTimes[runnerTimes.size() / 2] / ddTimes[ddTimes.size() / 2]);
    std::printf("events:         %lld (%lld characters)\n", events / rounds, eventChars / rounds);
    std::printf("peak RSS:       %ld KiB\n", usage.ru_maxrss);
    return 0;
}
