#include "console/RunOutcome.h"

#include <QTest>

#include <csignal>

Q_DECLARE_METATYPE(RunEnding)

class TestRunOutcome : public QObject {
    Q_OBJECT
private slots:
    void judge_data();
    void judge();
    void lastLine_data();
    void lastLine();
};

void TestRunOutcome::judge_data() {
    QTest::addColumn<RunEnding>("ending");
    QTest::addColumn<QString>("resultPath");
    QTest::addColumn<QString>("lastLine");
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<QString>("message");
    const QString result = QStringLiteral("/videos/clip-fixed.MP4");
    const RunEnding success{RunEnding::Exited, 0};
    QTest::newRow("status 0 and a result") << success << result << "finished" << true << "done";
    QTest::newRow("status 0, no result")
        << success << QString() << "finished" << false
        << "The repair did not succeed: untrunc-w ended with exit status 0 but left no "
           "result.\nIts last line: finished";
    QTest::newRow("status 4, no result")
        << RunEnding{RunEnding::Exited, 4} << QString() << "no media samples found" << false
        << "The repair did not succeed: untrunc-w ended with exit status 4.\nIts last line: "
           "no media samples found";
    QTest::newRow("status 6 with a result: partial")
        << RunEnding{RunEnding::Exited, 6} << result << "3 of 4 s repaired" << false
        << "The repair is partial: untrunc-w ended with exit status 6.\nIts last line: 3 of 4 "
           "s repaired\nWhat it wrote is saved as /videos/clip-fixed.MP4.";
    QTest::newRow("signal, nothing written")
        << RunEnding{RunEnding::Signalled, SIGKILL} << QString() << QString() << false
        << "The repair did not succeed: untrunc-w was ended by signal 9 (Killed).\nIt wrote "
           "nothing.";
    QTest::newRow("signal with a result: partial")
        << RunEnding{RunEnding::Signalled, SIGSEGV} << result << "writing index" << false
        << "The repair is partial: untrunc-w was ended by signal 11 (Segmentation fault).\nIts "
           "last line: writing index\nWhat it wrote is saved as /videos/clip-fixed.MP4.";
    QTest::newRow("unknown ending with a result")
        << RunEnding{RunEnding::Unknown, 0} << result << "done writing" << false
        << "The repair is partial: untrunc-w closed its output before it ended; its exit status "
           "is unknown.\nIts last line: done writing\nWhat it wrote is saved as "
           "/videos/clip-fixed.MP4.";
}

void TestRunOutcome::judge() {
    QFETCH(RunEnding, ending);
    QFETCH(QString, resultPath);
    QFETCH(QString, lastLine);
    const RunOutcome outcome = JudgeRun(ending, resultPath, lastLine);
    QTEST(outcome.succeeded, "succeeded");
    QTEST(outcome.message, "message");
}

void TestRunOutcome::lastLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("line");
    QTest::newRow("nothing") << QString() << QString();
    QTest::newRow("blanks only") << " \n\t\r\n" << QString();
    QTest::newRow("no line break") << "only line"
                                   << "only line";
    QTest::newRow("LF") << "first\nsecond\n"
                        << "second";
    QTest::newRow("CR LF and empty lines") << "first\r\nsecond  \r\n\r\n  \r\n"
                                           << "second";
    QTest::newRow("progress redrawn with CR") << "10%\r20%\r30%"
                                              << "30%";
    QTest::newRow("long line keeps its end") << "head\n" + QString(300, u'x') + "tail"
                                             << "..." + QString(196, u'x') + "tail";
}

void TestRunOutcome::lastLine() {
    QFETCH(QString, text);
    QTEST(LastLine(text), "line");
}

QTEST_GUILESS_MAIN(TestRunOutcome)
#include "test_runoutcome.moc"
