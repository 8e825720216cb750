#include "platform/CommandLineRules.h"

#include <QTest>

class TestCommandLineRules : public QObject {
    Q_OBJECT
private slots:
    void split_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("blanks separate") << "a b  c" << QStringList{"a", "b", "c"};
        QTest::newRow("tabs separate, ends ignored") << "\t a\tb " << QStringList{"a", "b"};
        QTest::newRow("empty line") << "" << QStringList{};
        QTest::newRow("quotes group")
            << R"(tool "My Videos/a b.mp4" x)" << QStringList{"tool", "My Videos/a b.mp4", "x"};
        QTest::newRow("quoted part inside an argument") << R"(a"b c"d)" << QStringList{"ab cd"};
        QTest::newRow("empty quotes are an argument") << R"(a "" b)" << QStringList{"a", "", "b"};
        QTest::newRow("backslashes alone are literal") << R"(/a\\b\)" << QStringList{R"(/a\\b\)"};
        QTest::newRow("escaped quote") << R"(a\"b)" << QStringList{R"(a"b)"};
        QTest::newRow("even backslashes then quote") << R"("a\\" b)" << QStringList{R"(a\)", "b"};
        QTest::newRow("odd backslashes then quote") << R"("a\\\" b")" << QStringList{R"(a\" b)"};
        QTest::newRow("doubled quote inside group") << R"("a""b" c)" << QStringList{R"(a"b)", "c"};
        QTest::newRow("unclosed quote runs to the end") << R"(a "b c)" << QStringList{"a", "b c"};
    }

    void split() {
        QFETCH(QString, line);
        QFETCH(QStringList, arguments);
        QCOMPARE(SplitCommandLine(line), arguments);
    }

    void quoteRoundTrip_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<bool>("quoted");
        QTest::newRow("plain path") << "/home/ann/clip.mp4" << false;
        QTest::newRow("backslash alone stays bare") << R"(/cam/odd\name.mp4)" << false;
        QTest::newRow("blank") << "/home/ann/My Videos/clip.mp4" << true;
        QTest::newRow("tab") << "a\tb" << true;
        QTest::newRow("quote") << R"(say "hi")" << true;
        QTest::newRow("trailing backslash with blank") << R"(/v/odd name\)" << true;
        QTest::newRow("backslashes before quote") << R"(a\\"b c)" << true;
        QTest::newRow("non-ASCII") << "/tmp/Ferien Ä/вид.mp4" << true;
    }

    void quoteRoundTrip() {
        QFETCH(QString, argument);
        QFETCH(bool, quoted);
        const QString written = QuoteArgument(argument);
        QCOMPARE(written.startsWith(u'"'), quoted);
        if (!quoted) {
            QCOMPARE(written, argument);
        }
        const QString line = QStringLiteral("prog ") + written + QStringLiteral(" tail");
        QCOMPARE(SplitCommandLine(line), (QStringList{"prog", argument, "tail"}));
    }
};

QTEST_APPLESS_MAIN(TestCommandLineRules)
#include "test_commandlinerules.moc"
