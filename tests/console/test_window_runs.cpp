#include "WindowHarness.h"
#include "platform/CommandLineRules.h"
#include "platform/Failure.h"
#include "platform/LogTextBox.h"

#include <QRadioButton>
#include <QTimer>
#include <cerrno>
#include <csignal>

namespace {

void choose(frmDOSOutput& window, const QString& reference, const QString& broken) {
    child<QLineEdit>(window, "TxtRef")->setText(reference);
    child<QLineEdit>(window, "TxtCor")->setText(broken);
}

QString text(const frmDOSOutput& window, const char* name) {
    return child<QLineEdit>(window, name)->text();
}

QString logText(const frmDOSOutput& window) {
    return child<LogTextBox>(window, "txtOutputs")->Text();
}

// Runs action, directly, each time the runner reports.
void onReport(frmDOSOutput& window, const std::function<void(const QString&)>& action) {
    QObject::connect(window.runner(), &DOSOutputs::ReceiveOutputs, &window, action,
                     Qt::DirectConnection);
}

} // namespace

// A run from the window: the command line, the box at its end, the log, the buttons, the
// renamed result and the preview of it.
class TestWindowRuns : public QObject {
    Q_OBJECT
private slots:
    void runWithTheTool() {
        ToolFolder folder;
        const QString argvFile = folder.video("argv.txt");
        const ScopedEnvironment env({{"STANDIN_BLOCKS", "50"},
                                     {"STANDIN_RECORD_ARGV", argvFile.toUtf8()},
                                     {"STANDIN_RESULT", "1"}});
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        choose(window, folder.video("good take.mp4"), folder.video("clip.mp4"));
        QList<QList<bool>> statesDuringRun;
        onReport(window, [&](const QString&) { statesDuringRun.append(runButtonStates(window)); });
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
        QCOMPARE(readLines(argvFile),
                 (QStringList{folder.appFolder() + "/untrunc-w", "--gopm", "1", "--gopl", "1",
                              folder.video("good take.mp4"), folder.video("clip.mp4")}));
    }

    void levelAndModeSelectTheOptions_data() {
        QTest::addColumn<QString>("level");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("options");
        const QStringList interleave{"--gopm", "1", "--gopl", "1"};
        // None with interleave is the window as it opens: runWithTheTool.
        QTest::newRow("default, interleave") << QString("Optlogdefault") << "Option2" << interleave;
        QTest::newRow("verbose, samples per chunk")
            << QString("Optlogverbose") << "Option1" << QStringList{"--smpltrk", "0", "--uverbose"};
    }

    void levelAndModeSelectTheOptions() {
        QFETCH(QString, level);
        QFETCH(QString, mode);
        QFETCH(QStringList, options);
        ToolFolder folder;
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        window.findChild<QRadioButton*>(level)->setChecked(true);
        window.findChild<QRadioButton*>(mode)->setChecked(true);
        child<QPushButton>(window, "cmdExecute")->click();
        // With no files chosen, the boxes' prompts go in as they are.
        QCOMPARE(SplitCommandLine(text(window, "txtCommand")).mid(1),
                 (options + QStringList{"Select reference file", "Select corrupt file"}));
    }

    // A failure inside the run's steps (here: while the closing box is shown) skips the rest,
    // shows the three-part message, and leaves the window usable, Exit included.
    void failurePathEnablesTheButtons() {
        ToolFolder folder;
        const ScopedEnvironment env({{"STANDIN_RESULT", "1"}});
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
        QCOMPARE(statesInFailureBox, allDisabled);
        QCOMPARE(runButtonStates(window), allEnabled);
    }

