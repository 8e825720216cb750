#include "StandinFormat.h"
#include "WindowHarness.h"
#include "console/frmDOSOutput.h"
#include "platform/LogTextBox.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

QString block(int index) {
    return QString::fromStdString(standin::Block(index));
}

QString blocks(int from, int to) {
    QString text;
    for (int i = from; i <= to; ++i) {
        text += block(i);
    }
    return text;
}

QList<bool> runButtonStates(const frmDOSOutput& window) {
    QList<bool> states;
    for (const char* name : {"cmdExecute", "cmdExit", "Command1", "Command2"}) {
        states.append(child<QPushButton>(window, name)->isEnabled());
    }
    return states;
}

const QList<bool> allEnabled{true, true, true, true};
const QList<bool> allDisabled{false, false, false, false};

} // namespace

// How the window ends a run: when the tool failed, in each way a tool can, the box says
// so with the tool's last line and how it ended; after every run the log gets what it had
// not shown of the tool's output, a result the tool left is renamed, and the buttons come
// back.
class TestFailedRuns : public QObject {
    Q_OBJECT
private slots:
    void closingBox_data();
    void closingBox();
};

void TestFailedRuns::closingBox_data() {
    QTest::addColumn<QString>("level");
    QTest::addColumn<StandinVariables>("tool");
    QTest::addColumn<QString>("box"); // %1: the video folder
    QTest::addColumn<bool>("critical");
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("renamed");

    const QByteArray reason("no media samples found");
    QTest::newRow("status 4 with a reason on standard error")
        << "Optlognone" << StandinVariables{{"STANDIN_REASON", reason}, {"STANDIN_EXIT", "4"}}
        << "The repair did not succeed: untrunc-w ended with exit status 4.\n"
           "Its last line: no media samples found"
        << true << "no media samples found\n"
        << false;
    QTest::newRow("killed by a signal")
        << "Optlogverbose" << StandinVariables{{"STANDIN_BLOCKS", "120"}, {"STANDIN_SIGNAL", "9"}}
        << "The repair did not succeed: untrunc-w was ended by signal 9 (Killed).\n"
           "Its last line: ..." +
               block(120).trimmed().right(200)
        << true << block(50) + block(100) + blocks(101, 120) << false;
    QTest::newRow("no result file")
        << "Optlogdefault" << StandinVariables{{"STANDIN_REASON", "nothing to repair"}}
        << "The repair did not succeed: untrunc-w ended with exit status 0 but left no result.\n"
           "Its last line: nothing to repair"
        << true << "nothing to repair\n"
        << false;
    QTest::newRow("partial result with status 6")
        << "Optlognone"
        << StandinVariables{{"STANDIN_BLOCKS", "60"},
                            {"STANDIN_RESULT", "1"},
                            {"STANDIN_REASON", "repaired 3 of 4 seconds"},
                            {"STANDIN_EXIT", "6"}}
        << "The repair is partial: untrunc-w ended with exit status 6.\n"
           "Its last line: repaired 3 of 4 seconds\n"
           "What it wrote is saved as %1/clip-fixed.MP4."
        << true << ".\n" + blocks(51, 60) + "repaired 3 of 4 seconds\n"
        << true;
    // A successful run says "done" alone; the tool's summary, which came after the log's
    // last sample, is still added to the log.
    QTest::newRow("success after samples")
        << "Optlognone" << StandinVariables{{"STANDIN_BLOCKS", "60"}, {"STANDIN_RESULT", "1"}}
        << "done" << false << ".\n" + blocks(51, 60) << true;
    const QByteArray summary("recovered: 4.0 s of video\nwrote clip.mp4_untrunc.mp4");
    for (const char* level : {"Optlognone", "Optlogdefault", "Optlogverbose"}) {
        QTest::addRow("short success, %s", level)
            << level << StandinVariables{{"STANDIN_REASON", summary}, {"STANDIN_RESULT", "1"}}
            << "done" << false << QString::fromLatin1(summary + "\n") << true;
    }
}

void TestFailedRuns::closingBox() {
    QFETCH(QString, level);
    QFETCH(StandinVariables, tool);
    QFETCH(QString, box);
    QFETCH(bool, critical);
    QFETCH(bool, renamed);
    ToolFolder folder;
    const StandinEnvironment env(tool);
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    child<QRadioButton>(window, level.toLatin1().constData())->setChecked(true);
    child<QLineEdit>(window, "TxtRef")->setText(folder.video("good.mp4"));
    child<QLineEdit>(window, "TxtCor")->setText(folder.video("clip.mp4"));
    QList<bool> statesInBox;
    QString logInBox;
    messages.onShow = [&](const QString&) {
        statesInBox = runButtonStates(window);
        logInBox = child<LogTextBox>(window, "txtOutputs")->Text();
    };

    child<QPushButton>(window, "cmdExecute")->click();

    QCOMPARE(messages.texts(), QStringList{box.arg(folder.videoFolder())});
    QCOMPARE(messages.shown.first().icon, critical ? MessageIcon::Critical : MessageIcon::None);
    // The reason is in the log while the box is open, where it can be read and copied.
    QTEST(logInBox, "log");
    QTEST(child<LogTextBox>(window, "txtOutputs")->Text(), "log");
    QCOMPARE(QFile::exists(folder.video("clip-fixed.MP4")), renamed);
    QVERIFY(!QFile::exists(folder.video("clip.mp4_untrunc.mp4")));
    QCOMPARE(statesInBox, allDisabled);
    QCOMPARE(runButtonStates(window), allEnabled);
}

QTEST_MAIN(TestFailedRuns)
#include "test_failedruns.moc"
