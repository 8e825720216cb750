#include "console/PathFunctions.h"

#include <QTest>

Q_DECLARE_METATYPE(PathStyle)

class TestPathFunctions : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
};

void TestPathFunctions::split_data() {
    QTest::addColumn<PathStyle>("style");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("extension");
    const auto win = PathStyle::Windows;
    const auto posix = PathStyle::Posix;
    // Windows rules, the classic table.
    QTest::newRow("win clip") << win << R"(D:\cam\clip.mp4)"
                              << R"(D:\cam\)"
                              << "clip.mp4"
                              << R"(D:\cam\clip)"
                              << "mp4";
    QTest::newRow("win tool output") << win << R"(D:\cam\clip.mp4_untrunc.mp4)"
                                     << R"(D:\cam\)"
                                     << "clip.mp4_untrunc.mp4"
                                     << R"(D:\cam\clip)"
                                     << "mp4";
    QTest::newRow("win two dots") << win << R"(D:\cam\trip.day2.mov)"
                                  << R"(D:\cam\)"
                                  << "trip.day2.mov"
                                  << R"(D:\cam\trip)"
                                  << "mov";
    QTest::newRow("win dotted folder") << win << R"(D:\cam.2019\clip)"
                                       << R"(D:\cam.2019\)"
                                       << "clip"
                                       << R"(D:\cam)"
                                       << "";
    QTest::newRow("win ends in separator") << win << R"(D:\cam\)"
                                           << R"(D:\cam\)"
                                           << ""
                                           << R"(D:\cam\)"
                                           << "";
    QTest::newRow("win drive relative") << win << "D:clip.mp4"
                                        << "D:"
                                        << "clip.mp4"
                                        << "D:clip"
                                        << "mp4";
    QTest::newRow("win colon later") << win << "ab:cd.txt"
                                     << "ab"
                                     << ":cd.txt"
                                     << "ab:cd"
                                     << "txt";
    QTest::newRow("win bare name") << win << "clip.mp4"
                                   << ""
                                   << "clip.mp4"
                                   << "clip"
                                   << "mp4";
    QTest::newRow("win no dot") << win << "clip"
                                << ""
                                << "clip"
                                << "clip"
                                << "";
    QTest::newRow("win leading dot") << win << ".hidden.mp4"
                                     << ""
                                     << ".hidden.mp4"
                                     << ""
                                     << "mp4";
    QTest::newRow("win trailing dot") << win << "name."
                                      << ""
                                      << "name."
                                      << "name"
                                      << "";
    QTest::newRow("win empty") << win << ""
                               << ""
                               << ""
                               << ""
                               << "";
    QTest::newRow("win forward slash is ordinary") << win << "C:/cam/clip.mp4"
                                                   << "C:"
                                                   << "/cam/clip.mp4"
                                                   << "C:/cam/clip"
                                                   << "mp4";
    // Posix rules: "/" only; colon and backslash are ordinary characters.
    QTest::newRow("posix clip") << posix << "/cam/clip.mp4"
                                << "/cam/"
                                << "clip.mp4"
                                << "/cam/clip"
                                << "mp4";
    QTest::newRow("posix dotted folder") << posix << "/cam.2019/clip"
                                         << "/cam.2019/"
                                         << "clip"
                                         << "/cam"
                                         << "";
    QTest::newRow("posix ends in separator") << posix << "/cam/"
                                             << "/cam/"
                                             << ""
                                             << "/cam/"
                                             << "";
    QTest::newRow("posix colon is ordinary") << posix << "a:b.mp4"
                                             << ""
                                             << "a:b.mp4"
                                             << "a:b"
                                             << "mp4";
    QTest::newRow("posix backslash is ordinary") << posix << R"(/v/D:\cam\x.mp4)"
                                                 << "/v/"
                                                 << R"(D:\cam\x.mp4)"
                                                 << R"(/v/D:\cam\x)"
                                                 << "mp4";
    QTest::newRow("posix leading dot") << posix << ".hidden.mp4"
                                       << ""
                                       << ".hidden.mp4"
                                       << ""
                                       << "mp4";
    QTest::newRow("posix trailing dot") << posix << "name."
                                        << ""
                                        << "name."
                                        << "name"
                                        << "";
    QTest::newRow("posix root") << posix << "/"
                                << "/"
                                << ""
                                << "/"
                                << "";
    QTest::newRow("posix empty") << posix << ""
                                 << ""
                                 << ""
                                 << ""
                                 << "";
}

void TestPathFunctions::split() {
    QFETCH(PathStyle, style);
    QFETCH(QString, text);
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, root);
    QFETCH(QString, extension);
    QCOMPARE(JustPath(text, style), path);
    QCOMPARE(JustName(text, style), name);
    QCOMPARE(RootName(text, style), root);
    QCOMPARE(JustExtension(text, style), extension);
    QCOMPARE(JustPath(text, style) + JustName(text, style), text);
}

QTEST_APPLESS_MAIN(TestPathFunctions)
#include "test_pathfunctions.moc"
