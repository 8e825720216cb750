#include "platform/LogTextBox.h"

#include <QTest>

class TestLogTextBox : public QObject {
    Q_OBJECT
private slots:
    void piecesJoinExactly_data();
    void piecesJoinExactly();
    void changeIsRaisedInsideTheWrite();
    void viewCatchesUpInBatches();
    void caretPositions_data();
    void caretPositions();
};

void TestLogTextBox::piecesJoinExactly_data() {
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("shown");
    QTest::newRow("cut lines join") << QStringList{"abc", "def\nx", "yz"} << "abcdef\nxyz";
    QTest::newRow("dots on one line") << QStringList{".", ".", "."} << "...";
    QTest::newRow("CR LF is one break") << QStringList{"a\r\nb"} << "a\nb";
    QTest::newRow("CR LF split across pieces") << QStringList{"a\r", "\nb"} << "a\nb";
    QTest::newRow("lone CR keeps the line") << QStringList{"10%\r20%"} << "10%\n20%";
    QTest::newRow("LF LF is two breaks") << QStringList{"a\n", "\nb"} << "a\n\nb";
    QTest::newRow("CR then CR LF") << QStringList{"a\r", "\r\nb"} << "a\n\nb";
}

void TestLogTextBox::piecesJoinExactly() {
    QFETCH(QStringList, pieces);
    QFETCH(QString, shown);
    LogTextBox box;
    box.setText(pieces.first());
    for (const QString& piece : pieces.mid(1)) {
        box.appendText(piece);
    }
    QCOMPARE(box.Text(), pieces.join(QString()));
    // The view catches up by itself, caret at the end.
    box.setSelStart(box.Text().size());
    QTRY_COMPARE(box.toPlainText(), shown);
    QVERIFY(box.textCursor().atEnd());
}

void TestLogTextBox::changeIsRaisedInsideTheWrite() {
    LogTextBox box;
    QStringList seen;
    connect(&box, &LogTextBox::Change, this, [&] { seen.append(box.Text()); });
    box.setText("help");
    box.appendText(" more");
    box.appendText(QString());
    box.setText(QString());
    QCOMPARE(seen, (QStringList{"help", "help more", QString()}));
}

// Many appends in a row reach the view together; reading the caret shows them at once.
void TestLogTextBox::viewCatchesUpInBatches() {
    LogTextBox box;
    box.setText("start\n");
    for (int i = 0; i < 100; ++i) {
        box.appendText("line\n");
        box.setSelStart(box.Text().size());
    }
    QCOMPARE(box.document()->blockCount(), 2);
    QCOMPARE(box.SelStart(), box.Text().size());
    QCOMPARE(box.document()->blockCount(), 102);
    QVERIFY(box.textCursor().atEnd());
    box.setText(QString());
    QTest::qWait(2 * LogTextBox::displayDelayMs);
    QCOMPARE(box.toPlainText(), QString()); // nothing left over from the batch
}

void TestLogTextBox::caretPositions_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("shownPosition");
    QTest::newRow("start") << "ab\r\ncd" << 0 << 0;
    QTest::newRow("before CR LF") << "ab\r\ncd" << 2 << 2;
    QTest::newRow("after CR LF") << "ab\r\ncd" << 4 << 3;
    QTest::newRow("end") << "ab\r\ncd" << 6 << 5;
    QTest::newRow("past the end goes to the end") << "ab\r\ncd" << 99 << 5;
    QTest::newRow("lone CR counts") << "a\rb\r\nc" << 5 << 4;
}

void TestLogTextBox::caretPositions() {
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, shownPosition);
    LogTextBox box;
    box.setText(text);
    box.setSelStart(position);
    QCOMPARE(box.textCursor().position(), shownPosition);
    QCOMPARE(box.textCursor().hasSelection(), false);
    QCOMPARE(box.SelStart(), std::min<qsizetype>(position, text.size()));
}

QTEST_MAIN(TestLogTextBox)
#include "test_logtextbox.moc"
