#include "DOSOutputs.h"

#include "platform/CommandLineRules.h"
#include "platform/MessageBox.h"
#include "runner/BlockCounter.h"
#include "runner/CapturedText.h"
#include "runner/ChildProcess.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int readSize = 256;
constexpr int blocksPerReport = 50;
// How long a child may take to become reapable after closing its output.
constexpr std::chrono::microseconds exitSettleTime{20'000};
constexpr int reapIntervalMs = 200;

} // namespace

struct DOSOutputs::Private {
    runner::CapturedText captured;
    runner::PidReaper reaper;
    int reapTimer = 0;
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

QString DOSOutputs::Outputs() const {
    return d_->captured.Text();
}

QString DOSOutputs::ExecuteCommand(const QString& CommandLine) {
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
    d_->captured.Clear();
    ReadUntilBroken(child.ReadEnd());
    d_->captured.Finish();
    QCoreApplication::processEvents();
    child.CloseReadEnd();
    child.ReapOrHandOver(exitSettleTime);
    ReapLater();
    return d_->captured.Text();
}

void DOSOutputs::ReadUntilBroken(int readEnd) {
    char buffer[readSize];
    int blocks = 0;
    for (;;) {
        const ssize_t count = ::read(readEnd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        const QStringView text = d_->captured.Append(QByteArrayView(buffer, count));
        blocks = runner::detail::CountBlock(blocks);
        if (blocks % blocksPerReport == 0) {
            Report(text);
        }
    }
}

void DOSOutputs::Report(QStringView blockText) {
    // A copy: the listener may start another read into the buffer the view points to.
    const QString text = blockText.toString();
    if (levels_->logNoneSelected()) {
        emit ReceiveOutputs(QStringLiteral("."));
    }
    if (levels_->logDefaultOrVerboseSelected()) {
        emit ReceiveOutputs(text);
    }
    QCoreApplication::processEvents();
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
