#include "RunnerHarness.h"

#include <QTemporaryDir>

using namespace runnertest;

Q_DECLARE_METATYPE(RunEnding)

namespace {

// The stand-in's STANDIN_FAST_BYTES text: 64-byte lines of '!' onwards.
QString fastText(qsizetype size) {
    QString line;
    for (int i = 0; i < 64; ++i) {
        line += i == 63 ? QChar(u'\n') : QChar(u'!' + i);
    }
    return line.repeated(size / 64 + 1).left(size);
}

} // namespace

// How a run ended, and output too large for memory. (What of the output was never reported:
// the window's closing box, test_window_runs.)
class TestRunnerEndings : public QObject {
    Q_OBJECT
private slots:
    void endings_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<Variables>("tool");
        QTest::addColumn<RunEnding>("ending");
        QTest::addColumn<QStringList>("messages");
        const QString tool = standinLine();
        QTest::newRow("success") << tool << Variables{} << RunEnding{RunEnding::Exited, 0}
                                 << QStringList{};
        // An exit status or a signal: the window's closing box (test_window_runs).
        QTest::newRow("still running when its output closed")
            << tool << Variables{{"STANDIN_CLOSE_EARLY_MS", "500"}, {"STANDIN_EXIT", "3"}}
            << RunEnding{RunEnding::Unknown, 0} << QStringList{};
        QTest::newRow("not started")
            << QStringLiteral("/nonexistent/untrunc-w") << Variables{}
            << RunEnding{RunEnding::NotStarted, 0} << QStringList{"File or command not found"};
    }

    void endings() {
        QFETCH(QString, line);
        QFETCH(Variables, tool);
        QFETCH(RunEnding, ending);
        Levels levels;
        DOSOutputs runner(&levels);
        {
            const ScopedEnvironment earlier({{"STANDIN_EXIT", "7"}});
            runner.ExecuteCommand(standinLine());
        }
        QCOMPARE(runner.Ending().kind, RunEnding::Exited);
        QCOMPARE(runner.Ending().code, 7);
        const ScopedEnvironment environment(tool);
        MessageRecorder messages;
        runner.ExecuteCommand(line);
        // The earlier run's ending does not linger.
        QCOMPARE(runner.Ending().kind, ending.kind);
        QCOMPARE(runner.Ending().code, ending.code);
        QTEST(messages.texts(), "messages");
    }

    // Past a few megabytes the output goes to a temporary file that has no name in the
    // temporary folder; all of it still comes back. The next run reuses the store and sees
    // nothing of it, and a run's value keeps its text after the run after it.
    void largeOutputKeptWholeOutsideMemory() {
        QTemporaryDir temporary;
        const qsizetype size = 9 * 1024 * 1024 + 7;
        const ScopedEnvironment tmpdir({{"TMPDIR", QFile::encodeName(temporary.path())}});
        Levels levels(Level::Verbose);
        DOSOutputs runner(&levels);
        bool folderEmptyDuringRun = true;
        Listener listener(runner);
        listener.also = [&](const QString&) {
            folderEmptyDuringRun =
                folderEmptyDuringRun &&
                QDir(temporary.path())
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        auto run = [&](const QByteArray& variable, const QByteArray& value) {
            const ScopedEnvironment env({{variable, value}});
            return runner.ExecuteCommand(standinLine());
        };
        QCOMPARE(run("STANDIN_FAST_BYTES", QByteArray::number(size)).Text(), fastText(size));
        QVERIFY(listener.events.size() > 700);
        QVERIFY(folderEmptyDuringRun);
        const CapturedOutput second = run("STANDIN_BLOCKS", "2");
        run("STANDIN_BLOCKS", "1");
        QCOMPARE(second.Text(), standinBlocks(1, 2));
        QCOMPARE(runner.Outputs().Text(), standinBlocks(1, 1));
    }
};

QTEST_GUILESS_MAIN(TestRunnerEndings)
#include "test_runnerendings.moc"
