#include "StandinFormat.h"
#include "WindowHarness.h"
#include "console/frmDOSOutput.h"
#include "platform/CommandLineRules.h"
#include "platform/Failure.h"
#include "platform/LogTextBox.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

const char* const runButtons[] = {"cmdExecute", "cmdExit", "Command1", "Command2"};

QList<bool> runButtonStates(const frmDOSOutput& window) {
    QList<bool> states;
    for (const char* name : runButtons) {
        states.append(child<QPushButton>(window, name)->isEnabled());
    }
    return states;
}

const QList<bool> allEnabled{true, true, true, true};
const QList<bool> allDisabled{false, false, false, false};

void choose(frmDOSOutput& window, const QString& reference, const QString& broken) {
    child<QLineEdit>(window, "TxtRef")->setText(reference);
    child<QLineEdit>(window, "TxtCor")->setText(broken);
}

QString text(const frmDOSOutput& window, const char* name) {
    return child<QLineEdit>(window, name)->text();
}

} // namespace

class TestExecute : public QObject {
    Q_OBJECT
private slots:
    void runWithTheTool();
    void levelSelectsTheVerboseOption_data();
    void levelSelectsTheVerboseOption();
    void missingToolEndsInDone();
    void failureLeavesButtonsDisabled();
    void resultGetsItsFinalName();
    void secondRunReplacesTheFirst();
    void noResultKeepsTheOlderFile();
    void failedRenameKeepsTheToolOutput();
    void boxChangedDuringRunRenamesOnlyThisRun();
};

