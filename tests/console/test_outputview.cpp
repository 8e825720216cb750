#include "StandinFormat.h"
#include "WindowHarness.h"
#include "console/frmDOSOutput.h"
#include "platform/LogTextBox.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <cerrno>
#include <csignal>

namespace {

QString blockText(int index) {
    return QString::fromStdString(standin::Block(index));
}

QString blockTexts(int from, int to) {
    QString text;
    for (int i = from; i <= to; ++i) {
        text += blockText(i);
    }
    return text;
}

} // namespace

class TestOutputView : public QObject {
    Q_OBJECT
private slots:
    void logDuringRun_data();
    void logDuringRun();
    void levelSwitchedDuringRun();
    void caretFollowsTheText();
    void windowAnswersWhileToolIsSilent();
    void closingDuringRunStopsTheTool();
};

void TestOutputView::logDuringRun_data() {
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<QString>("log");
    // The samples, then on a line of its own what came after the last of them.
    QTest::newRow("none, 120 blocks") << "Optlognone" << 120 << "..\n" + blockTexts(101, 120);
    QTest::newRow("none, 49 blocks") << "Optlognone" << 49 << blockTexts(1, 49);
    QTest::newRow("default, 120 blocks")
        << "Optlogdefault" << 120 << blockText(50) + blockText(100) + blockTexts(101, 120);
}

void TestOutputView::logDuringRun() {
    QFETCH(QString, level);
    QFETCH(int, blocks);
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_BLOCKS", QByteArray::number(blocks)}, {"STANDIN_RESULT", "1"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    window.findChild<QRadioButton*>(level)->setChecked(true);
    child<QPushButton>(window, "cmdExecute")->click();
    QTEST(child<LogTextBox>(window, "txtOutputs")->Text(), "log");
    QCOMPARE(messages.texts(), QStringList{"done"});
}

void TestOutputView::levelSwitchedDuringRun() {
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_BLOCKS", "150"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    auto* log = child<LogTextBox>(window, "txtOutputs");
    child<QRadioButton>(window, "Optlogdefault")->setChecked(true);
    // Once a block has been shown, the user picks None.
    connect(
        window.runner(), &DOSOutputs::ReceiveOutputs, this,
        [&](const QString& piece) {
            if (piece != ".") {
                child<QRadioButton>(window, "Optlognone")->setChecked(true);
            }
        },
        Qt::DirectConnection);
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(log->Text(), blockText(50) + "..");
}

void TestOutputView::caretFollowsTheText() {
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_BLOCKS", "100"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    window.findChild<QRadioButton*>("Optlogverbose")->setChecked(true);
    auto* log = child<LogTextBox>(window, "txtOutputs");
    QList<qsizetype> caretAtReports;
    bool emptiedAtStart = false;
    connect(log, &LogTextBox::Change, this, [&] {
        if (log->Text().isEmpty()) {
            emptiedAtStart = log->SelStart() == 0;
        }
    });
    connect(
        window.runner(), &DOSOutputs::ReceiveOutputs, this,
        [&] { caretAtReports.append(log->SelStart()); }, Qt::DirectConnection);
    child<QPushButton>(window, "cmdExecute")->click();
    QVERIFY(emptiedAtStart);
    // Each report is seen by the test after the window's own handler has appended it.
    QCOMPARE(caretAtReports, (QList<qsizetype>{256, 512}));
    QCOMPARE(log->SelStart(), log->Text().size());
    const qsizetype firstShown = log->FirstShownLine(); // brings the view up to date
    QCOMPARE(firstShown, log->verticalScrollBar()->maximum());
}

void TestOutputView::windowAnswersWhileToolIsSilent() {
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_SILENT_MS", "1000"}, {"STANDIN_RESULT", "1"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(20);
    child<QPushButton>(window, "cmdExecute")->click();
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    QCOMPARE(messages.texts(), QStringList{"done"});
}

void TestOutputView::closingDuringRunStopsTheTool() {
    ToolFolder folder;
    const QString pidFile = folder.video("pid.txt");
    StandinEnvironment env{{"STANDIN_RESULT", "1"},
                           {"STANDIN_RECORD_PID", pidFile.toUtf8()},
                           {"STANDIN_SLEEP_FOREVER", "1"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    child<QLineEdit>(window, "TxtCor")->setText(folder.video("clip.mp4"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    bool timedOut = false;
    QTimer::singleShot(0, [&] { child<QPushButton>(window, "cmdExecute")->click(); });
    QTimer::singleShot(500, [&] { window.close(); });
    QTimer::singleShot(8000, [&] {
        timedOut = true;
        QApplication::exit(1);
    });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!timedOut);
    QVERIFY(!window.isVisible());
    QVERIFY(messages.shown.isEmpty()); // no "done"
    // The stopped run's output stays as the tool left it; nothing was renamed.
    QVERIFY(QFile::exists(folder.video("clip.mp4_untrunc.mp4")));
    QVERIFY(!QFile::exists(folder.video("clip-fixed.MP4")));
    const pid_t pid = readAll(pidFile).split('\n').first().toInt();
    QVERIFY(pid > 0);
    QCOMPARE(::kill(pid, 0), -1);
    QCOMPARE(errno, ESRCH);
}

QTEST_MAIN(TestOutputView)
#include "test_outputview.moc"
