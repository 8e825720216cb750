#include "WindowHarness.h"
#include "console/HelpText.h"
#include "console/frmDOSOutput.h"
#include "pickers/FilePicker.h"
#include "platform/LogTextBox.h"
#include "platform/SpinScrollBar.h"
#include "platform/Twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void controls_data();
    void controls();
    void startState();
    void tabChain();
    void helpText();
    void fonts();
    void optionGroupsAreIndependent_data();
    void optionGroupsAreIndependent();
    void enterPressesExecute_data();
    void enterPressesExecute();
    void escapePressesNothing();
    void browseButtonsOpenTheirPickers();
    void dropOnTheWindow_data();
    void dropOnTheWindow();
    void exitEndsTheProgram();
    void exitWithPickersOpenLeavesNoWindow();
    void closingWhileIdleEndsTheProgram();
};

void TestMainWindow::controls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    auto row = [](const char* name, const char* kind, const char* container, const QString& caption,
                  int l, int t, int w, int h) {
        QTest::newRow(name) << kind << container << caption << QRect(l, t, w, h);
    };
    row("Frame1", "QGroupBox", "frmDOSOutput", " Options ", 135, 1170, 7065, 2025);
    row("Frame4", "QGroupBox", "Frame1", "   Logging  (more is slower)   ", 135, 1140, 6705, 705);
    row("Optlognone", "QRadioButton", "Frame4", "None (fastest)", 240, 330, 1335, 195);
    row("Optlogverbose", "QRadioButton", "Frame4", "Verbose", 4575, 330, 1230, 270);
    row("Optlogdefault", "QRadioButton", "Frame4", "Default", 2565, 330, 1350, 270);
    row("Option2", "QRadioButton", "Frame1", "Interleave settings", 3285, 285, 1830, 225);
    row("Frame3", "QGroupBox", "Frame1", QString(42, ' '), 3030, 285, 3795, 765);
    row("VScroll2", "QScrollBar", "Frame3", "", 3120, 285, 255, 300);
    row("VScroll1", "QScrollBar", "Frame3", "", 1380, 285, 255, 300);
    row("Txtgopm", "QLineEdit", "Frame3", "1", 750, 255, 900, 360);
    row("Txtgopl", "QLineEdit", "Frame3", "1", 2505, 255, 900, 360);
    row("Label1", "QLabel", "Frame3", "gopm", 270, 315, 510, 255);
    row("Label2", "QLabel", "Frame3", "gopl", 1935, 330, 390, 225);
    row("Option1", "QRadioButton", "Frame1", "Samples per chunk", 360, 285, 1830, 195);
    row("Frame2", "QGroupBox", "Frame1", QString(41, ' '), 150, 285, 2415, 765);
    row("VScroll3", "QScrollBar", "Frame2", "", 1740, 285, 255, 300);
    row("Txtsmpltrk", "QLineEdit", "Frame2", "0", 1125, 255, 900, 360);
    row("Label3", "QLabel", "Frame2", "smpltrk", 345, 330, 570, 270);
    row("Command3", "QPushButton", "frmDOSOutput", ">", 6825, 5655, 330, 330);
    row("TxtCor", "QLineEdit", "frmDOSOutput", "Select corrupt file", 120, 450, 6720, 330);
    row("TxtRef", "QLineEdit", "frmDOSOutput", "Select reference file", 120, 105, 6720, 330);
    row("Command2", "QPushButton", "frmDOSOutput", "...", 6870, 450, 330, 330);
    row("Command1", "QPushButton", "frmDOSOutput", "...", 6870, 105, 330, 330);
    row("txtCommand", "QLineEdit", "frmDOSOutput", "", 120, 810, 7065, 330);
    row("cmdExit", "QPushButton", "frmDOSOutput", "Exit", 5265, 6195, 1875, 375);
    row("txtOutputs", "LogTextBox", "frmDOSOutput", "", 135, 3345, 7065, 2220);
    row("cmdExecute", "QPushButton", "frmDOSOutput", "Execute", 3285, 6195, 1875, 375);
    row("Label5", "QLabel", "frmDOSOutput", "kestrel.example.org", 180, 6285, 1425, 240);
    row("Label4", "QLabel", "frmDOSOutput",
        "Play video; ESC to quit, press 'p' to pause and 'm' to mute sound. use < and > to seek",
        120, 5715, 6210, 270);
}