void TestExecute::runWithTheTool() {
    ToolFolder folder;
    const QString argvFile = folder.video("argv.txt");
    StandinEnvironment env{{"STANDIN_BLOCKS", "50"}, {"STANDIN_RECORD_ARGV", argvFile.toUtf8()}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    choose(window, folder.video("good take.mp4"), folder.video("clip.mp4"));
    QList<QList<bool>> statesDuringRun;
    connect(
        window.runner(), &DOSOutputs::ReceiveOutputs, this,
        [&] { statesDuringRun.append(runButtonStates(window)); }, Qt::DirectConnection);
    QList<bool> statesWhileDone;
    messages.onShow = [&](const QString&) { statesWhileDone = runButtonStates(window); };

    child<QPushButton>(window, "cmdExecute")->click();

    QCOMPARE(statesDuringRun, (QList<QList<bool>>{allDisabled}));
    QCOMPARE(messages.texts(), QStringList{"done"});
    QCOMPARE(messages.shown.first().icon, MessageIcon::None);
    QCOMPARE(statesWhileDone, allDisabled);
    QCOMPARE(runButtonStates(window), allEnabled);
    // The line shown is the line run, and a path with a blank arrives as one argument.
    const QString line = text(window, "txtCommand");
    QCOMPARE(window.runner()->CommandLine(), line);
    const QStringList received =
        QString::fromUtf8(readAll(argvFile)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(received, SplitCommandLine(line));
    QCOMPARE(received.mid(1),
             (QStringList{"--gopm", "1", "--gopl", "1", folder.video("good take.mp4"),
                          folder.video("clip.mp4")}));
    QCOMPARE(received.first(), folder.appFolder() + "/untrunc-w");
}

void TestExecute::levelSelectsTheVerboseOption_data() {
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("none, interleave") << "Optlognone"
                                      << "Option2" << QStringList{"--gopm", "1", "--gopl", "1"};
    QTest::newRow("default, interleave") << "Optlogdefault"
                                         << "Option2" << QStringList{"--gopm", "1", "--gopl", "1"};
    QTest::newRow("verbose, samples per chunk")
        << "Optlogverbose"
        << "Option1" << QStringList{"--smpltrk", "0", "--uverbose"};
}

void TestExecute::levelSelectsTheVerboseOption() {
    QFETCH(QString, level);
    QFETCH(QString, mode);
    QFETCH(QStringList, options);
    ToolFolder folder;
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    window.findChild<QRadioButton*>(level)->setChecked(true);
    window.findChild<QRadioButton*>(mode)->setChecked(true);
    child<QPushButton>(window, "cmdExecute")->click();
    const QStringList args = SplitCommandLine(text(window, "txtCommand"));
    QCOMPARE(args.mid(1, options.size()), options);
    // With no files chosen, the boxes' prompts go in as they are.
    QCOMPARE(args.mid(options.size() + 1),
             (QStringList{"Select reference file", "Select corrupt file"}));
}

void TestExecute::missingToolEndsInDone() {
    ToolFolder folder(false);
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(messages.texts(), (QStringList{"File or command not found", "done"}));
    QCOMPARE(messages.shown.first().icon, MessageIcon::Critical);
    QCOMPARE(runButtonStates(window), allEnabled);
    QCOMPARE(window.runner()->CommandLine(), text(window, "txtCommand"));
}

// A failure inside the run's steps (here: while "done" is shown) skips the rest and
// leaves the buttons disabled.
void TestExecute::failureLeavesButtonsDisabled() {
    ToolFolder folder;
    MessageRecorder messages;
    messages.onShow = [](const QString& shown) {
        if (shown == "done") {
            throw Failure("Object variable not set", "Kestrel", 91);
        }
    };
    frmDOSOutput window(folder.appFolder());
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(messages.texts(), (QStringList{"done", "Object variable not set - Kestrel - 91"}));
    QCOMPARE(messages.shown.last().icon, MessageIcon::None);
    QCOMPARE(runButtonStates(window), allDisabled);
}

void TestExecute::resultGetsItsFinalName() {
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_RESULT", "1"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    choose(window, folder.video("good.mp4"), folder.video("trip.day2.MOV"));
    child<QPushButton>(window, "cmdExecute")->click();
    const QString finalName = folder.video("trip-fixed.MP4");
    QCOMPARE(window.newFilename(), finalName);
    QCOMPARE(readAll(finalName), QByteArray(standin::resultContent));
    QVERIFY(!QFile::exists(folder.video("trip.day2.MOV_untrunc.mp4")));
    QCOMPARE(messages.texts(), QStringList{"done"});
}

void TestExecute::secondRunReplacesTheFirst() {
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_RESULT", "1"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    choose(window, folder.video("good.mp4"), folder.video("clip.mp4"));
    const QString finalName = folder.video("clip-fixed.MP4");
    writeFile(finalName, "first run");
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(readAll(finalName), QByteArray(standin::resultContent));
    QCOMPARE(QDir(folder.videoFolder()).entryList(QDir::Files), QStringList{"clip-fixed.MP4"});
}

void TestExecute::noResultKeepsTheOlderFile() {
    ToolFolder folder;
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    choose(window, folder.video("good.mp4"), folder.video("clip.mp4"));
    const QString finalName = folder.video("clip-fixed.MP4");
    writeFile(finalName, "older result");
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(readAll(finalName), QByteArray("older result"));
    QCOMPARE(window.newFilename(), finalName);
    QCOMPARE(messages.texts(), QStringList{"done"});
}

void TestExecute::failedRenameKeepsTheToolOutput() {
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_RESULT", "1"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    choose(window, folder.video("good.mp4"), folder.video("clip.mp4"));
    QVERIFY(QDir().mkdir(folder.video("clip-fixed.MP4")));
    child<QPushButton>(window, "cmdExecute")->click();
    const QString toolOutput = folder.video("clip.mp4_untrunc.mp4");
    QCOMPARE(readAll(toolOutput), QByteArray(standin::resultContent));
    QCOMPARE(window.newFilename(), toolOutput);
    const QString log = child<LogTextBox>(window, "txtOutputs")->Text();
    QCOMPARE(log.count('\n'), 1);
    QVERIFY(log.contains(toolOutput));
    QVERIFY(log.contains(folder.video("clip-fixed.MP4")));
    QCOMPARE(messages.texts(), QStringList{"done"});
}

void TestExecute::boxChangedDuringRunRenamesOnlyThisRun() {
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_BLOCKS", "50"}, {"STANDIN_RESULT", "1"}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    choose(window, folder.video("good.mp4"), folder.video("clip.mp4"));
    // Another video's files that this run must not touch.
    for (const char* name : {"other.mp4_untrunc.mp4", "other-fixed.MP4"}) {
        writeFile(folder.video(name), name);
    }
    connect(
        window.runner(), &DOSOutputs::ReceiveOutputs, this,
        [&] { child<QLineEdit>(window, "TxtCor")->setText(folder.video("other.mp4")); },
        Qt::DirectConnection);
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(window.newFilename(), folder.video("clip-fixed.MP4"));
    QCOMPARE(readAll(folder.video("clip-fixed.MP4")), QByteArray(standin::resultContent));
    QCOMPARE(readAll(folder.video("other.mp4_untrunc.mp4")), QByteArray("other.mp4_untrunc.mp4"));
    QCOMPARE(readAll(folder.video("other-fixed.MP4")), QByteArray("other-fixed.MP4"));
}

QTEST_MAIN(TestExecute)
#include "test_execute.moc"
