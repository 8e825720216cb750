#include "ProcessProbe.h"
#include "RunnerHarness.h"
#include "StandinFormat.h"
#include "platform/CommandLineRules.h"
#include "platform/MessageBox.h"
#include "runner/DOSOutputs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <functional>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace runnertest;

namespace {

struct Message {
    QString text;
    MessageIcon icon;
};

// Each entry "NAME=value".
void setEnvironment(const QByteArrayList& environment) {
    for (const QByteArray& entry : environment) {
        const qsizetype equals = entry.indexOf('=');
        qputenv(entry.left(equals).constData(), entry.mid(equals + 1));
    }
}

// Whether no process of the group is left, zombies included. Orphans that came to this
// process are reaped here (init does that outside tests); the group's leader is not: it
// is the runner's to reap.
bool groupGone(pid_t group) {
    for (const probe::Process& child : probe::Children()) {
        if (child.pid != group && child.state == 'Z') {
            ::waitpid(child.pid, nullptr, WNOHANG);
        }
    }
    return ::kill(-group, 0) == -1 && errno == ESRCH;
}

QStringList readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {QStringLiteral("<no file %1>").arg(path)};
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

} // namespace

class TestDOSOutputs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reports_data();
    void reports();
    void counterStartsAtZeroInEveryRun();
    void levelSwitchTakesEffectAtNextReport_data();
    void levelSwitchTakesEffectAtNextReport();
    void argumentReplacesCommandLine_data();
    void argumentReplacesCommandLine();
    void emptyArgumentRunsStoredLine();
    void startFailures_data();
    void startFailures();
    void pipeFailure();
    void argumentsArriveAsSplit_data();
    void argumentsArriveAsSplit();
    void stdoutAndStderrBothCaptured();
    void grandchildOutputKept();
    void utf8_data();
    void utf8();
    void childRunsInCurrentFolder();
    void nothingLeftAfterRun_data();
    void nothingLeftAfterRun();
    void childStillRunningIsReapedLater();
    void eventsProcessedWhileQuiet_data();
    void eventsProcessedWhileQuiet();
    void terminateEndsRun_data();
    void terminateEndsRun();
    void terminateFromListener();

private:
    void previousRun(DOSOutputs& runner);

    QList<Message> messages_;
    QTemporaryDir scratch_;
};

void TestDOSOutputs::initTestCase() {
    QVERIFY(scratch_.isValid());
    QVERIFY(QFile::exists(standinPath()));
    // Orphaned grandchildren come to this process, so that the check after each test
    // sees every process a run left behind.
    QCOMPARE(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
}

void TestDOSOutputs::init() {
    messages_.clear();
    SetMessageHandler([this](const QString& text, MessageIcon icon) {
        messages_.append({text, icon});
    });
}

void TestDOSOutputs::cleanup() {
    SetMessageHandler({});
    for (const char* name : standinVariables) {
        qunsetenv(name);
    }
    // A process that has just closed its output may need a moment to end.
    QList<pid_t> running;
    QDeadlineTimer grace(2000);
    do {
        running.clear();
        for (const probe::Process& child : probe::Children()) {
            if (child.state == 'Z') {
                ::waitpid(child.pid, nullptr, WNOHANG);
            } else {
                running.append(child.pid);
            }
        }
    } while (!running.isEmpty() && !grace.hasExpired() && (QThread::msleep(10), true));
    for (const pid_t pid : running) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    QVERIFY2(running.isEmpty(), "a process of the run was still running at the end of the test");
}

// A run that leaves known text in Outputs, for tests that check it is kept.
void TestDOSOutputs::previousRun(DOSOutputs& runner) {
    qputenv("STANDIN_BLOCKS", "2");
    QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), blocks(1, 2));
    qunsetenv("STANDIN_BLOCKS");
}

void TestDOSOutputs::reports_data() {
    QTest::addColumn<int>("blockCount");
    QTest::addColumn<Level>("level");
    QTest::addColumn<QStringList>("events");

    const struct {
        const char* name;
        Level level;
    } levels[] = {{"None", Level::None}, {"Default", Level::Default}, {"Verbose", Level::Verbose}};
    for (const auto& [name, level] : levels) {
        const bool dots = level == Level::None;
        const QString dot = QStringLiteral(".");
        QTest::addRow("0 blocks, %s", name) << 0 << level << QStringList{};
        QTest::addRow("49 blocks, %s", name) << 49 << level << QStringList{};
        QTest::addRow("50 blocks, %s", name) << 50 << level << QStringList{dots ? dot : block(50)};
        QTest::addRow("120 blocks, %s", name)
            << 120 << level << (dots ? QStringList{dot, dot} : QStringList{block(50), block(100)});
    }
}