namespace {

QString captionOf(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* g = qobject_cast<const QGroupBox*>(w)) {
        return g->title();
    }
    if (auto* e = qobject_cast<const QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* l = qobject_cast<const QLabel*>(w)) {
        return l->text();
    }
    return {};
}

} // namespace

void TestMainWindow::controls() {
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    frmDOSOutput window("/opt/kestrel");
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    auto* control = window.findChild<QWidget*>(name);
    QVERIFY2(control != nullptr, qPrintable(name));
    QVERIFY(control->inherits(kind.toLatin1()));
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(captionOf(control), caption);
    QCOMPARE(control->geometry(), twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
}

void TestMainWindow::startState() {
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QString("Kestrel - Untrunc-w GUI"));
    QCOMPARE(window.size(), QSize(488, 444));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(child<QRadioButton>(window, "Optlognone")->isChecked());
    QVERIFY(child<QRadioButton>(window, "Option2")->isChecked());
    for (const char* name : {"Optlogdefault", "Optlogverbose", "Option1"}) {
        QVERIFY2(!child<QRadioButton>(window, name)->isChecked(), name);
    }
    QCOMPARE(child<QLineEdit>(window, "Txtgopm")->text(), QString("1"));
    QCOMPARE(child<QLineEdit>(window, "Txtgopl")->text(), QString("1"));
    QCOMPARE(child<QLineEdit>(window, "Txtsmpltrk")->text(), QString("0"));
    QCOMPARE(child<SpinScrollBar>(window, "VScroll1")->Value(), 1);
    QCOMPARE(child<SpinScrollBar>(window, "VScroll2")->Value(), 1);
    QCOMPARE(child<SpinScrollBar>(window, "VScroll3")->Value(), 0);
    QVERIFY(child<QLineEdit>(window, "txtCommand")->text().isEmpty());
    for (const char* name :
         {"TxtRef", "TxtCor", "txtCommand", "Txtgopm", "Txtgopl", "Txtsmpltrk"}) {
        QVERIFY2(child<QLineEdit>(window, name)->isReadOnly(), name);
    }
    for (const char* name :
         {"Optlognone", "Optlogdefault", "Optlogverbose", "Option1", "Option2", "VScroll1",
          "VScroll2", "VScroll3", "Command1", "Command2", "Command3", "cmdExecute", "cmdExit"}) {
        auto* w = child<QWidget>(window, name);
        QVERIFY2(w->isVisible() && w->isEnabled(), name);
    }
    QCOMPARE(QApplication::focusWidget(), child<QWidget>(window, "cmdExecute"));
    QVERIFY(window.newFilename().isEmpty());
}

void TestMainWindow::tabChain() {
    frmDOSOutput window("/opt/kestrel");
    const QStringList expected = {"cmdExecute", "txtOutputs",    "cmdExit",       "txtCommand",
                                  "Command1",   "Command2",      "TxtRef",        "TxtCor",
                                  "Command3",   "Option1",       "Txtgopl",       "Txtgopm",
                                  "Option2",    "Txtsmpltrk",    "VScroll3",      "VScroll1",
                                  "VScroll2",   "Optlogdefault", "Optlogverbose", "Optlognone"};
    QStringList chain;
    QWidget* w = child<QWidget>(window, "cmdExecute");
    do {
        if (w->focusPolicy() & Qt::TabFocus && expected.contains(w->objectName())) {
            chain.append(w->objectName());
        }
        w = w->nextInFocusChain();
    } while (w->objectName() != "cmdExecute");
    QCOMPARE(chain, expected);
}

void TestMainWindow::helpText() {
    frmDOSOutput window("/opt/kestrel");
    auto* log = child<LogTextBox>(window, "txtOutputs");
    const QString text = log->Text();
    const QStringList lines = text.split("\r\n");
    QCOMPARE(lines.size(), 34);
    QVERIFY(!text.endsWith("\r\n"));
    QCOMPARE(text.count('\n'), 33); // no lone line feeds
    QCOMPARE(text.count('\r'), 33);
    QCOMPARE(lines.first(),
             QString("Kestrel is a simple GUI or wrapper for Untruc-w, the Windows version of "
                     "Untrunc. Untrunc can help you restore MP4 videos that are improperly "
                     "finalized for whatever reason with the help of a reference file."));
    QCOMPARE(lines.at(2), QString("Untrunc (Windows version) usage: "));
    QCOMPARE(lines.at(4), QString("untrunc-w.exe [options] <workingfile.mp4> [<brokenfile.mp4>]"));
    QCOMPARE(lines.at(29), QString("--aacgg [0..127] : AAC (1 channel) low global_gain "
                                   "threshold. Default is 80."));
    QCOMPARE(lines.last(), QString("Good result was achieved for --gopm 12 --gopl 10, with "
                                   "working file sample of 25 keyframes."));
    const QList<int> emptyLines = {2, 4, 6, 8, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33};
    for (int line = 1; line <= 34; ++line) {
        QCOMPARE(lines.at(line - 1).isEmpty(), emptyLines.contains(line));
    }
    // Shown as 34 lines (long ones wrapped), caret after "keyframes.", last line in view.
    QCOMPARE(log->ShownText().split('\n'), lines);
    QVERIFY(log->LineCount() > 34);
    QCOMPARE(log->SelStart(), text.size());
    const qsizetype firstShown = log->FirstShownLine(); // brings the view up to date
    QCOMPARE(firstShown, log->verticalScrollBar()->maximum());
}

