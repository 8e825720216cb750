#include "RunnerHarness.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>

using namespace runnertest;

namespace {

// Whether no process of the group is left, zombies included. Orphans that came to this
// process are reaped here (init does that outside tests); the group's leader is not: it
// is the runner's to reap.
bool groupGone(pid_t group) {
    for (const Process& child : Children()) {
        if (child.pid != group && child.state == 'Z') {
            ::waitpid(child.pid, nullptr, WNOHANG);
        }
    }
    return ::kill(-group, 0) == -1 && errno == ESRCH;
}

int openDescriptorCount() {
    return int(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

} // namespace

// The runner with the stand-in tool: what it reports while the tool runs, what it keeps,
// how it starts the tool and how it stops it.
class TestDOSOutputs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Orphaned grandchildren come to this process, so that the check after each test
        // sees every process a run left behind.
        QCOMPARE(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    }

    void cleanup() {
        messages_.shown.clear();
        // A process that has just closed its output may need a moment to end.
        QList<pid_t> running;
        QDeadlineTimer grace(2000);
        do {
            running.clear();
            for (const Process& child : Children()) {
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
        QVERIFY2(running.isEmpty(),
                 "a process of the run was still running at the end of the test");
    }

    void reports_data() {
        QTest::addColumn<Variables>("tool");
        QTest::addColumn<Level>("level");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("output");
        const QString dot = QStringLiteral(".");
        const QStringList blocks50and100{block(50), block(100)};
        // The runner tells Default from Verbose not at all.
        const QList<std::pair<const char*, Level>> levels{{"None", Level::None},
                                                          {"Default", Level::Default}};
        for (const auto& [name, level] : levels) {
            const bool dots = level == Level::None;
            QTest::addRow("0 blocks, %s", name) << Variables{} << level << QStringList{} << "";
            QTest::addRow("49 blocks, %s", name) << Variables{{"STANDIN_BLOCKS", "49"}} << level
                                                 << QStringList{} << standinBlocks(1, 49);
            QTest::addRow("120 blocks, %s", name)
                << Variables{{"STANDIN_BLOCKS", "120"}} << level
                << (dots ? QStringList{dot, dot} : blocks50and100) << standinBlocks(1, 120);
        }
        QTest::newRow("standard error counts too")
            << Variables{{"STANDIN_BLOCKS", "100"}, {"STANDIN_ALTERNATE", "1"}} << Level::Default
            << blocks50and100 << standinBlocks(1, 100);
        QTest::newRow("a grandchild's output after the tool ended")
            << Variables{{"STANDIN_BLOCKS", "1"}, {"STANDIN_GRANDCHILD_MS", "300"}}
            << Level::Default << QStringList{}
            << block(1) + QString::fromLatin1(standin::grandchildLine);
    }

    // Every run counts blocks afresh: the second run reports as the first did.
    void reports() {
        QFETCH(Variables, tool);
        QFETCH(QStringList, events);
        QFETCH(QString, output);
        const ScopedEnvironment env(tool);
        QFETCH(Level, level);
        Levels levels(level);
        DOSOutputs runner(&levels);
        Listener listener(runner);
        for (int run = 1; run <= 2; ++run) {
            QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), output);
            QCOMPARE(runner.Outputs().Text(), output);
        }
        QCOMPARE(listener.events, events + events);
        // The options are looked at only at reporting points.
        QCOMPARE(levels.reads, 2 * events.size());
        QVERIFY(messages_.shown.isEmpty());
    }

    void levelSwitchTakesEffectAtNextReport_data() {
        QTest::addColumn<Level>("before");
        QTest::addColumn<Level>("after");
        QTest::addColumn<QStringList>("events");
        const QString dot = QStringLiteral(".");
        QTest::newRow("Default to None")
            << Level::Default << Level::None << QStringList{block(50), dot};
        // The second option is read after the "." has been handled.
        QTest::newRow("None to Verbose")
            << Level::None << Level::Verbose << QStringList{dot, block(50), block(100)};
    }

    void levelSwitchTakesEffectAtNextReport() {
        QFETCH(Level, before);
        QFETCH(Level, after);
        const ScopedEnvironment env({{"STANDIN_BLOCKS", "100"}});
        Levels levels(before);
        DOSOutputs runner(&levels);
        Listener listener(runner);
        listener.also = [&](const QString&) { levels.level = after; };
        QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), standinBlocks(1, 100));
        QTEST(listener.events, "events");
    }

    void startFailures_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("message");
        // The window's line always starts with the tool's full path in its own folder.
        const QString notFound = QStringLiteral("File or command not found");
        QTest::newRow("missing program")
            << QStringLiteral("/nonexistent/untrunc-w a b") << notFound;
        QTest::newRow("file without execute bit") << QStringLiteral("<plain file>") << notFound;
    }

    // Nothing runs, the one box says why, and the last run's output is kept.
    void startFailures() {
        QFETCH(QString, line);
        QFETCH(QString, message);
        if (line == QStringLiteral("<plain file>")) {
            line = scratch_.filePath(QStringLiteral("plain.txt"));
            writeFile(line, "#!/bin/sh\necho hello\n");
        }
        Levels levels;
        DOSOutputs runner(&levels);
        Listener listener(runner);
        {
            const ScopedEnvironment env({{"STANDIN_BLOCKS", "2"}});
            runner.ExecuteCommand(standinLine());
        }
        runner.setCommandLine(QString());
        QCOMPARE(runner.ExecuteCommand(line).Text(), QString());
        QCOMPARE(messages_.texts(), QStringList{message});
        QCOMPARE(messages_.shown[0].icon, MessageIcon::Critical);
        QCOMPARE(runner.Outputs().Text(), standinBlocks(1, 2));
        QCOMPARE(listener.events, QStringList{});
    }

    void argumentsArriveAsSplit_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QStringList>("received");
        QTest::newRow("quoted paths with blanks")
            << QStringLiteral(R"( --gopm 3 "/my videos/ref 1.mp4" "/my videos/broken 1.mp4")")
            << QStringList{"--gopm", "3", "/my videos/ref 1.mp4", "/my videos/broken 1.mp4"};
        QTest::newRow("non-ASCII path") << QStringLiteral(R"( "/tmp/Ferien Ä/вид.mp4")")
                                        << QStringList{"/tmp/Ferien Ä/вид.mp4"};
        QTest::newRow("shell characters stay literal")
            << QStringLiteral(" $HOME;echo 'x' *.mp4 >out")
            << QStringList{"$HOME;echo", "'x'", "*.mp4", ">out"};
    }

    void argumentsArriveAsSplit() {
        QFETCH(QString, arguments);
        QFETCH(QStringList, received);
        // The program itself sits in a folder with blanks and has a blank in its name.
        const QString program = scratch_.filePath(QStringLiteral("tool folder/untrunc w"));
        QDir().mkpath(scratch_.filePath(QStringLiteral("tool folder")));
        QFile::copy(standinPath(), program);
        const QString argvFile = scratch_.filePath(QStringLiteral("split.argv"));
        const ScopedEnvironment env({{"STANDIN_RECORD_ARGV", argvFile.toUtf8()}});
        Levels levels;
        DOSOutputs runner(&levels);
        runner.ExecuteCommand(QStringLiteral("\"%1\"").arg(program) + arguments);
        QVERIFY(messages_.shown.isEmpty());
        QCOMPARE(readLines(argvFile), QStringList{program} + received);
    }

    void utf8_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QByteArray fill(255, 'a');
        const QString fillText(255, u'a');
        QTest::newRow("2-byte character across the first read")
            << fill + "\xc3\xa9" + "z" << fillText + QStringLiteral("éz");
        QTest::newRow("4-byte character across the second read")
            << fill + "\xf0\x9f\x8e\xac" << fillText + QStringLiteral("🎬");
        QTest::newRow("invalid byte at a read's end")
            << fill + "\xff" + "next" << fillText + QStringLiteral("\uFFFDnext");
        QTest::newRow("cut-off character at the end")
            << QByteArray("end \xe2\x82") << QStringLiteral("end \uFFFD");
        QTest::newRow("byte order mark and NUL kept")
            << QByteArray("\xef\xbb\xbf\0b", 5) << QString(QChar(0xFEFF)) + QChar(0) + u'b';
    }

    void utf8() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const ScopedEnvironment env({{"STANDIN_HEX", bytes.toHex()}});
        Levels levels;
        DOSOutputs runner(&levels);
        QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), text);
        QCOMPARE(runner.Outputs().Text(), text);
    }

    void nothingLeftAfterRun_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("run with output") << standinLine();
        QTest::newRow("start failure") << QStringLiteral("/nonexistent/tool");
    }

    // No descriptor and no process is left behind, run after run.
    void nothingLeftAfterRun() {
        QFETCH(QString, line);
        const ScopedEnvironment env({{"STANDIN_BLOCKS", "120"}});
        Levels levels;
        DOSOutputs runner(&levels);
        const int descriptors = openDescriptorCount();
        for (int run = 0; run < 3; ++run) {
            runner.ExecuteCommand(line);
            QCOMPARE(openDescriptorCount(), descriptors);
            QCOMPARE(Children().size(), size_t{0});
        }
    }

    // The run ends with the output; the tool goes on, and is reaped once it has ended.
    void childStillRunningIsReapedLater() {
        // Long enough after closing its output that a busy machine still finds it running.
        const ScopedEnvironment env({{"STANDIN_BLOCKS", "3"}, {"STANDIN_CLOSE_EARLY_MS", "2000"}});
        Levels levels;
        DOSOutputs runner(&levels);
        QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), standinBlocks(1, 3));
        QCOMPARE(Children().size(), size_t{1});
        QTRY_COMPARE_WITH_TIMEOUT(Children().size(), size_t{0}, 10000);
    }

    void terminateEndsRun_data() {
        QTest::addColumn<Variables>("tool");
        QTest::addColumn<int>("minimumMs");
        QTest::addColumn<int>("maximumMs");
        QTest::newRow("tool sleeping") << Variables{{"STANDIN_SLEEP_FOREVER", "1"}} << 0 << 1900;
        QTest::newRow("grandchild holding the output")
            << Variables{{"STANDIN_GRANDCHILD_MS", "60000"}} << 0 << 1900;
        QTest::newRow("tool ignoring SIGTERM")
            << Variables{{"STANDIN_IGNORE_TERM", "1"}, {"STANDIN_SLEEP_FOREVER", "1"}} << 2000
            << 6000;
        // The grandchild ends on SIGTERM and so breaks the pipe; the tool must not outlive it.
        QTest::newRow("tool ignoring SIGTERM with its output closed")
            << Variables{{"STANDIN_IGNORE_TERM", "1"},
                         {"STANDIN_CLOSE_EARLY_MS", "60000"},
                         {"STANDIN_GRANDCHILD_MS", "60000"}}
            << 0 << 1900;
    }

    void terminateEndsRun() {
        QFETCH(Variables, tool);
        QFETCH(int, minimumMs);
        QFETCH(int, maximumMs);
        const QString pidFile = scratch_.filePath(QStringLiteral("terminate.pid"));
        Levels levels;
        DOSOutputs runner(&levels);
        bool runningWhenTerminated = false;
        QElapsedTimer sinceTerminate;
        QTimer::singleShot(600, this, [&] { // the tool has reached its last step by then
            runningWhenTerminated = runner.IsRunning();
            sinceTerminate.start();
            runner.Terminate();
        });
        {
            const ScopedEnvironment env(tool + Variables{{"STANDIN_BLOCKS", "3"},
                                                         {"STANDIN_RECORD_PID", pidFile.toUtf8()}});
            QCOMPARE(runner.ExecuteCommand(standinLine()).Text(), standinBlocks(1, 3));
        }
        const qint64 tookMs = sinceTerminate.elapsed();
        QVERIFY(runningWhenTerminated && !runner.IsRunning() && runner.WasTerminated());
        QVERIFY2(tookMs >= minimumMs && tookMs <= maximumMs,
                 qPrintable(QStringLiteral("run ended %1 ms after Terminate").arg(tookMs)));
        const QStringList pids = readLines(pidFile);
        QVERIFY(!pids.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(groupGone(pids[0].toInt()), 5000);
        runner.ExecuteCommand(); // the next run starts afresh
        QVERIFY(!runner.WasTerminated());
    }

    void terminateFromListener() {
        const int written = 1'000'000;
        const ScopedEnvironment env({{"STANDIN_BLOCKS", QByteArray::number(written)}});
        Levels levels;
        DOSOutputs runner(&levels);
        Listener listener(runner);
        listener.also = [&](const QString&) { runner.Terminate(); };
        const QString result = runner.ExecuteCommand(standinLine());
        QVERIFY(runner.WasTerminated());
        QVERIFY(result.startsWith(standinBlocks(1, 50)));
        QVERIFY(result.size() < qsizetype{written} * 256);
        QCOMPARE(listener.events.first(), block(50));
    }

private:
    QTemporaryDir scratch_;
    MessageRecorder messages_;
};

QTEST_GUILESS_MAIN(TestDOSOutputs)
#include "test_dosoutputs.moc"
