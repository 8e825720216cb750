#include "platform/CommandLineRules.h"

#include <QTest>

// The window's command line is made with QuoteArgument (its box takes no typing), so what
// SplitCommandLine must read back is what QuoteArgument writes.
class TestCommandLineRules : public QObject {
    Q_OBJECT
private slots:
    void quoteRoundTrip_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<bool>("quoted");
        QTest::newRow("plain path") << "/home/ann/clip.mp4" << false;
        QTest::newRow("backslash alone stays bare") << "/cam/odd\\name.mp4" << false;
        QTest::newRow("blank") << "/home/ann/My Videos/clip.mp4" << true;
        QTest::newRow("tab") << "a\tb" << true;
        QTest::newRow("quote") << "say \"hi\"" << true;
        QTest::newRow("trailing backslash with blank") << "/v/odd name\\" << true;
        QTest::newRow("backslashes before quote") << "a\\\\\"b c" << true;
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
