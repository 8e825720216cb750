#include "WindowHarness.h"
#include "console/frmDOSOutput.h"
#include "platform/Launch.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// A stand-in player in the application folder that records its arguments.
struct PlayerFolder {
    PlayerFolder() {
        QFile::link(QStringLiteral(KESTREL_STANDIN_PATH), tools.appFolder() + "/ffplay");
    }
    QStringList receivedArguments() const {
        return QString::fromUtf8(readAll(argvFile)).split('\n', Qt::SkipEmptyParts);
    }
    ToolFolder tools;
    QString argvFile = tools.video("player-argv.txt");
};

class UrlRecorder {
public:
    explicit UrlRecorder(bool succeed) {
        previous_ = SetUrlOpener([this, succeed](const QUrl& url) {
            opened.append(url);
            return succeed;
        });
    }
    ~UrlRecorder() { SetUrlOpener(previous_); }
    UrlRecorder(const UrlRecorder&) = delete;
    UrlRecorder& operator=(const UrlRecorder&) = delete;
    QList<QUrl> opened;

private:
    UrlOpener previous_;
};

} // namespace

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void beforeAnyRun();
    void afterARun_data();
    void afterARun();
    void missingPlayerIsReported();
    void linkOpensTheMakersSite_data();
    void linkOpensTheMakersSite();
};

void TestPreview::beforeAnyRun() {
    PlayerFolder folder;
    StandinEnvironment env{{"STANDIN_RECORD_ARGV", folder.argvFile.toUtf8()}};
    MessageRecorder messages;
    frmDOSOutput window(folder.tools.appFolder());
    child<QPushButton>(window, "Command3")->click();
    // The folder holds a blank, so the player's path is quoted.
    QCOMPARE(messages.texts(), QStringList{'"' + folder.tools.appFolder() + "/ffplay\" "});
    QCOMPARE(messages.shown.first().icon, MessageIcon::None);
    QTRY_COMPARE(folder.receivedArguments(), QStringList{folder.tools.appFolder() + "/ffplay"});
}

void TestPreview::afterARun_data() {
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QString>("played");
    QTest::newRow("plain name") << "clip.mp4"
                                << "clip-fixed.MP4";
    QTest::newRow("name with blanks") << "day one.take 2.mp4"
                                      << "day one-fixed.MP4";
}

void TestPreview::afterARun() {
    QFETCH(QString, broken);
    QFETCH(QString, played);
    PlayerFolder folder;
    QFile::link(QStringLiteral(KESTREL_STANDIN_PATH), folder.tools.appFolder() + "/untrunc-w");
    MessageRecorder messages;
    frmDOSOutput window(folder.tools.appFolder());
    child<QLineEdit>(window, "TxtCor")->setText(folder.tools.video(broken));
    {
        StandinEnvironment env{{"STANDIN_RESULT", "1"}};
        child<QPushButton>(window, "cmdExecute")->click();
    }
    StandinEnvironment env{{"STANDIN_RECORD_ARGV", folder.argvFile.toUtf8()}};
    child<QPushButton>(window, "Command3")->click();
    const QString finalName = folder.tools.video(played);
    QCOMPARE(window.newFilename(), finalName);
    QCOMPARE(messages.texts().size(), 2);
    QVERIFY(messages.texts().last().endsWith(" \"" + finalName + '"'));
    QTRY_COMPARE(folder.receivedArguments(),
                 (QStringList{folder.tools.appFolder() + "/ffplay", finalName}));
}

void TestPreview::missingPlayerIsReported() {
    ToolFolder folder;
    MessageRecorder messages;
    frmDOSOutput window(folder.appFolder());
    child<QPushButton>(window, "Command3")->click();
    QCOMPARE(messages.shown.size(), 2);
    QCOMPARE(messages.shown.last().icon, MessageIcon::Critical);
    QVERIFY(messages.shown.last().text.contains(folder.appFolder() + "/ffplay"));
    // The window works on.
    QVERIFY(child<QPushButton>(window, "Command3")->isEnabled());
    QVERIFY(child<QPushButton>(window, "cmdExecute")->isEnabled());
}

void TestPreview::linkOpensTheMakersSite_data() {
    QTest::addColumn<bool>("browserOpens");
    QTest::newRow("browser opens") << true;
    QTest::newRow("no browser") << false;
}

void TestPreview::linkOpensTheMakersSite() {
    QFETCH(bool, browserOpens);
    UrlRecorder urls(browserOpens);
    MessageRecorder messages;
    frmDOSOutput window("/opt/kestrel");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* link = child<QLabel>(window, "Label5");
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(urls.opened, QList<QUrl>{QUrl("http://kestrel.example.org")});
    QVERIFY(messages.shown.isEmpty());
    QVERIFY(window.isVisible());
}

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
