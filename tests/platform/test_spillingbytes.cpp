#include "platform/SpillingBytes.h"
#include "support/Harness.h"

#include <algorithm>

class TestSpillingBytes : public QObject {
    Q_OBJECT
private slots:
    // Sizes: everything in memory; a file after 5 bytes, written in chunks of 3.
    void storeReadsAcrossMemoryAndFile_data() {
        QTest::addColumn<qsizetype>("spillAt");
        QTest::addColumn<qsizetype>("writeChunk");
        QTest::newRow("in memory")
            << SpillingBytes::defaultSpillAt << SpillingBytes::defaultWriteChunk;
        QTest::newRow("in a file") << qsizetype{5} << qsizetype{3};
    }

    void storeReadsAcrossMemoryAndFile() {
        QFETCH(qsizetype, spillAt);
        QFETCH(qsizetype, writeChunk);
        SpillingBytes store(spillAt, writeChunk);
        QByteArray all;
        for (char c = 'a'; c <= 'z'; ++c) {
            const QByteArray piece(c - 'a' + 1, c);
            store.Append(piece);
            all += piece;
        }
        QCOMPARE(store.Size(), all.size());
        QCOMPARE(store.InFile(), spillAt < all.size());
        for (qsizetype from = 0; from <= all.size(); from += 7) {
            for (qsizetype count : {0, 1, 4, 40, 1000}) {
                QCOMPARE(store.Read(from, count), all.mid(from, count));
            }
        }
    }

    // Past the spill size memory holds at most one write chunk, however much comes.
    void memoryStaysBounded() {
        SpillingBytes store(1000, 300);
        const QByteArray block(256, 'x');
        qsizetype mostInMemory = 0;
        for (int i = 0; i < 400; ++i) {
            store.Append(block);
            mostInMemory = std::max(mostInMemory, store.MemoryBytes());
        }
        QCOMPARE(store.Size(), 400 * 256);
        QVERIFY(store.InFile());
        QVERIFY2(mostInMemory <= 1000 + 256, qPrintable(QString::number(mostInMemory)));
        QVERIFY(store.MemoryBytes() < 300);
        QCOMPARE(store.Read(qsizetype{399} * 256, 256), block);
    }

    // Where no temporary file can be made, the bytes stay in memory and nothing is lost.
    void noTemporaryFolderKeepsBytesInMemory() {
        const ScopedEnvironment tmpdir({{"TMPDIR", "/nonexistent/folder"}});
        SpillingBytes store(10, 4);
        store.Append("0123456789abcdef");
        QVERIFY(!store.InFile());
        QCOMPARE(store.Read(0, 100), QByteArray("0123456789abcdef"));
    }
};

QTEST_GUILESS_MAIN(TestSpillingBytes)
#include "test_spillingbytes.moc"
