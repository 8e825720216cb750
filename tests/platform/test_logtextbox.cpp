#include "platform/ClassicFont.h"
#include "platform/LogTextBox.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QStyle>
#include <QTest>

namespace {

// The size and font of the main window's log.
void likeTheWindowsLog(LogTextBox& box) {
    box.resize(471, 148);
    box.setFont(ClassicFont(QStringLiteral("Courier New"), 8.25));
}

} // namespace

class TestLogTextBox : public QObject {
    Q_OBJECT
private slots:
    // Dots appended one by one stay one line of Text; the view shows them in lines as wide
    // as the box, each full line equally long.
    void longLineWrapsInTheViewOnly() {
        LogTextBox box;
        likeTheWindowsLog(box);
        box.setText(QString());
        for (int i = 0; i < 1000; ++i) {
            box.appendText(QStringLiteral("."));
        }
        QCOMPARE(box.Text(), QString(1000, u'.'));
        const qsizetype lines = box.LineCount();
        QVERIFY2(lines > 10, qPrintable(QString::number(lines)));
        const qsizetype perLine = box.LineText(0).size();
        const int textWidth =
            471 - 2 * box.frameWidth() - box.style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 8;
        const auto fits =
            static_cast<qsizetype>(textWidth / QFontMetricsF(box.font()).horizontalAdvance(u'.'));
        QCOMPARE(perLine, fits);
        QString joined;
        for (qsizetype line = 0; line < lines; ++line) {
            QVERIFY(box.LineText(line).size() == perLine || line == lines - 1);
            joined += box.LineText(line);
        }
        QCOMPARE(joined, box.Text());
    }

    // Past a few megabytes the text leaves memory; all of it still reads back and shows.
    void longLogIsKeptWhole() {
        LogTextBox box;
        likeTheWindowsLog(box);
        const QString line = QStringLiteral("%1 of the tool's output\r\n");
        QString expected;
        for (int i = 0; i < 120'000; ++i) {
            const QString piece = line.arg(i, 6);
            box.appendText(piece);
            expected += piece;
        }
        QCOMPARE(box.TextLength(), expected.size());
        QCOMPARE(box.Text(), expected);
        QCOMPARE(box.LineCount(), 120'001);
        QCOMPARE(box.LineText(99'999), line.arg(99'999, 6).chopped(2));
        box.setSelStart(box.TextLength());
        const qsizetype lastShown = box.FirstShownLine(); // brings the view up to date
        QCOMPARE(lastShown, box.verticalScrollBar()->maximum());
        box.setText(QStringLiteral("short"));
        QCOMPARE(box.Text(), QStringLiteral("short"));
        QCOMPARE(box.LineCount(), 1);
    }

    void selectWithKeysAndCopy_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<int>>("keys"); // with Shift held
        QTest::addColumn<QString>("selected");
        // Text: "first line\r\nsecond" (the box is wide enough for both lines).
        QTest::newRow("to the line's end") << 0 << QList<int>{Qt::Key_End} << "first line";
        QTest::newRow("over the CR LF as one step")
            << 10 << QList<int>{Qt::Key_Right, Qt::Key_Right} << "\r\ns";
        QTest::newRow("down a line keeps the column")
            << 2 << QList<int>{Qt::Key_Down} << "rst line\r\nse";
        QTest::newRow("back to the line's start") << 15 << QList<int>{Qt::Key_Home} << "sec";
    }

    void selectWithKeysAndCopy() {
        QFETCH(int, from);
        QFETCH(QList<int>, keys);
        LogTextBox box;
        likeTheWindowsLog(box);
        box.setText(QStringLiteral("first line\r\nsecond"));
        box.setSelStart(from);
        for (const int key : keys) {
            QTest::keyClick(&box, Qt::Key(key), Qt::ShiftModifier);
        }
        QTEST(box.SelectedText(), "selected");
        QTest::keySequence(&box, QKeySequence::Copy);
        QTEST(QApplication::clipboard()->text(), "selected");
        // Select all copies the text as it is, CR LF included.
        QTest::keySequence(&box, QKeySequence::SelectAll);
        box.copy();
        QCOMPARE(QApplication::clipboard()->text(), box.Text());
    }

    void doubleClickSelectsAWord() {
        LogTextBox box;
        likeTheWindowsLog(box);
        box.setText(QStringLiteral("alpha beta_2 gamma"));
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const qreal charWidth = QFontMetricsF(box.font()).horizontalAdvance(u'x');
        // Over the left part of the "t" of "beta_2", behind the viewport's text margin.
        const QPoint at(qRound(4 + charWidth * 8.3), 4 + box.fontMetrics().height() / 2);
        QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(box.SelectedText(), QStringLiteral("beta_2"));
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(box.SelStart(), 8);
        QCOMPARE(box.SelectedText(), QString());
    }
};

QTEST_MAIN(TestLogTextBox)
#include "test_logtextbox.moc"
