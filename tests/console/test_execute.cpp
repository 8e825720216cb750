#include "StandinFormat.h"
#include "WindowHarness.h"
#include "console/PathFunctions.h"
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
    void missingToolShowsOnlyTheRunnersBox();
    void failurePathEnablesTheButtons();
    void renaming_data();
    void renaming();
    void boxChangedDuringRunRenamesOnlyThisRun();
};

void TestExecute::runWithTheTool() {
    ToolFolder folder;
    const QString argvFile = folder.video("argv.txt");
    StandinEnvironment env{{"STANDIN_BLOCKS", "50"},
                           {"STANDIN_RECORD_ARGV", argvFile.toUtf8()},
                           {"STANDIN_RESULT", "1"}};
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

// The runner's own box is the only one: no "done" and no second box after it.
void TestExecute::missingToolShowsOnlyTheRunnersBox() {
    ToolFolder folder(false);
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(messages.texts(), QStringList{"File or command not found"});
    QCOMPARE(messages.shown.first().icon, MessageIcon::Critical);
    QCOMPARE(runButtonStates(window), allEnabled);
    QCOMPARE(window.runner()->CommandLine(), text(window, "txtCommand"));
}

// A failure inside the run's steps (here: while the closing box is shown) skips the rest,
// shows the three-part message, and leaves the window usable, Exit included.
void TestExecute::failurePathEnablesTheButtons() {
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_RESULT", "1"}};
    MessageRecorder messages;
    QList<bool> statesInFailureBox;
    frmDOSOutput window(folder.appFolder());
    messages.onShow = [&](const QString& shown) {
        if (shown == "done") {
            throw Failure("Object variable not set", "Kestrel", 91);
        }
        statesInFailureBox = runButtonStates(window);
    };
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(messages.texts(), (QStringList{"done", "Object variable not set - Kestrel - 91"}));
    QCOMPARE(messages.shown.last().icon, MessageIcon::None);
    QCOMPARE(statesInFailureBox, allDisabled);
    QCOMPARE(runButtonStates(window), allEnabled);
}

void TestExecute::renaming_data() {
    QTest::addColumn<QString>("broken");
    QTest::addColumn<bool>("toolWritesResult");
    QTest::addColumn<QString>("underFinalName"); // "", "file" or "folder" before the run
    QTest::addColumn<QString>("named");          // what newfilename names afterwards
    QTest::addColumn<QByteArray>("content");     // of that file
    QTest::addColumn<QStringList>("files");      // in the video folder afterwards
    QTest::addColumn<int>("logLines");
    QTest::addColumn<QString>("closing"); // the closing box's text up to its first colon
    const QByteArray result(standin::resultContent);
    QTest::newRow("cut at the first dot")
        << "trip.day2.MOV" << true << ""
        << "trip-fixed.MP4" << result << QStringList{"trip-fixed.MP4"} << 0 << "done";
    QTest::newRow("second run replaces the first")
        << "clip.mp4" << true << "file"
        << "clip-fixed.MP4" << result << QStringList{"clip-fixed.MP4"} << 0 << "done";
    QTest::newRow("no result keeps the older file")
        << "clip.mp4" << false << "file"
        << "clip-fixed.MP4" << QByteArray("older result") << QStringList{"clip-fixed.MP4"} << 0
        << "The repair did not succeed";
    QTest::newRow("failed rename keeps the tool output")
        << "clip.mp4" << true << "folder"
        << "clip.mp4_untrunc.mp4" << result << QStringList{"clip.mp4_untrunc.mp4"} << 1 << "done";
}

void TestExecute::renaming() {
    QFETCH(QString, broken);
    QFETCH(bool, toolWritesResult);
    QFETCH(QString, underFinalName);
    QFETCH(QString, named);
    QFETCH(int, logLines);
    ToolFolder folder;
    StandinEnvironment env{{"STANDIN_RESULT", toolWritesResult ? "1" : ""}};
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    choose(window, folder.video("good.mp4"), folder.video(broken));
    const QString finalName = folder.video(RootName(broken) + "-fixed.MP4");
    if (underFinalName == "file") {
        writeFile(finalName, "older result");
    } else if (underFinalName == "folder") {
        QVERIFY(QDir().mkdir(finalName));
    }
    child<QPushButton>(window, "cmdExecute")->click();
    QCOMPARE(window.newFilename(), folder.video(named));
    QTEST(readAll(window.newFilename()), "content");
    QTEST(QDir(folder.videoFolder()).entryList(QDir::Files), "files");
    const QString log = child<LogTextBox>(window, "txtOutputs")->Text();
    QCOMPARE(int(log.count('\n')), logLines);
    if (logLines > 0) {
        QVERIFY(log.contains(folder.video(broken) + "_untrunc.mp4"));
        QVERIFY(log.contains(finalName));
    }
    QCOMPARE(messages.texts().size(), 1);
    QTEST(messages.texts().first().section(':', 0, 0), "closing");
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
