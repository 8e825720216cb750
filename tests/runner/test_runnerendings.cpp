#include "RunnerHarness.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace runnertest;

Q_DECLARE_METATYPE(RunEnding)

namespace {

struct Variable {
    const char* name;
    QByteArray value;
};

class Environment {
public:
    explicit Environment(const QList<Variable>& variables) {
        for (const Variable& v : variables) {
            qputenv(v.name, v.value);
        }
    }
    ~Environment() {
        for (const char* name : standinVariables) {
            qunsetenv(name);
        }
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;
};

// The stand-in's STANDIN_FAST_BYTES text: 64-byte lines of '!' onwards.
QString fastText(qsizetype size) {
    QString line;
    for (int i = 0; i < 64; ++i) {
        line += i == 63 ? QChar(u'\n') : QChar(u'!' + i);
    }
    return line.repeated(size / 64 + 1).left(size);
}

} // namespace

class TestRunnerEndings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void endings_data();
    void endings();
    void unreported_data();
    void unreported();
    void largeOutputKeptWholeOutsideMemory();

private:
    QStringList messages_;
};

void TestRunnerEndings::init() {
    messages_.clear();
    SetMessageHandler([this](const QString& text, MessageIcon) { messages_.append(text); });
}

void TestRunnerEndings::cleanup() {
    SetMessageHandler({});
}

void TestRunnerEndings::endings_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QList<Variable>>("variables");
    QTest::addColumn<RunEnding>("ending");
    QTest::addColumn<QStringList>("messages");
    const QString tool = standinLine();
    QTest::newRow("success") << tool << QList<Variable>{} << RunEnding{RunEnding::Exited, 0}
                             << QStringList{};
    QTest::newRow("status 4 with a reason")
        << tool
        << QList<Variable>{{"STANDIN_REASON", "no media samples found"}, {"STANDIN_EXIT", "4"}}
        << RunEnding{RunEnding::Exited, 4} << QStringList{};
    QTest::newRow("killed by a signal")
        << tool << QList<Variable>{{"STANDIN_BLOCKS", "60"}, {"STANDIN_SIGNAL", "9"}}
        << RunEnding{RunEnding::Signalled, SIGKILL} << QStringList{};
    QTest::newRow("still running when its output closed")
        << tool << QList<Variable>{{"STANDIN_CLOSE_EARLY_MS", "500"}, {"STANDIN_EXIT", "3"}}
        << RunEnding{RunEnding::Unknown, 0} << QStringList{};
    QTest::newRow("not started") << QStringLiteral("/nonexistent/untrunc-w") << QList<Variable>{}
                                 << RunEnding{RunEnding::NotStarted, 0}
                                 << QStringList{"File or command not found"};
}

void TestRunnerEndings::endings() {
    QFETCH(QString, line);
    QFETCH(QList<Variable>, variables);
    QFETCH(RunEnding, ending);
    Levels levels;
    DOSOutputs runner(&levels);
    {
        const Environment earlier(QList<Variable>{{"STANDIN_EXIT", "7"}});
        runner.ExecuteCommand(standinLine());
    }
    QCOMPARE(runner.Ending().kind, RunEnding::Exited);
    QCOMPARE(runner.Ending().code, 7);
    const Environment environment(variables);

    runner.ExecuteCommand(line);

    // The earlier run's ending does not linger.
    QCOMPARE(runner.Ending().kind, ending.kind);
    QCOMPARE(runner.Ending().code, ending.code);
    QTEST(messages_, "messages");
}

void TestRunnerEndings::unreported_data() {
    QTest::addColumn<QList<Variable>>("variables");
    QTest::addColumn<QString>("unreported");
    const QString reason = QStringLiteral("no media samples found");
    // 48 blocks and the reason: 49 reads.
    QTest::newRow("no reporting point: everything")
        << QList<Variable>{{"STANDIN_BLOCKS", "48"}, {"STANDIN_REASON", reason.toUtf8()}}
        << blocks(1, 48) + reason + "\n";
    QTest::newRow("after the last reporting point")
        << QList<Variable>{{"STANDIN_BLOCKS", "120"}} << blocks(101, 120);
    QTest::newRow("ends at a reporting point")
        << QList<Variable>{{"STANDIN_BLOCKS", "100"}} << QString();
    QTest::newRow("reason after a reporting point")
        << QList<Variable>{{"STANDIN_BLOCKS", "100"}, {"STANDIN_REASON", reason.toUtf8()}}
        << reason + "\n";
    QTest::newRow("silent tool") << QList<Variable>{} << QString();
}

void TestRunnerEndings::unreported() {
    QFETCH(QList<Variable>, variables);
    const Environment environment(variables);
    for (const Level level : {Level::None, Level::Verbose}) {
        Levels levels;
        levels.level = level;
        DOSOutputs runner(&levels);
        runner.ExecuteCommand(standinLine());
        QTEST(runner.UnreportedOutput(), "unreported");
    }
}

// Past a few megabytes the output goes to a temporary file that has no name in the
// temporary folder; all of it still comes back, and an earlier run's value keeps its
// text after the next run.
void TestRunnerEndings::largeOutputKeptWholeOutsideMemory() {
    QTemporaryDir temporary;
    const QByteArray oldTmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    const qsizetype size = 9 * 1024 * 1024 + 7;
    Levels levels;
    levels.level = Level::Verbose;
    DOSOutputs runner(&levels);
    bool folderEmptyDuringRun = true;
    Listener listener(runner);
    listener.also = [&](const QString&) {
        folderEmptyDuringRun =
            folderEmptyDuringRun &&
            QDir(temporary.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };

    CapturedOutput first;
    {
        const Environment environment(
            QList<Variable>{{"STANDIN_FAST_BYTES", QByteArray::number(size)}});
        first = runner.ExecuteCommand(standinLine());
    }
    const Environment environment(QList<Variable>{{"STANDIN_BLOCKS", "2"}});
    runner.ExecuteCommand(standinLine());
    qputenv("TMPDIR", oldTmpdir);

    QVERIFY(listener.events.size() > 700);
    QVERIFY(folderEmptyDuringRun);
    QCOMPARE(first.ByteSize(), size);
    QCOMPARE(first.Text(), fastText(size));
    QCOMPARE(runner.Outputs().Text(), blocks(1, 2));
}

QTEST_GUILESS_MAIN(TestRunnerEndings)
#include "test_runnerendings.moc"