    void closingBox_data() {
        QTest::addColumn<QString>("level");
        QTest::addColumn<Variables>("tool");
        QTest::addColumn<QString>("box"); // %1: the video folder; "done" alone for success
        QTest::addColumn<QString>("log");
        QTest::addColumn<bool>("renamed");
        const QString failed = "The repair did not succeed: untrunc-w ";
        const QString partial = "The repair is partial: untrunc-w ";
        const QString saved = "\nWhat it wrote is saved as %1/clip-fixed.MP4.";
        const QString block120 = standinBlocks(120, 120);
        QTest::newRow("status 4 with a reason on standard error")
            << "Optlognone"
            << Variables{{"STANDIN_REASON", "no media found"}, {"STANDIN_EXIT", "4"}}
            << failed + "ended with exit status 4.\nIts last line: no media found"
            << "no media found\n"
            << false;
        QTest::newRow("killed by a signal")
            << "Optlogverbose" << Variables{{"STANDIN_BLOCKS", "120"}, {"STANDIN_SIGNAL", "9"}}
            << failed + "was ended by signal 9 (Killed).\nIts last line: ..." +
                   block120.trimmed().right(200)
            << standinBlocks(50, 50) + standinBlocks(100, 120) << false;
        QTest::newRow("killed, nothing written")
            << "Optlognone" << Variables{{"STANDIN_SIGNAL", "15"}}
            << failed + "was ended by signal 15 (Terminated).\nIt wrote nothing."
            << "" << false;
        QTest::newRow("no result file")
            << "Optlogdefault" << Variables{{"STANDIN_REASON", "nothing to repair"}}
            << failed + "ended with exit status 0 but left no result.\n"
                        "Its last line: nothing to repair"
            << "nothing to repair\n"
            << false;
        QTest::newRow("partial result with status 6, progress redrawn with CR")
            << "Optlognone"
            << Variables{{"STANDIN_BLOCKS", "60"},
                         {"STANDIN_RESULT", "1"},
                         {"STANDIN_REASON", "10%\r3 of 4 s  \r\n"},
                         {"STANDIN_EXIT", "6"}}
            << partial + "ended with exit status 6.\nIts last line: 3 of 4 s" + saved
            << ".\n" + standinBlocks(51, 60) + "10%\r3 of 4 s  \r\n\n"
            << true;
        QTest::newRow("result, output closed while the tool ran on")
            << "Optlognone"
            << Variables{{"STANDIN_RESULT", "1"},
                         {"STANDIN_REASON", "done writing"},
                         {"STANDIN_CLOSE_EARLY_MS", "300"}}
            << partial +
                   "closed its output before it ended; its exit status is unknown.\n"
                   "Its last line: done writing" +
                   saved
            << "done writing\n"
            << true;
        // A successful run says "done" alone; what came after the log's last sample, a
        // summary for one, is still added to the log.
        QTest::newRow("none, 100 blocks, then a summary")
            << "Optlognone"
            << Variables{{"STANDIN_BLOCKS", "100"},
                         {"STANDIN_REASON", "recovered: all"},
                         {"STANDIN_RESULT", "1"}}
            << "done"
            << "..\nrecovered: all\n"
            << true;
        const QByteArray summary("recovered: 4.0 s of video\nwrote clip.mp4_untrunc.mp4");
        for (const char* level : {"Optlognone", "Optlogverbose"}) {
            QTest::addRow("short success, %s", level)
                << level << Variables{{"STANDIN_REASON", summary}, {"STANDIN_RESULT", "1"}}
                << "done" << QString::fromLatin1(summary + "\n") << true;
        }
    }

