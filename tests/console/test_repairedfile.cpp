#include "console/RepairedFileMove.h"
#include "console/RepairedFileName.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(PathStyle)

namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestRepairedFile : public QObject {
    Q_OBJECT
private slots:
    void derive_data();
    void derive();
    void moveIntoPlace_data();
    void moveIntoPlace();
    void relativePathResolvesAgainstCurrentFolder();
};

void TestRepairedFile::derive_data() {
    QTest::addColumn<PathStyle>("style");
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QString>("toolOutput");
    QTest::addColumn<QString>("finalName");
    const auto win = PathStyle::Windows;
    const auto posix = PathStyle::Posix;
    QTest::newRow("win clip") << win << R"(D:\cam\clip.mp4)"
                              << R"(D:\cam\clip.mp4_untrunc.mp4)"
                              << R"(D:\cam\clip-fixed.MP4)";
    QTest::newRow("win capitals") << win << R"(D:\cam\VIDEO01.MP4)"
                                  << R"(D:\cam\VIDEO01.MP4_untrunc.mp4)"
                                  << R"(D:\cam\VIDEO01-fixed.MP4)";
    QTest::newRow("win first dot") << win << R"(D:\cam\trip.day2.mov)"
                                   << R"(D:\cam\trip.day2.mov_untrunc.mp4)"
                                   << R"(D:\cam\trip-fixed.MP4)";
    QTest::newRow("win dotted folder") << win << R"(D:\cam.2019\clip.mp4)"
                                       << R"(D:\cam.2019\clip.mp4_untrunc.mp4)"
                                       << R"(D:\cam.2019\clip-fixed.MP4)";
    QTest::newRow("win no dot") << win << R"(D:\cam\clip)"
                                << R"(D:\cam\clip_untrunc.mp4)"
                                << R"(D:\cam\clip_untrunc-fixed.MP4)";
    QTest::newRow("win leading dot") << win << R"(D:\cam\.clip.mp4)"
                                     << R"(D:\cam\.clip.mp4_untrunc.mp4)"
                                     << R"(D:\cam\-fixed.MP4)";
    QTest::newRow("win drive relative") << win << "D:clip.mp4"
                                        << "D:clip.mp4_untrunc.mp4"
                                        << "D:clip-fixed.MP4";
    QTest::newRow("posix clip") << posix << "/v/cam/clip.mp4"
                                << "/v/cam/clip.mp4_untrunc.mp4"
                                << "/v/cam/clip-fixed.MP4";
    QTest::newRow("posix dotted folder") << posix << "/v/cam.2019/trip.day2.mov"
                                         << "/v/cam.2019/trip.day2.mov_untrunc.mp4"
                                         << "/v/cam.2019/trip-fixed.MP4";
    QTest::newRow("posix colon in name") << posix << "/v/a:b.mp4"
                                         << "/v/a:b.mp4_untrunc.mp4"
                                         << "/v/a:b-fixed.MP4";
    QTest::newRow("posix no folder") << posix << "Select corrupt file"
                                     << "Select corrupt file_untrunc.mp4"
                                     << "Select corrupt file_untrunc-fixed.MP4";
    QTest::newRow("posix leading dot") << posix << "/v/.clip.mp4"
                                       << "/v/.clip.mp4_untrunc.mp4"
                                       << "/v/-fixed.MP4";
}

void TestRepairedFile::derive() {
    QFETCH(PathStyle, style);
    QFETCH(QString, broken);
    const RepairedFileNames names = DeriveRepairedFileNames(broken, style);
    QTEST(names.toolOutput, "toolOutput");
    QTEST(names.finalName, "finalName");
}

void TestRepairedFile::moveIntoPlace_data() {
    QTest::addColumn<bool>("toolWroteResult");
    QTest::addColumn<QString>("olderFinal"); // "file", "folder" or "" (none)
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("finalContent");
    QTest::addColumn<bool>("toolOutputRemains");
    QTest::newRow("renamed") << true << "" << int(MoveOutcome::Renamed) << QByteArray("new")
                             << false;
    QTest::newRow("replaces older result")
        << true << "file" << int(MoveOutcome::Renamed) << QByteArray("new") << false;
    QTest::newRow("no result keeps older")
        << false << "file" << int(MoveOutcome::NoResult) << QByteArray("old") << false;
    QTest::newRow("no result, nothing there")
        << false << "" << int(MoveOutcome::NoResult) << QByteArray("<missing>") << false;
    QTest::newRow("folder under final name keeps tool output")
        << true << "folder" << int(MoveOutcome::KeptUnderToolName) << QByteArray("<missing>")
        << true;
}

void TestRepairedFile::moveIntoPlace() {
    QFETCH(bool, toolWroteResult);
    QFETCH(QString, olderFinal);
    QFETCH(int, outcome);
    QFETCH(QByteArray, finalContent);
    QFETCH(bool, toolOutputRemains);
    QTemporaryDir dir;
    const RepairedFileNames names = DeriveRepairedFileNames(dir.filePath("clip.mp4"));
    if (toolWroteResult) {
        writeFile(names.toolOutput, "new");
    }
    if (olderFinal == "file") {
        writeFile(names.finalName, "old");
    } else if (olderFinal == "folder") {
        QVERIFY(QDir().mkdir(names.finalName));
    }
    const MoveOutcome result = MoveIntoPlace(names);
    QCOMPARE(int(result.kind), outcome);
    QCOMPARE(readFile(names.finalName), finalContent);
    QCOMPARE(QFile::exists(names.toolOutput), toolOutputRemains);
    if (toolOutputRemains) {
        QCOMPARE(readFile(names.toolOutput), QByteArray("new"));
        QVERIFY(result.error != 0);
        const QString line = KeptResultLogLine(names, result.error);
        QVERIFY(line.contains(names.toolOutput));
        QVERIFY(line.contains(names.finalName));
    }
}

void TestRepairedFile::relativePathResolvesAgainstCurrentFolder() {
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const RepairedFileNames names = DeriveRepairedFileNames("Select corrupt file");
    writeFile(names.toolOutput, "new");
    const MoveOutcome result = MoveIntoPlace(names);
    QDir::setCurrent(before);
    QCOMPARE(result.kind, MoveOutcome::Renamed);
    QCOMPARE(readFile(dir.filePath("Select corrupt file_untrunc-fixed.MP4")), QByteArray("new"));
}

QTEST_GUILESS_MAIN(TestRepairedFile)
#include "test_repairedfile.moc"
