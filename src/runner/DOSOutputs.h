#pragma once

#include "runner/CapturedOutput.h"
#include "runner/RunEnding.h"

#include <QObject>
#include <QString>

#include <memory>

namespace runner {
class ChildProcess;
}

// What the runner asks of its window at every reporting point: the live state of the
// three log-level options.
class LogLevelView {
public:
    virtual ~LogLevelView() = default;
    virtual bool logNoneSelected() const = 0;
    virtual bool logDefaultOrVerboseSelected() const = 0;
};

// Runs one console command line as a child process whose standard output and standard
// error share one pipe, keeps everything it writes, and hands samples of it to the
// listener of ReceiveOutputs while it runs.
//
// The command line is split by the Windows command-line rules (see
// platform/CommandLineRules.h) and started from that argument list, never through a
// shell. The child starts in the process's current folder, in a process group of its
// own, with /dev/null as its standard input.
//
// Output is read 256 bytes at a time and kept as bytes (see platform/SpillingBytes.h: past a
// few megabytes in an unlinked temporary file), decoded as UTF-8 only when asked for.
// At every 50th non-empty read the runner asks the LogLevelView and raises "." when
// None is selected, then that read's text when Default or Verbose is selected, then
// processes pending events. Nothing else of the output reaches the listener. A character
// split between two reads belongs to the read that completes it.
//
// While waiting for output the runner also processes pending events whenever 50 ms have
// passed since it last did, so the window stays responsive; only the reporting points
// read the log level or raise events.
//
// The runner never waits for the child's exit: the run ends with its output. The child,
// which exits right after closing its output, is reaped then and its ending recorded; a
// child still running a moment after its output has closed is reaped later without
// blocking, and its ending is Unknown.
class DOSOutputs : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString CommandLine READ CommandLine WRITE setCommandLine)

public:
    // levels must outlive the runner; it is read only at reporting points.
    explicit DOSOutputs(const LogLevelView* levels, QObject* parent = nullptr);
    // Not while ExecuteCommand runs: end the run with Terminate and let it return first.
    ~DOSOutputs() override;

    QString CommandLine() const;
    void setCommandLine(const QString& DOSCommand);

    // Everything read from the pipe during the last call that started a child.
    CapturedOutput Outputs() const;

    // How the child of the last call ended; NotStarted after a start failure.
    RunEnding Ending() const;

    // The text read after the last reporting point of the last call that started a
    // child (all of it when there was none): what the listener has not been shown.
    QString UnreportedOutput() const;

    // A non-empty argument replaces the stored command line first (for good, even if the
    // run then fails). Runs the stored line and returns once every holder of the pipe's
    // write end has closed it. Returns the captured output, or empty output after one of
    // the three start failures, each reported in a critical message box:
    // "Command Line empty", "CreatePipe failed. Error: <errno>", "File or command not
    // found" (also for a program that exists but cannot be executed).
    // Connect to ReceiveOutputs with a direct connection: each emit runs its listener to
    // the end before the runner goes on. Throws Failure when the block count overflows.
    CapturedOutput ExecuteCommand(const QString& CommandLine = QString());

    // True from the child's start until its output has closed. Meant for callers that run
    // inside the event processing of a run (e.g. a window being closed).
    bool IsRunning() const;

    // Ends the running command: SIGTERM to the child's whole process group, SIGKILL to it
    // if the output is still open 2 s later. ExecuteCommand then returns as usual with
    // what was captured; whatever of the group still runs then is killed. Does nothing
    // when no command runs or when already called for this run.
    void Terminate();

    // True when the last ExecuteCommand call ended through Terminate.
    bool WasTerminated() const;

signals:
    void ReceiveOutputs(const QString& CommandOutputs);

private:
    struct Private;

    void timerEvent(QTimerEvent* event) override;

    void Collect(runner::ChildProcess& child);
    void ReadUntilBroken(int readEnd);
    void TakeBlock(QByteArrayView block, int& counted);
    void Report(qsizetype blockSize);
    static qsizetype CharacterStart(const CapturedOutput& output, qsizetype at);
    void WaitForData(int readEnd);
    void KeepUp();
    void ProcessEvents();
    void ReapLater();

    const LogLevelView* levels_;
    QString commandLine_;
    std::unique_ptr<Private> d_;
};