    // How the window ends a run: when the tool failed, in each way a tool can, the box says
    // so with the tool's last line and how it ended; the log gets what it had not shown of
    // the tool's output, a result the tool left is renamed, and the buttons come back.
    void closingBox() {
        QFETCH(QString, level);
        QFETCH(Variables, tool);
        QFETCH(QString, box);
        QFETCH(bool, renamed);
        ToolFolder folder;
        const ScopedEnvironment env(tool);
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        child<QRadioButton>(window, qPrintable(level))->setChecked(true);
        choose(window, folder.video("good.mp4"), folder.video("clip.mp4"));
        QList<bool> statesInBox;
        QString logInBox;
        messages.onShow = [&](const QString&) {
            statesInBox = runButtonStates(window);
            logInBox = logText(window);
        };

        child<QPushButton>(window, "cmdExecute")->click();

        QCOMPARE(messages.texts(), QStringList{box.arg(folder.videoFolder())});
        QCOMPARE(messages.shown.first().icon,
                 box == "done" ? MessageIcon::None : MessageIcon::Critical);
        // The reason is in the log while the box is open, where it can be read and copied.
        QTEST(logInBox, "log");
        QTEST(logText(window), "log");
        QCOMPARE(QFile::exists(folder.video("clip-fixed.MP4")), renamed);
        QVERIFY(!QFile::exists(folder.video("clip.mp4_untrunc.mp4")));
        QCOMPARE(statesInBox, allDisabled);
        QCOMPARE(runButtonStates(window), allEnabled);
    }

    void renaming_data() {
        QTest::addColumn<QString>("broken");
        QTest::addColumn<bool>("toolWritesResult");
        QTest::addColumn<QString>("underFinalName"); // "", "file" or "folder" before the run
        QTest::addColumn<QString>("named");          // what newfilename names afterwards
        QTest::addColumn<QByteArray>("content");     // of that file
        QTest::addColumn<QStringList>("files");      // in the video folder afterwards
        QTest::addColumn<int>("logLines");
        const QByteArray result(standin::resultContent);
        QTest::newRow("cut at the first dot of the name")
            << "trip.day2.MOV" << true << ""
            << "trip-fixed.MP4" << result << QStringList{"trip-fixed.MP4"} << 0;
        QTest::newRow("no dot") << "clip" << true << ""
                                << "clip_untrunc-fixed.MP4" << result
                                << QStringList{"clip_untrunc-fixed.MP4"} << 0;
        QTest::newRow("second run replaces the first")
            << "clip.mp4" << true << "file"
            << "clip-fixed.MP4" << result << QStringList{"clip-fixed.MP4"} << 0;
        QTest::newRow("no result keeps the older file")
            << "clip.mp4" << false << "file"
            << "clip-fixed.MP4" << QByteArray("older result") << QStringList{"clip-fixed.MP4"} << 0;
        QTest::newRow("failed rename keeps the tool output")
            << "clip.mp4" << true << "folder"
            << "clip.mp4_untrunc.mp4" << result << QStringList{"clip.mp4_untrunc.mp4"} << 1;
    }

    void renaming() {
        QFETCH(QString, broken);
        QFETCH(bool, toolWritesResult);
        QFETCH(QString, underFinalName);
        QFETCH(QString, named);
        QFETCH(int, logLines);
        ToolFolder folder;
        const ScopedEnvironment env({{"STANDIN_RESULT", toolWritesResult ? "1" : ""}});
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        choose(window, folder.video("good.mp4"), folder.video(broken));
        const QString finalName = folder.video(broken.section('.', 0, 0) + "-fixed.MP4");
        if (underFinalName == "file") {
            writeFile(finalName, "older result");
        } else if (underFinalName == "folder") {
            QVERIFY(QDir().mkdir(finalName));
        }
        child<QPushButton>(window, "cmdExecute")->click();
        QCOMPARE(window.newFilename(), folder.video(named));
        QTEST(readAll(window.newFilename()), "content");
        QTEST(QDir(folder.videoFolder()).entryList(QDir::Files), "files");
        QCOMPARE(int(logText(window).count('\n')), logLines);
        if (logLines > 0) {
            QVERIFY(logText(window).contains(folder.video(broken) + "_untrunc.mp4"));
            QVERIFY(logText(window).contains(finalName));
        }
        QCOMPARE(messages.texts().size(), 1);
    }