void TestMainWindow::fonts() {
    frmDOSOutput window("/opt/kestrel");
    const QFont log = child<QWidget>(window, "txtOutputs")->font();
    QCOMPARE(log.families().value(0), QString("Courier New"));
    QCOMPARE(log.pointSizeF(), 8.25);
    QVERIFY(!log.bold() && !log.italic() && !log.underline());
    QCOMPARE(QFontInfo(log).fixedPitch(), true);
    auto* link = child<QLabel>(window, "Label5");
    QCOMPARE(link->font().families().value(0), QString("MS Sans Serif"));
    QVERIFY(link->font().underline());
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    // The layout was made for these captions: none may be cut off.
    for (auto* label : window.findChildren<QLabel*>()) {
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                 qPrintable(label->objectName()));
    }
}

void TestMainWindow::optionGroupsAreIndependent_data() {
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<QStringList>("selected");
    QTest::newRow("log verbose") << "Optlogverbose" << QStringList{"Optlogverbose", "Option2"};
    QTest::newRow("log default") << "Optlogdefault" << QStringList{"Optlogdefault", "Option2"};
    QTest::newRow("samples per chunk") << "Option1" << QStringList{"Optlognone", "Option1"};
}

void TestMainWindow::optionGroupsAreIndependent() {
    QFETCH(QString, clicked);
    QFETCH(QStringList, selected);
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* option = window.findChild<QRadioButton*>(clicked);
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(6, option->height() / 2));
    QStringList checked;
    for (auto* radio : window.findChildren<QRadioButton*>()) {
        if (radio->isChecked()) {
            checked.append(radio->objectName());
        }
    }
    checked.sort();
    selected.sort();
    QCOMPARE(checked, selected);
}

void TestMainWindow::enterPressesExecute_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::newRow("on Execute") << "cmdExecute" << int(Qt::Key_Return);
    QTest::newRow("in the log") << "txtOutputs" << int(Qt::Key_Return);
    QTest::newRow("in a path box, keypad Enter") << "TxtRef" << int(Qt::Key_Enter);
    QTest::newRow("on an option") << "Optlognone" << int(Qt::Key_Return);
    QTest::newRow("on a browse button") << "Command2" << int(Qt::Key_Return);
    QTest::newRow("on Exit") << "cmdExit" << int(Qt::Key_Return);
}

void TestMainWindow::enterPressesExecute() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    MessageRecorder messages;
    frmDOSOutput window("/nonexistent");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    window.findChild<QWidget*>(focus)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QCOMPARE(messages.texts(), QStringList{"File or command not found"});
    QVERIFY(child<QLineEdit>(window, "txtCommand")->text().startsWith("/nonexistent/untrunc-w"));
}

void TestMainWindow::escapePressesNothing() {
    MessageRecorder messages;
    frmDOSOutput window("/nonexistent");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(window.isVisible());
    QVERIFY(child<QLineEdit>(window, "txtCommand")->text().isEmpty());
}

namespace {

// Runs the event loop until the program ends or a safety limit passes; true if the
// program ended by itself.
bool programEndsAfter(const std::function<void()>& action) {
    bool timedOut = false;
    QTimer::singleShot(0, action);
    QTimer::singleShot(5000, [&timedOut] {
        timedOut = true;
        QApplication::exit(1);
    });
    const int status = QApplication::exec();
    return !timedOut && status == 0;
}

} // namespace

