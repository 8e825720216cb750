#include "platform/Failure.h"
#include "runner/BlockCounter.h"
#include "runner/CapturedText.h"

#include <QTest>

#include <limits>

class TestRunnerUnits : public QObject {
    Q_OBJECT
private slots:
    void countBlock_data();
    void countBlock();
    void countBlockOverflows();
    void splitAnywhere_data();
    void splitAnywhere();
    void appendReturnsThatReadsText_data();
    void appendReturnsThatReadsText();
    void clearStartsAfresh();
    void nextRunLeavesEarlierText_data();
    void nextRunLeavesEarlierText();
};

void TestRunnerUnits::countBlock_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("next");
    QTest::newRow("first block") << 0 << 1;
    QTest::newRow("reporting point") << 49 << 50;
    QTest::newRow("largest count")
        << std::numeric_limits<int>::max() - 1 << std::numeric_limits<int>::max();
}

void TestRunnerUnits::countBlock() {
    QFETCH(int, count);
    QFETCH(int, next);
    QCOMPARE(runner::detail::CountBlock(count), next);
}

void TestRunnerUnits::countBlockOverflows() {
    try {
        runner::detail::CountBlock(std::numeric_limits<int>::max());
        QFAIL("no failure past 2,147,483,647 blocks");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), QStringLiteral("Overflow"));
        QCOMPARE(failure.source(), QStringLiteral("DOSOutputs"));
        QCOMPARE(failure.number(), 6);
    }
}

void TestRunnerUnits::splitAnywhere_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("mixed widths") << QByteArray("a\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xac.")
                                  << QStringLiteral("aé€🎬.");
    QTest::newRow("invalid bytes among valid")
        << QByteArray("\xff\xc3\xa9\x80x\xe2\x82") << QStringLiteral("\uFFFDé\uFFFDx\uFFFD");
}

// However the stream is cut into reads, the text is the same.
void TestRunnerUnits::splitAnywhere() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        runner::CapturedText captured;
        captured.Clear();
        captured.Append(QByteArrayView(bytes).first(cut));
        captured.Append(QByteArrayView(bytes).sliced(cut));
        captured.Finish();
        QCOMPARE(captured.Text(), text);
    }
}

void TestRunnerUnits::appendReturnsThatReadsText_data() {
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QString>("firstText");
    QTest::addColumn<QString>("secondText");
    QTest::newRow("whole characters") << QByteArray("ab") << QByteArray("cd") << "ab"
                                      << "cd";
    QTest::newRow("split character goes with its end")
        << QByteArray("a\xe2\x82") << QByteArray("\xac") << "a"
        << "€";
    QTest::newRow("a read of only part of a character gives no text")
        << QByteArray("\xf0\x9f") << QByteArray("\x8e\xac!") << ""
        << "🎬!";
}

void TestRunnerUnits::appendReturnsThatReadsText() {
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QString, firstText);
    QFETCH(QString, secondText);
    runner::CapturedText captured;
    QCOMPARE(captured.Append(first).toString(), firstText);
    QCOMPARE(captured.Append(second).toString(), secondText);
    QCOMPARE(captured.Text(), firstText + secondText);
}

void TestRunnerUnits::clearStartsAfresh() {
    runner::CapturedText captured;
    captured.Append("old \xe2\x82");
    captured.Clear();
    // Neither the old text nor the half character of the old stream survives.
    captured.Append("\xac new");
    captured.Finish();
    QCOMPARE(captured.Text(), QStringLiteral("\uFFFD new"));
}

void TestRunnerUnits::nextRunLeavesEarlierText_data() {
    QTest::addColumn<bool>("callerKeepsText");
    QTest::newRow("caller keeps the earlier text") << true;
    QTest::newRow("earlier text dropped, memory reused") << false;
}

void TestRunnerUnits::nextRunLeavesEarlierText() {
    QFETCH(bool, callerKeepsText);
    const QString first = QString(5000, u'x') + QStringLiteral("end of first run");
    runner::CapturedText captured;
    captured.Append(first.toUtf8());
    captured.Finish();
    QString kept = callerKeepsText ? captured.Text() : QString();

    captured.Clear();
    QCOMPARE(captured.Text(), QString());
    captured.Append("second");
    captured.Finish();

    QCOMPARE(captured.Text(), QStringLiteral("second"));
    QCOMPARE(kept, callerKeepsText ? first : QString());
}

QTEST_GUILESS_MAIN(TestRunnerUnits)
#include "test_runnerunits.moc"