    void boxChangedDuringRunRenamesOnlyThisRun() {
        ToolFolder folder;
        const ScopedEnvironment env({{"STANDIN_BLOCKS", "50"}, {"STANDIN_RESULT", "1"}});
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        choose(window, folder.video("good.mp4"), folder.video("clip.mp4"));
        // Another video's files that this run must not touch.
        for (const char* name : {"other.mp4_untrunc.mp4", "other-fixed.MP4"}) {
            writeFile(folder.video(name), name);
        }
        onReport(window, [&](const QString&) {
            child<QLineEdit>(window, "TxtCor")->setText(folder.video("other.mp4"));
        });
        child<QPushButton>(window, "cmdExecute")->click();
        QCOMPARE(window.newFilename(), folder.video("clip-fixed.MP4"));
        QCOMPARE(readAll(folder.video("clip-fixed.MP4")), QByteArray(standin::resultContent));
        QCOMPARE(readAll(folder.video("other.mp4_untrunc.mp4")),
                 QByteArray("other.mp4_untrunc.mp4"));
        QCOMPARE(readAll(folder.video("other-fixed.MP4")), QByteArray("other-fixed.MP4"));
    }

    void previewAfterARun() {
        ToolFolder folder(true, true);
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        child<QLineEdit>(window, "TxtCor")->setText(folder.video("day one.take 2.mp4"));
        {
            const ScopedEnvironment env({{"STANDIN_RESULT", "1"}});
            child<QPushButton>(window, "cmdExecute")->click();
        }
        const QString argvFile = folder.video("player-argv.txt");
        const ScopedEnvironment env({{"STANDIN_RECORD_ARGV", argvFile.toUtf8()}});
        child<QPushButton>(window, "Command3")->click();
        const QString finalName = folder.video("day one-fixed.MP4");
        QCOMPARE(messages.texts().size(), 2);
        QVERIFY(messages.texts().last().endsWith(" \"" + finalName + '"'));
        QTRY_COMPARE(readLines(argvFile), (QStringList{folder.appFolder() + "/ffplay", finalName}));
    }

    void caretFollowsTheText() {
        ToolFolder folder;
        const ScopedEnvironment env({{"STANDIN_BLOCKS", "100"}});
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        child<QRadioButton>(window, "Optlogverbose")->setChecked(true);
        auto* log = child<LogTextBox>(window, "txtOutputs");
        QList<qsizetype> caretAtReports;
        onReport(window, [&](const QString&) { caretAtReports.append(log->SelStart()); });
        child<QPushButton>(window, "cmdExecute")->click();
        // Each report is seen by the test after the window's own handler has appended it.
        QCOMPARE(caretAtReports, (QList<qsizetype>{256, 512}));
        const qsizetype firstShown = log->FirstShownLine(); // brings the view up to date
        QCOMPARE(firstShown, log->verticalScrollBar()->maximum());
    }

    // The window answers while the tool is silent: closing it stops the run.
    void closingDuringRunStopsTheTool() {
        ToolFolder folder;
        const QString pidFile = folder.video("pid.txt");
        const ScopedEnvironment env({{"STANDIN_RESULT", "1"},
                                     {"STANDIN_RECORD_PID", pidFile.toUtf8()},
                                     {"STANDIN_SLEEP_FOREVER", "1"}});
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        child<QLineEdit>(window, "TxtCor")->setText(folder.video("clip.mp4"));
        QVERIFY(showWindow(window));
        QTimer::singleShot(500, [&] { window.close(); });
        QVERIFY(programEndsAfter([&] { child<QPushButton>(window, "cmdExecute")->click(); }, 8000));
        QVERIFY(!window.isVisible());
        QVERIFY(messages.shown.isEmpty()); // no "done"
        // The stopped run's output stays as the tool left it; nothing was renamed.
        QVERIFY(QFile::exists(folder.video("clip.mp4_untrunc.mp4")));
        QVERIFY(!QFile::exists(folder.video("clip-fixed.MP4")));
        const pid_t pid = readLines(pidFile).value(0).toInt();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid, 0), -1);
        QCOMPARE(errno, ESRCH);
    }
};

QTEST_MAIN(TestWindowRuns)
#include "test_window_runs.moc"