void TestDOSOutputs::reports() {
    QFETCH(int, blockCount);
    QFETCH(Level, level);
    QFETCH(QStringList, events);
    Levels levels;
    levels.level = level;
    DOSOutputs runner(&levels);
    Listener listener(runner);
    qputenv("STANDIN_BLOCKS", QByteArray::number(blockCount));

    const QString result = runner.ExecuteCommand(standinLine());

    QCOMPARE(listener.events, events);
    QCOMPARE(result, blocks(1, blockCount));
    QCOMPARE(runner.Outputs().Text(), result);
    // The options are looked at only at reporting points.
    QCOMPARE(levels.noneReads, blockCount / 50);
    QCOMPARE(levels.defaultOrVerboseReads, blockCount / 50);
    QVERIFY(messages_.isEmpty());
}

void TestDOSOutputs::counterStartsAtZeroInEveryRun() {
    Levels levels;
    DOSOutputs runner(&levels);
    Listener listener(runner);
    qputenv("STANDIN_BLOCKS", "30");
    QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), blocks(1, 30));
    QCOMPARE(runner.ExecuteCommand().Text(), blocks(1, 30));
    QCOMPARE(listener.events, QStringList{});
}

void TestDOSOutputs::levelSwitchTakesEffectAtNextReport_data() {
    QTest::addColumn<Level>("before");
    QTest::addColumn<Level>("after");
    QTest::addColumn<QStringList>("events");
    const QString dot = QStringLiteral(".");
    QTest::newRow("Default to None")
        << Level::Default << Level::None << QStringList{block(50), dot};
    QTest::newRow("Verbose to Default")
        << Level::Verbose << Level::Default << QStringList{block(50), block(100)};
    // The second option is read after the "." has been handled.
    QTest::newRow("None to Verbose")
        << Level::None << Level::Verbose << QStringList{dot, block(50), block(100)};
}

void TestDOSOutputs::levelSwitchTakesEffectAtNextReport() {
    QFETCH(Level, before);
    QFETCH(Level, after);
    QFETCH(QStringList, events);
    Levels levels;
    levels.level = before;
    DOSOutputs runner(&levels);
    Listener listener(runner);
    listener.also = [&](const QString&) { levels.level = after; };
    qputenv("STANDIN_BLOCKS", "100");

    QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), blocks(1, 100));
    QCOMPARE(listener.events, events);
}

void TestDOSOutputs::argumentReplacesCommandLine_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("starts");
    QTest::newRow("run that starts") << standinLine(QStringLiteral(" ref.mp4 broken.mp4")) << true;
    QTest::newRow("run that fails")
        << QStringLiteral("/nonexistent/untrunc-w ref.mp4 broken.mp4") << false;
}

void TestDOSOutputs::argumentReplacesCommandLine() {
    QFETCH(QString, argument);
    QFETCH(bool, starts);
    Levels levels;
    DOSOutputs runner(&levels);
    runner.setCommandLine(QStringLiteral("stored line"));
    runner.ExecuteCommand(argument);
    QCOMPARE(runner.CommandLine(), argument);
    QCOMPARE(messages_.isEmpty(), starts);
}

void TestDOSOutputs::emptyArgumentRunsStoredLine() {
    Levels levels;
    DOSOutputs runner(&levels);
    const QString argvFile = scratch_.filePath(QStringLiteral("stored.argv"));
    qputenv("STANDIN_RECORD_ARGV", argvFile.toUtf8());
    qputenv("STANDIN_BLOCKS", "1");
    runner.setCommandLine(standinLine(QStringLiteral(" --gopm 5 ref.mp4 broken.mp4")));

    QCOMPARE(runner.ExecuteCommand().Text(), block(1));
    QCOMPARE(readLines(argvFile),
             (QStringList{standinPath(), "--gopm", "5", "ref.mp4", "broken.mp4"}));
    QVERIFY(messages_.isEmpty());
}

void TestDOSOutputs::startFailures_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");
    const QString notFound = QStringLiteral("File or command not found");
    QTest::newRow("no command line") << QString() << QStringLiteral("Command Line empty");
    QTest::newRow("blanks only") << QStringLiteral("   \t ") << notFound;
    QTest::newRow("missing program") << QStringLiteral("/nonexistent/untrunc-w a b") << notFound;
    QTest::newRow("program not on PATH") << QStringLiteral("kestrel-no-such-tool-x9 a") << notFound;
    QTest::newRow("file without execute bit") << QStringLiteral("<plain file>") << notFound;
    QTest::newRow("folder") << QStringLiteral("<folder>") << notFound;
}