// Each browse button opens its own picker, which writes its own box.
void TestMainWindow::browseButtonsOpenTheirPickers() {
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    child<QPushButton>(window, "Command1")->click();
    child<QPushButton>(window, "Command1")->click();
    child<QPushButton>(window, "Command2")->click();
    FilePicker* ref = window.frmRefFile();
    FilePicker* cor = window.frmCorFile();
    QVERIFY(ref != nullptr && cor != nullptr);
    QCOMPARE(ref->objectName(), QString("frmRefFile"));
    QCOMPARE(cor->objectName(), QString("frmCorFile"));
    QVERIFY(ref->isVisible() && cor->isVisible());
    cor->cmdOK_Click();
    QVERIFY(child<QLineEdit>(window, "TxtCor")->text().endsWith('/'));
    QCOMPARE(child<QLineEdit>(window, "TxtRef")->text(), QString("Select reference file"));
    QVERIFY(!cor->isVisible() && ref->isVisible());
}

void TestMainWindow::dropOnTheWindow_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("items"); // in the video folder; "" is the folder itself
    QTest::addColumn<QString>("written");   // the file whose path the target then holds
    QTest::newRow("a video on TxtRef") << "TxtRef" << QStringList{"good.mp4"} << "good.mp4";
    QTest::newRow("a video on TxtCor") << "TxtCor" << QStringList{"clip.mp4"} << "clip.mp4";
    // Named as the picker names it: by the folder's own path.
    QTest::newRow("through a linked folder")
        << "TxtCor" << QStringList{"linked/clip.mp4"} << "clip.mp4";
    QTest::newRow("a folder") << "TxtRef" << QStringList{""} << "";
    QTest::newRow("two videos") << "TxtCor" << QStringList{"good.mp4", "clip.mp4"} << "";
    QTest::newRow("a missing file") << "TxtRef" << QStringList{"gone.mp4"} << "";
    QTest::newRow("on the log") << "txtOutputs" << QStringList{"clip.mp4"} << "";
    QTest::newRow("on the command box") << "txtCommand" << QStringList{"clip.mp4"} << "";
}

// A file dragged from a file manager and dropped on a file box is taken as if chosen in
// its picker; anything else dropped anywhere changes nothing.
void TestMainWindow::dropOnTheWindow() {
    QFETCH(QString, target);
    QFETCH(QStringList, items);
    QFETCH(QString, written);
    const ToolFolder folder(false);
    writeFile(folder.video("good.mp4"), "good");
    writeFile(folder.video("clip.mp4"), "clip");
    QVERIFY(QFile::link(folder.videoFolder(), folder.video("linked")));
    frmDOSOutput window(folder.appFolder());
    const QStringList boxes{"TxtRef", "TxtCor", "txtCommand"};
    QStringList expected;
    for (const QString& box : boxes) {
        expected.append(box == target && !written.isEmpty()
                            ? QDir(folder.videoFolder()).canonicalPath() + "/" + written
                            : child<QLineEdit>(window, qPrintable(box))->text());
    }
    const QString currentFolder = QDir::currentPath();
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

    QStringList texts;
    for (const QString& box : boxes) {
        texts.append(child<QLineEdit>(window, qPrintable(box))->text());
    }
    QCOMPARE(texts, expected);
    QCOMPARE(enter.isAccepted() && drop.isAccepted(), !written.isEmpty());
    // An accepted move would make the file manager delete the video.
    QVERIFY(!drop.isAccepted() || drop.dropAction() == Qt::CopyAction);
    QCOMPARE(child<LogTextBox>(window, "txtOutputs")->Text(), HelpText());
    QCOMPARE(QDir::currentPath(), currentFolder);
}

void TestMainWindow::exitEndsTheProgram() {
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.runner() != nullptr);
    QVERIFY(programEndsAfter([&] { child<QPushButton>(window, "cmdExit")->click(); }));
    QVERIFY(window.runner() == nullptr);
}

void TestMainWindow::exitWithPickersOpenLeavesNoWindow() {
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    child<QPushButton>(window, "Command1")->click();
    child<QPushButton>(window, "Command2")->click();
    window.frmCorFile()->cmdCancel_Click(); // one hidden, one shown
    QVERIFY(programEndsAfter([&] { child<QPushButton>(window, "cmdExit")->click(); }));
    QVERIFY(window.frmRefFile() == nullptr && window.frmCorFile() == nullptr);
}

void TestMainWindow::closingWhileIdleEndsTheProgram() {
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Another top-level window must not keep the program alive.
    QWidget other;
    other.show();
    QVERIFY(programEndsAfter([&] { window.close(); }));
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
