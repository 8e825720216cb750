#include "platform/WrappedLines.h"

#include <QTest>

namespace {

// Every character one unit wide, a tab stop every eight.
const CharWidths& unitWidths() {
    static const CharWidths widths([](QStringView) { return 1.0; });
    return widths;
}

QStringList linesOf(const WrappedLines& lines, const QString& text) {
    QStringList out;
    for (qsizetype line = 0; line < lines.Count(); ++line) {
        const qsizetype end = line + 1 < lines.Count() ? lines.Start(line + 1) : text.size();
        out.append(text.mid(lines.Start(line), end - lines.Start(line)));
    }
    return out;
}

} // namespace

class TestWrappedLines : public QObject {
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void lineOfAndContentEnd_data();
    void lineOfAndContentEnd();
};

void TestWrappedLines::lines_data() {
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<qreal>("width");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("dots wrap at the width")
        << QStringList{"............"} << 5.0 << QStringList{".....", ".....", ".."};
    QTest::newRow("words wrap after a blank")
        << QStringList{"aaa bbb ccc"} << 5.0 << QStringList{"aaa ", "bbb ", "ccc"};
    QTest::newRow("a long word breaks anywhere")
        << QStringList{"abcdefghijkl"} << 5.0 << QStringList{"abcde", "fghij", "kl"};
    QTest::newRow("blanks hang past the edge")
        << QStringList{"abcde   f"} << 5.0 << QStringList{"abcde   ", "f"};
    QTest::newRow("word after a blank longer than a line")
        << QStringList{"ab cdefghij"} << 5.0 << QStringList{"ab ", "cdefg", "hij"};
    QTest::newRow("CR LF, LF and CR each end a line")
        << QStringList{"a\r\nb\nc\rd"} << 5.0 << QStringList{"a\r\n", "b\n", "c\r", "d"};
    QTest::newRow("CR LF split between appends")
        << QStringList{"a\r", "\nb"} << 5.0 << QStringList{"a\r\n", "b"};
    QTest::newRow("CR, then CR LF") << QStringList{"a\r", "\r\nb"} << 5.0
                                    << QStringList{"a\r", "\r\n", "b"};
    QTest::newRow("LF LF is an empty line")
        << QStringList{"a\n", "\nb"} << 5.0 << QStringList{"a\n", "\n", "b"};
    QTest::newRow("a break at the end opens an empty line")
        << QStringList{"a\n"} << 5.0 << QStringList{"a\n", ""};
    QTest::newRow("a tab goes to the next stop")
        << QStringList{"ab\tcd"} << 9.0 << QStringList{"ab\t", "cd"};
    QTest::newRow("a surrogate pair is one character")
        << QStringList{QStringLiteral("ab\U0001F3ACcd")} << 3.0
        << QStringList{QStringLiteral("ab\U0001F3AC"), "cd"};
    QTest::newRow("narrower than a character: one per line")
        << QStringList{"abc"} << 0.5 << QStringList{"a", "b", "c"};
    QTest::newRow("dots appended one by one")
        << QStringList(7, ".") << 3.0 << QStringList{"...", "...", "."};
}

// Appending piece by piece, or character by character, gives the lines of the whole.
void TestWrappedLines::lines() {
    QFETCH(QStringList, pieces);
    QFETCH(qreal, width);
    const QString text = pieces.join(QString());
    WrappedLines byPieces;
    byPieces.Reset(&unitWidths(), width);
    QString sofar;
    for (const QString& piece : pieces) {
        const qsizetype from = sofar.size();
        sofar += piece;
        byPieces.Append(sofar, from);
    }
    QTEST(linesOf(byPieces, text), "lines");
    WrappedLines byCharacters;
    byCharacters.Reset(&unitWidths(), width);
    for (qsizetype i = 0; i < text.size(); ++i) {
        byCharacters.Append(QStringView(text).first(i + 1), i);
    }
    QTEST(linesOf(byCharacters, text), "lines");
}

void TestWrappedLines::lineOfAndContentEnd_data() {
    QTest::addColumn<qsizetype>("position");
    QTest::addColumn<qsizetype>("line");
    QTest::addColumn<qsizetype>("contentEnd");
    // "abcde" "fg\r\n" "\n" "h": wrapped, then CR LF, LF.
    QTest::newRow("start") << qsizetype{0} << qsizetype{0} << qsizetype{5};
    QTest::newRow("a wrapped line's end starts the next") << qsizetype{5} << qsizetype{1}
                                                          << qsizetype{7};
    QTest::newRow("before the CR") << qsizetype{7} << qsizetype{1} << qsizetype{7};
    QTest::newRow("empty line") << qsizetype{9} << qsizetype{2} << qsizetype{9};
    QTest::newRow("end of the text") << qsizetype{11} << qsizetype{3} << qsizetype{11};
}

void TestWrappedLines::lineOfAndContentEnd() {
    QFETCH(qsizetype, position);
    QFETCH(qsizetype, line);
    const QString text = "abcdefg\r\n\nh";
    WrappedLines lines;
    lines.Reset(&unitWidths(), 5);
    lines.Append(text, 0);
    QCOMPARE(lines.Count(), 4);
    QCOMPARE(lines.LineOf(position), line);
    QTEST(lines.ContentEnd(text, line), "contentEnd");
}

QTEST_GUILESS_MAIN(TestWrappedLines)
#include "test_wrappedlines.moc"