void TestDOSOutputs::startFailures() {
    QFETCH(QString, line);
    QFETCH(QString, message);
    if (line == QStringLiteral("<plain file>")) {
        line = scratch_.filePath(QStringLiteral("plain.txt"));
        QFile file(line);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho hello\n");
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    } else if (line == QStringLiteral("<folder>")) {
        line = scratch_.path();
    }
    Levels levels;
    DOSOutputs runner(&levels);
    Listener listener(runner);
    previousRun(runner);
    listener.events.clear();
    runner.setCommandLine(QString());

    QCOMPARE(runner.ExecuteCommand(line).Text(), QString());

    QCOMPARE(messages_.size(), 1);
    QCOMPARE(messages_[0].text, message);
    QCOMPARE(messages_[0].icon, MessageIcon::Critical);
    QCOMPARE(runner.Outputs().Text(), blocks(1, 2));
    QCOMPARE(listener.events, QStringList{});
}

void TestDOSOutputs::pipeFailure() {
    Levels levels;
    DOSOutputs runner(&levels);
    previousRun(runner);
    rlimit original{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit lowered = original;
    lowered.rlim_cur = static_cast<rlim_t>(probe::OpenDescriptorCount()) + 16;
    if (setrlimit(RLIMIT_NOFILE, &lowered) != 0) {
        QSKIP("cannot lower the descriptor limit here");
    }
    // Use up every descriptor left, so that the pipe cannot be made.
    QList<int> fillers;
    for (int fd = ::dup(STDIN_FILENO); fd >= 0; fd = ::dup(STDIN_FILENO)) {
        fillers.append(fd);
    }
    const int dupError = errno;
    const QString result = runner.ExecuteCommand(standinLine());
    for (const int fd : fillers) {
        ::close(fd);
    }
    QCOMPARE(setrlimit(RLIMIT_NOFILE, &original), 0);

    QCOMPARE(dupError, EMFILE);
    QCOMPARE(result, QString());
    QCOMPARE(messages_.size(), 1);
    QCOMPARE(messages_[0].text, QStringLiteral("CreatePipe failed. Error: %1").arg(EMFILE));
    QCOMPARE(messages_[0].icon, MessageIcon::Critical);
    QCOMPARE(runner.Outputs().Text(), blocks(1, 2));
    QCOMPARE(runner.CommandLine(), standinLine());
}

void TestDOSOutputs::argumentsArriveAsSplit_data() {
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QStringList>("received");
    QTest::newRow("options then two paths")
        << QStringLiteral(" --smpltrk 0 --uverbose /v/ref.mp4 /v/broken.mp4")
        << QStringList{"--smpltrk", "0", "--uverbose", "/v/ref.mp4", "/v/broken.mp4"};
    QTest::newRow("quoted paths with blanks")
        << QStringLiteral(R"( --gopm 3 "/my videos/ref 1.mp4" "/my videos/broken 1.mp4")")
        << QStringList{"--gopm", "3", "/my videos/ref 1.mp4", "/my videos/broken 1.mp4"};
    QTest::newRow("non-ASCII path")
        << QStringLiteral(R"( "/tmp/Ferien Ä/вид.mp4")") << QStringList{"/tmp/Ferien Ä/вид.mp4"};
    QTest::newRow("shell characters stay literal")
        << QStringLiteral(" $HOME;echo 'x' *.mp4 >out")
        << QStringList{"$HOME;echo", "'x'", "*.mp4", ">out"};
}

void TestDOSOutputs::argumentsArriveAsSplit() {
    QFETCH(QString, arguments);
    QFETCH(QStringList, received);
    // The program itself sits in a folder with blanks and has a blank in its name.
    const QString folder = scratch_.filePath(QStringLiteral("tool folder"));
    const QString program = folder + QStringLiteral("/untrunc w");
    if (!QFile::exists(program)) {
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(standinPath(), program));
    }
    const QString argvFile = scratch_.filePath(QStringLiteral("split.argv"));
    qputenv("STANDIN_RECORD_ARGV", argvFile.toUtf8());
    Levels levels;
    DOSOutputs runner(&levels);

    runner.ExecuteCommand(QStringLiteral("\"%1\"").arg(program) + arguments);

    QVERIFY(messages_.isEmpty());
    QCOMPARE(readLines(argvFile), QStringList{program} + received);
}

