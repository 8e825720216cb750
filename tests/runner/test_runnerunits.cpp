#include "platform/Failure.h"
#include "platform/SpillingBytes.h"
#include "runner/BlockCounter.h"
#include "runner/CapturedOutput.h"

#include <QTest>

#include <algorithm>
#include <limits>
#include <memory>

class TestRunnerUnits : public QObject {
    Q_OBJECT
private slots:
    void countBlock_data();
    void countBlock();
    void countBlockOverflows();
    void splitAnywhere_data();
    void splitAnywhere();
    void clearedStoreHoldsOnlyNewBytes_data();
    void clearedStoreHoldsOnlyNewBytes();
    void incompleteUtf8Tail_data();
    void incompleteUtf8Tail();
    void textFrom_data();
    void textFrom();
    void valueKeepsItsPrefix();
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

// Store sizes: everything in memory; a file after 5 bytes, written in chunks of 3.
void addStoreRows() {
    QTest::addColumn<qsizetype>("spillAt");
    QTest::addColumn<qsizetype>("writeChunk");
    QTest::newRow("in memory") << SpillingBytes::defaultSpillAt << SpillingBytes::defaultWriteChunk;
    QTest::newRow("in a file") << qsizetype{5} << qsizetype{3};
}

void TestRunnerUnits::splitAnywhere_data() {
    addStoreRows();
}

// However the stream is cut into reads, the text is the same.
void TestRunnerUnits::splitAnywhere() {
    QFETCH(qsizetype, spillAt);
    QFETCH(qsizetype, writeChunk);
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"a\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xac.", QStringLiteral("a\u00e9\u20ac\U0001F3AC.")},
        {"\xff\xc3\xa9\x80x\xe2\x82", QStringLiteral("\uFFFD\u00e9\uFFFDx\uFFFD")},
        {"\xef\xbb\xbfhead", QStringLiteral("\uFEFFhead")},
    };
    for (const auto& [bytes, text] : cases) {
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
            auto store = std::make_shared<SpillingBytes>(spillAt, writeChunk);
            store->Append(QByteArrayView(bytes).first(cut));
            store->Append(QByteArrayView(bytes).sliced(cut));
            QCOMPARE(CapturedOutput(store, store->Size()).Text(), text);
        }
    }
}

void TestRunnerUnits::clearedStoreHoldsOnlyNewBytes_data() {
    addStoreRows();
}

// A run that reuses the store (and its file) sees nothing of the longer run before it.
void TestRunnerUnits::clearedStoreHoldsOnlyNewBytes() {
    QFETCH(qsizetype, spillAt);
    QFETCH(qsizetype, writeChunk);
    auto store = std::make_shared<SpillingBytes>(spillAt, writeChunk);
    store->Append("the first, longer run");
    store->Finish();
    store->Clear();
    QCOMPARE(store->Size(), 0);
    store->Append("second \xe2\x82");
    store->Append("\xac");
    store->Finish();
    QCOMPARE(store->Read(0, 100), QByteArray("second \xe2\x82\xac"));
    QCOMPARE(CapturedOutput(store, store->Size()).Text(), QStringLiteral("second \u20ac"));
}

void TestRunnerUnits::incompleteUtf8Tail_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("tail");
    QTest::newRow("empty") << QByteArray() << qsizetype{0};
    QTest::newRow("ASCII") << QByteArray("ab") << qsizetype{0};
    QTest::newRow("whole 2-byte") << QByteArray("a\xc3\xa9") << qsizetype{0};
    QTest::newRow("lead of 2") << QByteArray("a\xc3") << qsizetype{1};
    QTest::newRow("2 of 3") << QByteArray("\xe2\x82") << qsizetype{2};
    QTest::newRow("3 of 4") << QByteArray("x\xf0\x9f\x8e") << qsizetype{3};
    QTest::newRow("whole 4-byte") << QByteArray("\xf0\x9f\x8e\xac") << qsizetype{0};
    QTest::newRow("stray continuations") << QByteArray("\x80\x80\x80\x80") << qsizetype{0};
    QTest::newRow("byte that begins nothing") << QByteArray("a\xff") << qsizetype{0};
}

void TestRunnerUnits::incompleteUtf8Tail() {
    QFETCH(QByteArray, bytes);
    QTEST(runner::IncompleteUtf8Tail(bytes), "tail");
}

void TestRunnerUnits::textFrom_data() {
    QTest::addColumn<qsizetype>("offset");
    QTest::addColumn<QString>("text");
    // "a", "é" (2 bytes), "€" (3 bytes), then the start of a cut-off "🎬".
    QTest::newRow("from the start") << qsizetype{0} << QStringLiteral("a\u00e9\u20ac");
    QTest::newRow("inside a character") << qsizetype{2} << QStringLiteral("\u20ac");
    QTest::newRow("at a character") << qsizetype{3} << QStringLiteral("\u20ac");
    QTest::newRow("only the cut-off end") << qsizetype{6} << QString();
    QTest::newRow("past the end") << qsizetype{99} << QString();
}

void TestRunnerUnits::textFrom() {
    QFETCH(qsizetype, offset);
    auto store = std::make_shared<SpillingBytes>();
    store->Append("a\xc3\xa9\xe2\x82\xac\xf0\x9f");
    const CapturedOutput output(store, store->Size());
    QTEST(output.TextFrom(offset), "text");
    // The whole text shows the cut-off character as one replacement character.
    QCOMPARE(output.Text(), QStringLiteral("a\u00e9\u20ac\uFFFD"));
}

// A value is the output as it stood when it was taken; later bytes do not reach it.
void TestRunnerUnits::valueKeepsItsPrefix() {
    auto store = std::make_shared<SpillingBytes>(4, 2);
    store->Append("first ");
    const CapturedOutput early(store, store->Size());
    store->Append("second");
    QCOMPARE(early.Text(), QStringLiteral("first "));
    QCOMPARE(early.ByteSize(), 6);
    QCOMPARE(CapturedOutput(store, store->Size()).Text(), QStringLiteral("first second"));
    QVERIFY(CapturedOutput().IsEmpty());
    QCOMPARE(QString(CapturedOutput()), QString());
}

QTEST_GUILESS_MAIN(TestRunnerUnits)
#include "test_runnerunits.moc"
