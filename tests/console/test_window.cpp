#include "WindowHarness.h"
#include "console/HelpText.h"
#include "pickers/FilePicker.h"
#include "platform/Launch.h"
#include "platform/LogTextBox.h"
#include "platform/SpinScrollBar.h"
#include "support/Layout.h"

#include <QMimeData>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleOptionSlider>

namespace {

// Presses an arrow of the scroll bar with the mouse, where the style draws it.
void clickArrow(SpinScrollBar* bar, bool top) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.pageStep = bar->pageStep();
    const auto part = top ? QStyle::SC_ScrollBarSubLine : QStyle::SC_ScrollBarAddLine;
    const QRect rect = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, rect.center());
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void startState() {
        frmDOSOutput window("/opt/kestrel");
        QVERIFY(showWindow(window));
        checkLayout(window);
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(QApplication::focusWidget(), child<QWidget>(window, "cmdExecute"));
        // Each spinner's box shows its value; no box takes typing.
        for (const auto& [bar, box] : {std::pair{"VScroll1", "Txtgopm"},
                                       {"VScroll2", "Txtgopl"},
                                       {"VScroll3", "Txtsmpltrk"}}) {
            QCOMPARE(child<QLineEdit>(window, box)->text(),
                     QString::number(child<SpinScrollBar>(window, bar)->Value()));
        }
        for (const QLineEdit* box : window.findChildren<QLineEdit*>()) {
            QVERIFY2(box->isReadOnly(), qPrintable(box->objectName()));
        }
        // The help in the log with Windows line ends, shown whole, its end in view.
        auto* log = child<LogTextBox>(window, "txtOutputs");
        QCOMPARE(log->Text(), HelpText());
        QCOMPARE(log->Text().count(u'\n'), log->Text().count(QStringLiteral("\r\n")));
        QCOMPARE(log->ShownText(), QString(HelpText()).replace(QStringLiteral("\r\n"), "\n"));
        QVERIFY(QFontInfo(log->font()).fixedPitch());
        QCOMPARE(log->SelStart(), log->Text().size());
        const qsizetype firstShown = log->FirstShownLine(); // brings the view up to date
        QCOMPARE(firstShown, log->verticalScrollBar()->maximum());
        QVERIFY(window.newFilename().isEmpty());
    }

    void keys_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("executes");
        QTest::newRow("Enter on Execute") << "cmdExecute" << int(Qt::Key_Return) << true;
        QTest::newRow("Enter in the log") << "txtOutputs" << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter in a path box") << "TxtRef" << int(Qt::Key_Enter) << true;
        QTest::newRow("Enter on an option") << "Optlognone" << int(Qt::Key_Return) << true;
        QTest::newRow("Enter on Exit") << "cmdExit" << int(Qt::Key_Return) << true;
        QTest::newRow("Escape does nothing") << "cmdExecute" << int(Qt::Key_Escape) << false;
    }

    void keys() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(bool, executes);
        MessageRecorder messages;
        frmDOSOutput window("/nonexistent");
        QVERIFY(showWindow(window));
        QApplication::setActiveWindow(&window);
        window.findChild<QWidget*>(focus)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(messages.texts(),
                 executes ? QStringList{"File or command not found"} : QStringList{});
        QCOMPARE(
            child<QLineEdit>(window, "txtCommand")->text().startsWith("/nonexistent/untrunc-w"),
            executes);
        QVERIFY(window.isVisible());
        QCOMPARE(runButtonStates(window), allEnabled);
    }

    void spinners_data() {
        QTest::addColumn<int>("bar"); // VScroll1 (gopm), 2 (gopl) or 3 (smpltrk)
        QTest::addColumn<int>("up");
        QTest::addColumn<int>("down");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("changes");
        QTest::newRow("gopm one up") << 1 << 1 << 0 << "2" << 1;
        QTest::newRow("gopm stops at the top") << 1 << 70 << 0 << "64" << 63;
        QTest::newRow("gopm down at the bottom") << 1 << 0 << 1 << "1" << 0;
        QTest::newRow("gopl up and down") << 2 << 5 << 2 << "4" << 7;
        QTest::newRow("smpltrk stops at the top") << 3 << 105 << 0 << "100" << 100;
        QTest::newRow("smpltrk back to zero") << 3 << 3 << 5 << "0" << 6;
    }

    void spinners() {
        QFETCH(int, bar);
        QFETCH(int, up);
        QFETCH(int, down);
        frmDOSOutput window("/opt/kestrel");
        QVERIFY(showWindow(window));
        auto* spinner =
            child<SpinScrollBar>(window, qPrintable(QStringLiteral("VScroll%1").arg(bar)));
        const auto* box =
            child<QLineEdit>(window, QList{"Txtgopm", "Txtgopl", "Txtsmpltrk"}[bar - 1]);
        QSignalSpy changes(spinner, &SpinScrollBar::Change);
        for (int i = 0; i < up + down; ++i) {
            clickArrow(spinner, i < up);
        }
        QTEST(box->text(), "text");
        QTEST(int(changes.count()), "changes");
        QCOMPARE(QString::number(spinner->Value()), box->text());
    }

    void switchingModeLeavesValues() {
        frmDOSOutput window("/opt/kestrel");
        QVERIFY(showWindow(window));
        clickArrow(child<SpinScrollBar>(window, "VScroll1"), true);
        clickArrow(child<SpinScrollBar>(window, "VScroll3"), true);
        for (const char* mode : {"Option1", "Option2", "Option1"}) {
            auto* option = child<QRadioButton>(window, mode);
            QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
            QVERIFY(option->isChecked());
            QCOMPARE(child<QLineEdit>(window, "Txtgopm")->text(), QString("2"));
            QCOMPARE(child<QLineEdit>(window, "Txtsmpltrk")->text(), QString("1"));
            QVERIFY(child<SpinScrollBar>(window, "VScroll1")->isEnabled());
            QVERIFY(child<SpinScrollBar>(window, "VScroll3")->isEnabled());
        }
    }

    void drop_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("items"); // in the video folder; "" is the folder itself
        QTest::addColumn<QString>("written");   // the file whose path the target then holds
        QTest::newRow("a video on TxtRef") << "TxtRef" << QStringList{"good.mp4"} << "good.mp4";
        // Named as the picker names it: by the folder's own path.
        QTest::newRow("through a linked folder on TxtCor")
            << "TxtCor" << QStringList{"linked/clip.mp4"} << "clip.mp4";
        QTest::newRow("a folder") << "TxtRef" << QStringList{""} << "";
        QTest::newRow("two videos") << "TxtCor" << QStringList{"good.mp4", "clip.mp4"} << "";
        QTest::newRow("a missing file") << "TxtRef" << QStringList{"gone.mp4"} << "";
        QTest::newRow("on the log") << "txtOutputs" << QStringList{"clip.mp4"} << "";
        QTest::newRow("on the command box") << "txtCommand" << QStringList{"clip.mp4"} << "";
    }

    // A file dragged from a file manager and dropped on a file box is taken as if chosen in
    // its picker; anything else dropped anywhere changes nothing.
    void drop() {
        QFETCH(QString, target);
        QFETCH(QStringList, items);
        QFETCH(QString, written);
        const ToolFolder folder(false);
        writeFile(folder.video("good.mp4"), "good");
        writeFile(folder.video("clip.mp4"), "clip");
        QVERIFY(QFile::link(folder.videoFolder(), folder.video("linked")));
        frmDOSOutput window(folder.appFolder());
        const QStringList boxes{"TxtRef", "TxtCor", "txtCommand"};
        QStringList expected, texts;
        for (const QString& box : boxes) {
            expected.append(box == target && !written.isEmpty()
                                ? QDir(folder.videoFolder()).canonicalPath() + "/" + written
                                : child<QLineEdit>(window, qPrintable(box))->text());
        }
        QList<QUrl> urls;
        for (const QString& item : items) {
            urls.append(
                QUrl::fromLocalFile(item.isEmpty() ? folder.videoFolder() : folder.video(item)));
        }
        QMimeData data;
        data.setUrls(urls);
        QWidget* on = child<QWidget>(window, qPrintable(target));
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(QPoint(4, 4), offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &enter);
        QDropEvent drop(QPointF(4, 4), offered, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &drop);
        for (const QString& box : boxes) {
            texts.append(child<QLineEdit>(window, qPrintable(box))->text());
        }
        QCOMPARE(texts, expected);
        QCOMPARE(enter.isAccepted() && drop.isAccepted(), !written.isEmpty());
        // An accepted move would make the file manager delete the video.
        QVERIFY(!drop.isAccepted() || drop.dropAction() == Qt::CopyAction);
        QCOMPARE(child<LogTextBox>(window, "txtOutputs")->Text(), HelpText());
    }

    void programEnds_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Exit") << "exit";
        QTest::newRow("Exit with a picker shown and one hidden") << "pickers";
        // Another top-level window must not keep the program alive.
        QTest::newRow("closed while idle, another window up") << "close";
    }

    void programEnds() {
        QFETCH(QString, how);
        frmDOSOutput window("/opt/kestrel");
        QVERIFY(showWindow(window));
        QWidget other;
        if (how == "pickers") {
            child<QPushButton>(window, "Command1")->click();
            child<QPushButton>(window, "Command2")->click();
            window.frmCorFile()->cmdCancel_Click();
        } else if (how == "close") {
            other.show();
        }
        QVERIFY(programEndsAfter([&] {
            how == "close" ? void(window.close()) : child<QPushButton>(window, "cmdExit")->click();
        }));
        QVERIFY(how == "close" ? !window.isVisible() : window.runner() == nullptr);
        QVERIFY(window.frmRefFile() == nullptr && window.frmCorFile() == nullptr);
    }

    void previewBeforeAnyRun_data() {
        QTest::addColumn<bool>("player");
        QTest::newRow("player there") << true;
        QTest::newRow("no player") << false;
    }

    // With no repaired video yet the player starts without one. The application folder holds
    // a blank, so the player's path is quoted.
    void previewBeforeAnyRun() {
        QFETCH(bool, player);
        ToolFolder folder(false, player);
        const QString argvFile = folder.video("player-argv.txt");
        const ScopedEnvironment env({{"STANDIN_RECORD_ARGV", argvFile.toUtf8()}});
        MessageRecorder messages;
        frmDOSOutput window(folder.appFolder());
        child<QPushButton>(window, "Command3")->click();
        const QString path = folder.appFolder() + "/ffplay";
        QCOMPARE(messages.shown.value(0).text, '"' + path + "\" ");
        QCOMPARE(messages.shown.size(), player ? 1 : 2);
        if (player) {
            QTRY_COMPARE(readLines(argvFile), QStringList{path});
        } else {
            QCOMPARE(messages.shown.last().icon, MessageIcon::Critical);
            QVERIFY(messages.shown.last().text.contains(path));
            QCOMPARE(runButtonStates(window), allEnabled);
        }
    }

    void linkOpensTheMakersSite_data() {
        QTest::addColumn<bool>("browserOpens");
        QTest::newRow("browser opens") << true;
        QTest::newRow("no browser") << false;
    }

    void linkOpensTheMakersSite() {
        QFETCH(bool, browserOpens);
        QList<QUrl> opened;
        const UrlOpener previous = SetUrlOpener([&](const QUrl& url) {
            opened.append(url);
            return browserOpens;
        });
        MessageRecorder messages;
        frmDOSOutput window("/opt/kestrel");
        QVERIFY(showWindow(window));
        auto* link = child<QLabel>(window, "Label5");
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(link, Qt::LeftButton);
        SetUrlOpener(previous);
        QCOMPARE(opened, QList<QUrl>{QUrl("http://kestrel.example.org")});
        QVERIFY(messages.shown.isEmpty());
        QVERIFY(window.isVisible());
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
