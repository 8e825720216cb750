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
        out.append(text.mid(lines.Start(line), lines.End(line) - lines.Start(line)));
    }
    return out;
}

} // namespace

class TestWrappedLines : public QObject {
    Q_OBJECT
private slots:
    void lines_data() {
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
        QTest::newRow("CR LF, LF and CR each end a line")
            << QStringList{"a\r\nb\nc\rd"} << 5.0 << QStringList{"a\r\n", "b\n", "c\r", "d"};
        QTest::newRow("CR LF split between appends")
            << QStringList{"a\r", "\nb"} << 5.0 << QStringList{"a\r\n", "b"};
        QTest::newRow("CR, then CR LF")
            << QStringList{"a\r", "\r\nb"} << 5.0 << QStringList{"a\r", "\r\n", "b"};
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
    }

    // Appending piece by piece, or character by character, gives the lines of the whole.
    void lines() {
        QFETCH(QStringList, pieces);
        QFETCH(qreal, width);
        const QString text = pieces.join(QString());
        WrappedLines byPieces;
        byPieces.Reset(&unitWidths(), width);
        for (const QString& piece : pieces) {
            byPieces.Append(piece);
        }
        QTEST(linesOf(byPieces, text), "lines");
        QCOMPARE(byPieces.TextSize(), text.size());
        WrappedLines byCharacters;
        byCharacters.Reset(&unitWidths(), width);
        for (qsizetype i = 0; i < text.size(); ++i) {
            byCharacters.Append(QStringView(text).sliced(i, 1));
        }
        QTEST(linesOf(byCharacters, text), "lines");
    }

    void lineOfAndContent_data() {
        QTest::addColumn<qsizetype>("position");
        QTest::addColumn<qsizetype>("line");
        QTest::addColumn<QString>("content");
        // "abcde" "fg\r\n" "\n" "h": wrapped, then CR LF, LF.
        QTest::newRow("start") << qsizetype{0} << qsizetype{0} << "abcde";
        QTest::newRow("a wrapped line's end starts the next")
            << qsizetype{5} << qsizetype{1} << "fg";
        QTest::newRow("before the CR") << qsizetype{7} << qsizetype{1} << "fg";
        QTest::newRow("empty line") << qsizetype{9} << qsizetype{2} << "";
        QTest::newRow("end of the text") << qsizetype{11} << qsizetype{3} << "h";
    }

    void lineOfAndContent() {
        QFETCH(qsizetype, position);
        QFETCH(qsizetype, line);
        const QString text = "abcdefg\r\n\nh";
        WrappedLines lines;
        lines.Reset(&unitWidths(), 5);
        lines.Append(text);
        QCOMPARE(lines.Count(), 4);
        QCOMPARE(lines.LineOf(position), line);
        const QString raw = text.mid(lines.Start(line), lines.End(line) - lines.Start(line));
        QTEST(raw.left(WrappedLines::ContentLength(raw)), "content");
    }

    // More line starts than stay in memory: they still read back and are found.
    void manyLinesLeaveMemory() {
        constexpr qsizetype lines = 700'000;
        const QString text = QStringLiteral("x\n").repeated(lines);
        WrappedLines wrapped;
        wrapped.Reset(&unitWidths(), 5);
        for (qsizetype from = 0; from < text.size(); from += 4099) {
            wrapped.Append(
                QStringView(text).sliced(from, std::min<qsizetype>(4099, text.size() - from)));
        }
        QCOMPARE(wrapped.Count(), lines + 1);
        for (const qsizetype line : {qsizetype{0}, qsizetype{1}, qsizetype{524'287},
                                     qsizetype{524'288}, lines - 1, lines}) {
            QCOMPARE(wrapped.Start(line), 2 * line);
            QCOMPARE(wrapped.LineOf(2 * line), line);
            QCOMPARE(wrapped.LineOf(2 * line + 1), std::min(line, lines));
        }
        wrapped.Reset(&unitWidths(), 5);
        wrapped.Append(u"short");
        QCOMPARE(wrapped.Count(), 1);
        QCOMPARE(wrapped.LineOf(3), 0);
    }

    void positionsInALine_data() {
        QTest::addColumn<QString>("lineText");
        QTest::addColumn<qsizetype>("offset");
        QTest::addColumn<qreal>("x");
        QTest::addColumn<qreal>("clickX");
        QTest::newRow("start") << "abc\n" << qsizetype{0} << 0.0 << 0.4;
        QTest::newRow("middle") << "abc\n" << qsizetype{2} << 2.0 << 1.6;
        QTest::newRow("past the content stops before the break") << "abc\r\n"
                                                                 << qsizetype{3} << 3.0 << 40.0;
        QTest::newRow("after a tab") << "ab\tcd" << qsizetype{3} << 8.0 << 7.5;
        QTest::newRow("after a surrogate pair")
            << QStringLiteral("a\U0001F3ACb") << qsizetype{3} << 2.0 << 2.2;
    }

    // Where the layout puts a character, and which character a click at x lands before.
    void positionsInALine() {
        QFETCH(QString, lineText);
        QFETCH(qsizetype, offset);
        QFETCH(qreal, clickX);
        WrappedLines lines;
        lines.Reset(&unitWidths(), 100);
        QTEST(lines.XOf(lineText, offset), "x");
        QCOMPARE(lines.OffsetAt(lineText, clickX), offset);
    }
};

QTEST_GUILESS_MAIN(TestWrappedLines)
#include "test_wrappedlines.moc"