void TestDOSOutputs::stdoutAndStderrBothCaptured() {
    Levels levels;
    DOSOutputs runner(&levels);
    Listener listener(runner);
    qputenv("STANDIN_BLOCKS", "100");
    qputenv("STANDIN_ALTERNATE", "1");
    QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), blocks(1, 100));
    QCOMPARE(listener.events, (QStringList{block(50), block(100)}));
}

void TestDOSOutputs::grandchildOutputKept() {
    Levels levels;
    DOSOutputs runner(&levels);
    qputenv("STANDIN_BLOCKS", "1");
    qputenv("STANDIN_GRANDCHILD_MS", "300");
    QCOMPARE(runner.ExecuteCommand(standinLine()).Text(),
             block(1) + QString::fromLatin1(standin::grandchildLine));
}

void TestDOSOutputs::utf8_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QByteArray fill(255, 'a');
    const QString fillText(255, u'a');
    QTest::newRow("2-byte character across the first read")
        << fill + "\xc3\xa9" + "z" << fillText + QStringLiteral("éz");
    QTest::newRow("3-byte character across two reads")
        << fill + "a\xe2\x82\xac" << fillText + QStringLiteral("a€");
    QTest::newRow("4-byte character across the second read")
        << fill + "\xf0\x9f\x8e\xac" << fillText + QStringLiteral("🎬");
    QTest::newRow("characters across three reads")
        << fill + "\xc3\xa9" + QByteArray(253, 'b') + "\xe2\x82\xac" + QByteArray(254, 'c') +
               "\xc3\xa9"
        << fillText + u'é' + QString(253, u'b') + u'€' + QString(254, u'c') + u'é';
    QTest::newRow("invalid byte") << QByteArray("ok \xff ok") << QStringLiteral("ok \uFFFD ok");
    QTest::newRow("invalid byte at a read's end")
        << fill + "\xff" + "next" << fillText + QStringLiteral("\uFFFDnext");
    QTest::newRow("cut-off character at the end")
        << QByteArray("end \xe2\x82") << QStringLiteral("end \uFFFD");
    QTest::newRow("byte order mark kept")
        << QByteArray("\xef\xbb\xbfhead") << QStringLiteral("\uFEFFhead");
    QTest::newRow("NUL byte kept") << QByteArray("a\0b", 3) << QString::fromUtf16(u"a\0b", 3);
}

void TestDOSOutputs::utf8() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    qputenv("STANDIN_HEX", bytes.toHex());
    Levels levels;
    DOSOutputs runner(&levels);
    QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), text);
    QCOMPARE(runner.Outputs().Text(), text);
}

void TestDOSOutputs::childRunsInCurrentFolder() {
    const QString folder = scratch_.filePath(QStringLiteral("current folder"));
    QVERIFY(QDir().mkpath(folder));
    const QString cwdFile = scratch_.filePath(QStringLiteral("cwd.txt"));
    qputenv("STANDIN_RECORD_CWD", cwdFile.toUtf8());
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder));
    Levels levels;
    DOSOutputs runner(&levels);
    runner.ExecuteCommand(standinLine());
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(readLines(cwdFile), QStringList{QDir(folder).canonicalPath()});
}

void TestDOSOutputs::nothingLeftAfterRun_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("blockCount");
    QTest::newRow("run with output") << standinLine() << QByteArray("120");
    QTest::newRow("silent run") << standinLine() << QByteArray("0");
    QTest::newRow("start failure") << QStringLiteral("/nonexistent/tool") << QByteArray("0");
}

void TestDOSOutputs::nothingLeftAfterRun() {
    QFETCH(QString, line);
    QFETCH(QByteArray, blockCount);
    qputenv("STANDIN_BLOCKS", blockCount);
    Levels levels;
    DOSOutputs runner(&levels);
    const int descriptors = probe::OpenDescriptorCount();
    for (int run = 0; run < 3; ++run) {
        runner.ExecuteCommand(line);
        QCOMPARE(probe::OpenDescriptorCount(), descriptors);
        QCOMPARE(probe::Children().size(), size_t{0});
    }
}

void TestDOSOutputs::childStillRunningIsReapedLater() {
    qputenv("STANDIN_BLOCKS", "3");
    qputenv("STANDIN_CLOSE_EARLY_MS", "300");
    Levels levels;
    DOSOutputs runner(&levels);
    QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), blocks(1, 3));
    // The run ends with the output; the tool goes on, and is reaped once it has ended.
    QCOMPARE(probe::Children().size(), size_t{1});
    QTRY_COMPARE_WITH_TIMEOUT(probe::Children().size(), size_t{0}, 5000);
}

