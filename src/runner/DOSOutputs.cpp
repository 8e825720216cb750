#include "DOSOutputs.h"

#include "platform/CommandLineRules.h"
#include "platform/MessageBox.h"
#include "platform/SpillingBytes.h"
#include "runner/BlockCounter.h"
#include "runner/ChildProcess.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTimerEvent>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <optional>
#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int readSize = 256;
constexpr int blocksPerReport = 50;
// Blocks filled by one system call. Each block is what a read of its own would have
// returned at that moment (a pipe hands out its bytes in order, the last block may be
// short), but a run of 1 GiB then enters the kernel 65 thousand times instead of 4
// million: profiled, those entries were almost all of a long run's time.
constexpr int blocksPerCall = 64;
// Longest time the window goes without event processing while the tool is quiet.
constexpr std::chrono::milliseconds eventInterval{50};
// How long a terminated tool gets to end on SIGTERM before its group is killed.
constexpr std::chrono::milliseconds terminateGrace{2000};
// How long a child may take to become reapable after closing its output; generous, so
// that a busy machine does not lose a tool's exit status.
constexpr std::chrono::microseconds exitSettleTime{100'000};
constexpr int reapIntervalMs = 200;
// Back-to-back reads take microseconds; looking at the clock after every one of them
// would cost more than the reads.
constexpr int readsPerClockCheck = 4;

int millisecondsUntil(Clock::time_point now, Clock::time_point then) {
    if (then <= now) {
        return 0;
    }
    // Rounded up, so that the wait never ends before the moment.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(then - now).count());
}

} // namespace

struct DOSOutputs::Private {
    // The last started run's output. A run reuses the store (and its file) when nobody
    // else holds a value of it; otherwise it takes a new one, so that values handed out
    // earlier keep theirs.
    std::shared_ptr<SpillingBytes> store = std::make_shared<SpillingBytes>();
    qsizetype reportedEnd = 0; // where the read of the last reporting point ended
    RunEnding ending;
    runner::PidReaper reaper;
    int reapTimer = 0;

    // The run in progress, while its output is open.
    runner::ChildProcess* child = nullptr;
    bool terminated = false;
    std::optional<Clock::time_point> killAt;
    Clock::time_point eventsProcessedAt;
};

DOSOutputs::DOSOutputs(const LogLevelView* levels, QObject* parent)
    : QObject(parent), levels_(levels), d_(std::make_unique<Private>()) {}

DOSOutputs::~DOSOutputs() {
    d_->reaper.ReapEnded();
}

QString DOSOutputs::CommandLine() const {
    return commandLine_;
}

void DOSOutputs::setCommandLine(const QString& DOSCommand) {
    commandLine_ = DOSCommand;
}

CapturedOutput DOSOutputs::Outputs() const {
    return {d_->store, d_->store->Size()};
}

RunEnding DOSOutputs::Ending() const {
    return d_->ending;
}

QString DOSOutputs::UnreportedOutput() const {
    const CapturedOutput output = Outputs();
    return output.TextFrom(CharacterStart(output, d_->reportedEnd));
}

bool DOSOutputs::IsRunning() const {
    return d_->child != nullptr;
}

bool DOSOutputs::WasTerminated() const {
    return d_->terminated;
}

void DOSOutputs::Terminate() {
    if (d_->child == nullptr || d_->terminated) {
        return;
    }
    d_->terminated = true;
    d_->child->SignalGroup(SIGTERM);
    d_->killAt = Clock::now() + terminateGrace;
}

CapturedOutput DOSOutputs::ExecuteCommand(const QString& CommandLine) {
    d_->terminated = false;
    d_->ending = {};
    if (!CommandLine.isEmpty()) {
        commandLine_ = CommandLine;
    }
    if (commandLine_.isEmpty()) {
        ShowMessage(QStringLiteral("Command Line empty"), MessageIcon::Critical);
        return {};
    }
    d_->reaper.ReapEnded();
    runner::ChildProcess child(d_->reaper);
    if (const int error = child.CreatePipe(); error != 0) {
        ShowMessage(QStringLiteral("CreatePipe failed. Error: ") + QString::number(error),
                    MessageIcon::Critical);
        return {};
    }
    if (!child.Start(SplitCommandLine(commandLine_))) {
        ShowMessage(QStringLiteral("File or command not found"), MessageIcon::Critical);
        return {};
    }
    Collect(child);
    QCoreApplication::processEvents();
    child.CloseReadEnd();
    d_->ending = child.ReapOrHandOver(exitSettleTime);
    ReapLater();
    return Outputs();
}