void TestDOSOutputs::eventsProcessedWhileQuiet_data() {
    QTest::addColumn<QByteArrayList>("environment");
    QTest::addColumn<int>("blockCount");
    QTest::newRow("silent for 1 s")
        << QByteArrayList{"STANDIN_SILENT_MS=1000", "STANDIN_BLOCKS=1"} << 1;
    QTest::newRow("slow blocks, no reporting point")
        << QByteArrayList{"STANDIN_BLOCKS=10", "STANDIN_PAUSE_MS=100"} << 10;
}

void TestDOSOutputs::eventsProcessedWhileQuiet() {
    QFETCH(QByteArrayList, environment);
    QFETCH(int, blockCount);
    setEnvironment(environment);
    Levels levels;
    DOSOutputs runner(&levels);
    Listener listener(runner);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
    timer.start();

    QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), blocks(1, blockCount));

    QVERIFY2(ticks >= 5, qPrintable(QStringLiteral("only %1 timer ticks in 1 s").arg(ticks)));
    // Event processing alone reports nothing and reads no option.
    QCOMPARE(listener.events, QStringList{});
    QCOMPARE(levels.noneReads, 0);
}

void TestDOSOutputs::terminateEndsRun_data() {
    QTest::addColumn<QByteArrayList>("environment");
    QTest::addColumn<int>("minimumMs");
    QTest::addColumn<int>("maximumMs");
    QTest::newRow("tool sleeping") << QByteArrayList{"STANDIN_SLEEP_FOREVER=1"} << 0 << 1900;
    QTest::newRow("grandchild holding the output")
        << QByteArrayList{"STANDIN_GRANDCHILD_MS=60000"} << 0 << 1900;
    QTest::newRow("tool ignoring SIGTERM")
        << QByteArrayList{"STANDIN_IGNORE_TERM=1", "STANDIN_SLEEP_FOREVER=1"} << 2000 << 6000;
    // The grandchild ends on SIGTERM and so breaks the pipe; the tool must not outlive it.
    QTest::newRow("tool ignoring SIGTERM with its output closed")
        << QByteArrayList{"STANDIN_IGNORE_TERM=1", "STANDIN_CLOSE_EARLY_MS=60000",
                          "STANDIN_GRANDCHILD_MS=60000"}
        << 0 << 1900;
}

void TestDOSOutputs::terminateEndsRun() {
    QFETCH(QByteArrayList, environment);
    QFETCH(int, minimumMs);
    QFETCH(int, maximumMs);
    const QString pidFile = scratch_.filePath(QStringLiteral("terminate.pid"));
    setEnvironment(environment);
    qputenv("STANDIN_BLOCKS", "3");
    qputenv("STANDIN_RECORD_PID", pidFile.toUtf8());
    Levels levels;
    DOSOutputs runner(&levels);
    QVERIFY(!runner.IsRunning());
    bool runningWhenTerminated = false;
    QElapsedTimer sinceTerminate;
    QTimer::singleShot(300, this, [&] {
        runningWhenTerminated = runner.IsRunning();
        sinceTerminate.start();
        runner.Terminate();
    });

    const QString result = runner.ExecuteCommand(standinLine());
    const qint64 tookMs = sinceTerminate.elapsed();

    QVERIFY(runningWhenTerminated);
    QVERIFY(!runner.IsRunning());
    QVERIFY(runner.WasTerminated());
    QCOMPARE(result, blocks(1, 3));
    QVERIFY2(tookMs >= minimumMs && tookMs <= maximumMs,
             qPrintable(QStringLiteral("run ended %1 ms after Terminate").arg(tookMs)));
    const QStringList pids = readLines(pidFile);
    QVERIFY(!pids.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(groupGone(pids[0].toInt()), 5000);

    // The next run starts afresh.
    for (const char* name : standinVariables) {
        qunsetenv(name);
    }
    runner.ExecuteCommand();
    QVERIFY(!runner.WasTerminated());
}

void TestDOSOutputs::terminateFromListener() {
    const int written = 1'000'000;
    qputenv("STANDIN_BLOCKS", QByteArray::number(written));
    Levels levels;
    DOSOutputs runner(&levels);
    Listener listener(runner);
    listener.also = [&](const QString&) { runner.Terminate(); };

    const QString result = runner.ExecuteCommand(standinLine());

    QVERIFY(runner.WasTerminated());
    QVERIFY(result.startsWith(blocks(1, 50)));
    QVERIFY(result.size() < qsizetype{written} * 256);
    QCOMPARE(listener.events.first(), block(50));
}

QTEST_GUILESS_MAIN(TestDOSOutputs)
#include "test_dosoutputs.moc"