void DOSOutputs::Collect(runner::ChildProcess& child) {
    runner::ChildProcess* const outer = std::exchange(d_->child, &child);
    const auto notRunning = qScopeGuard([this, outer] {
        d_->child = outer;
        d_->killAt.reset();
    });
    if (d_->store.use_count() == 1) {
        d_->store->Clear();
    } else {
        d_->store = std::make_shared<SpillingBytes>();
    }
    d_->reportedEnd = 0;
    ReadUntilBroken(child.ReadEnd());
    d_->store->Finish();
    if (d_->terminated) {
        // What of the run closed its output but still runs ends with it.
        child.SignalGroup(SIGKILL);
    }
}

void DOSOutputs::ReadUntilBroken(int readEnd) {
    std::array<std::array<char, readSize>, blocksPerCall> buffer;
    std::array<iovec, blocksPerCall> blocks{};
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        blocks[i] = {buffer[i].data(), buffer[i].size()};
    }
    int counted = 0;
    int uncheckedReads = 0;
    d_->eventsProcessedAt = Clock::now();
    for (;;) {
        const ssize_t count = ::readv(readEnd, blocks.data(), blocksPerCall);
        if (count > 0) {
            for (ssize_t at = 0; at < count; at += readSize) {
                const auto size = static_cast<qsizetype>(std::min<ssize_t>(readSize, count - at));
                TakeBlock(
                    QByteArrayView(buffer[static_cast<std::size_t>(at / readSize)].data(), size),
                    counted);
            }
            if (++uncheckedReads == readsPerClockCheck) {
                uncheckedReads = 0;
                KeepUp();
            }
        } else if (count < 0 && errno == EAGAIN) {
            uncheckedReads = 0;
            WaitForData(readEnd);
        } else if (count == 0 || errno != EINTR) {
            return; // every holder of the write end has closed it, or the read failed
        }
    }
}

// Keeps one block, in the order read; every 50th is a reporting point.
void DOSOutputs::TakeBlock(QByteArrayView block, int& counted) {
    d_->store->Append(block);
    counted = runner::detail::CountBlock(counted);
    if (counted % blocksPerReport == 0) {
        Report(block.size());
    }
}

// Only what a level shows is worked out at the reporting point: "." needs no text at all.
void DOSOutputs::Report(qsizetype blockSize) {
    const qsizetype end = d_->store->Size();
    // Holds the bytes whatever the listener does meanwhile; decoded only when shown.
    const CapturedOutput upToHere(d_->store, end);
    d_->reportedEnd = end;
    if (levels_->logNoneSelected()) {
        emit ReceiveOutputs(QStringLiteral("."));
    }
    if (levels_->logDefaultOrVerboseSelected()) {
        emit ReceiveOutputs(upToHere.TextFrom(CharacterStart(upToHere, end - blockSize)));
    }
    ProcessEvents();
}

// Where the character that holds byte at begins: the end of a character that the read
// before began belongs to the read that completes it.
qsizetype DOSOutputs::CharacterStart(const CapturedOutput& output, qsizetype at) {
    const qsizetype before = std::max<qsizetype>(0, at - 3);
    return at - runner::IncompleteUtf8Tail(output.Bytes(before, at - before));
}

void DOSOutputs::WaitForData(int readEnd) {
    Clock::time_point wakeAt = d_->eventsProcessedAt + eventInterval;
    if (d_->killAt) {
        wakeAt = std::min(wakeAt, *d_->killAt);
    }
    pollfd wanted{readEnd, POLLIN, 0};
    // Data, a broken pipe, a time-out or a signal: the next read tells which.
    ::poll(&wanted, 1, millisecondsUntil(Clock::now(), wakeAt));
    KeepUp();
}

// Escalates a terminated run that outlived its grace, and keeps the window responsive.
void DOSOutputs::KeepUp() {
    const Clock::time_point now = Clock::now();
    if (d_->killAt && now >= *d_->killAt) {
        d_->killAt.reset();
        d_->child->SignalGroup(SIGKILL);
    }
    if (now - d_->eventsProcessedAt >= eventInterval) {
        ProcessEvents();
    }
}

void DOSOutputs::ProcessEvents() {
    QCoreApplication::processEvents();
    d_->eventsProcessedAt = Clock::now();
}

void DOSOutputs::ReapLater() {
    d_->reaper.ReapEnded();
    if (!d_->reaper.IsEmpty() && d_->reapTimer == 0) {
        d_->reapTimer = startTimer(reapIntervalMs);
    }
}

void DOSOutputs::timerEvent(QTimerEvent* event) {
    if (event->timerId() != d_->reapTimer) {
        QObject::timerEvent(event);
        return;
    }
    d_->reaper.ReapEnded();
    if (d_->reaper.IsEmpty()) {
        killTimer(d_->reapTimer);
        d_->reapTimer = 0;
    }
}
